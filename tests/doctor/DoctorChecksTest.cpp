// One table per family of the computer check, on fake trees: the verdict and the fix each case
// calls for.
#include "DoctorTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

void ExpectCheck(const DoctorCheck& check, EDoctorStatus status, const std::string& textPart,
                 const std::string& fixPart)
{
    EXPECT_EQ(DoctorStatusName(check.status), std::string(DoctorStatusName(status)))
        << check.name << ": " << check.text;
    EXPECT_TRUE(Has(check.text, textPart)) << check.text;
    EXPECT_TRUE(Has(FixText(check), fixPart)) << FixText(check);
    if (status == EDoctorStatus::Fail || status == EDoctorStatus::Warn) {
        EXPECT_TRUE(!check.fix.empty() || !check.followsFrom.empty())
            << check.name << " says nothing to do";
    }
}
} // namespace

TEST(DoctorCable, TellsTheTetherixFromOtherFtdiDevices)
{
    struct Case {
        const char* label;
        std::vector<FakeUsbSerial> devices;
        EDoctorStatus status;
        const char* text;
        const char* fix;
    };
    FakeUsbSerial unbound = OTHER_FTDI;
    unbound.ttyName.clear();
    unbound.driver.clear();
    const Case cases[] = {
        {"none", {}, EDoctorStatus::Warn, "No FTDI USB device", "Plug the Tetherix in"},
        {"both", {TETHERIX, OTHER_FTDI}, EDoctorStatus::Pass, "A Tetherix is plugged in", ""},
        {"other only",
         {OTHER_FTDI},
         EDoctorStatus::Warn,
         "If ttyUSB1 is the Tetherix, choose it by name (--port ttyUSB1)",
         "Plug the Tetherix in"},
        {"other, no port",
         {unbound},
         EDoctorStatus::Warn,
         "none describes itself",
         "Plug the Tetherix in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSystemTree tree;
        for (const FakeUsbSerial& device : c.devices)
            tree.AddUsbSerial(device);
        const std::vector<DoctorCheck> checks =
            CheckCables(MachineOn(tree), GatherDoctorCables(tree.Roots()));
        ExpectCheck(FindCheck(checks, "cable.tetherix"), c.status, c.text, c.fix);
    }
    FakeSystemTree tree;
    tree.AddUsbSerial(TETHERIX);
    tree.AddUsbSerial(unbound);
    const std::vector<DoctorCheck> checks =
        CheckCables(MachineOn(tree), GatherDoctorCables(tree.Roots()));
    EXPECT_EQ(FindCheck(checks, "cable.device", "1-1").text,
              "FTDI Tetherix (serial TX000001), held by ftdi_sio as ttyUSB0: a Tetherix.");
    EXPECT_EQ(FindCheck(checks, "cable.device", "1-2").text,
              "FTDI FT232R USB UART (serial A10K3B2C), no kernel driver holds it: not a Tetherix.");
}

TEST(DoctorAccess, SaysWhyThisUserMayOrMayNotOpenThePortAndTheUsbNode)
{
    const gid_t group = getgid();
    struct Case {
        const char* label;
        mode_t mode;
        bool bCarried; // this login carries the node's group
        bool bListed;  // etc/group lists the user in it
        bool bOwner;   // the node is the user's own
        EDoctorStatus status;
        const char* text;
        const char* fix;
    };
    const Case cases[] = {
        {"group carried", 0660, true, true, false, EDoctorStatus::Pass, "through the group dialout",
         ""},
        {"joined, not logged in again", 0660, false, true, false, EDoctorStatus::Fail,
         "this login started before that, so /dev/ttyUSB0 is not yours yet (newgrp dialout",
         "Log out and in again."},
        {"not in the group", 0660, false, false, false, EDoctorStatus::Fail,
         "Without the rule: sudo usermod -aG dialout $USER", ""},
        {"no group may", 0600, true, true, false, EDoctorStatus::Fail,
         "which may not use it either", ""},
        {"anyone may", 0666, false, false, false, EDoctorStatus::Pass, "Anyone may open", ""},
        {"own node", 0600, false, false, true, EDoctorStatus::Pass, "it is yours", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSystemTree tree;
        tree.AddUsbSerial(TETHERIX);
        tree.AddNode("ttyUSB0", c.mode, group);
        tree.AddNode("bus/usb/001/004", c.mode, group);
        tree.WriteGroups("dialout:x:" + std::to_string(group) + ":" +
                         (c.bListed ? "alice" : "bob"));
        DoctorMachine machine = MachineOn(tree);
        if (c.bCarried)
            machine.login.groups = {group};
        if (c.bOwner)
            machine.uid = getuid();
        const std::vector<DoctorCheck> checks =
            CheckAccess(machine, GatherDoctorCables(tree.Roots()));
        ExpectCheck(FindCheck(checks, "access.port", "ttyUSB0"), c.status, c.text, c.fix);
        // ftdi_sio holds the cable: its USB node matters only as a note.
        const DoctorCheck usb = FindCheck(checks, "access.usb", "1-1");
        EXPECT_STREQ(DoctorStatusName(usb.status),
                     c.status == EDoctorStatus::Fail ? "info" : "pass");
        EXPECT_TRUE(Has(usb.text, "/dev/bus/usb/001/004"));
    }
}

TEST(DoctorUdev, FindsTheRuleAndWhetherUdevAppliedIt)
{
    struct Case {
        const char* label;
        const char* ruleAt; // empty: not installed
        const char* record; // udev's record of the port; null: none
        EDoctorStatus rule;
        EDoctorStatus applied;
        const char* appliedText;
        const char* appliedFix;
    };
    const Case cases[] = {
        {"nothing", "", nullptr, EDoctorStatus::Warn, EDoctorStatus::Warn, "no record",
         "plug it in again"},
        {"package's rule applied", "usr/lib/udev/rules.d", "E:ID_MM_DEVICE_IGNORE=1\nG:uaccess\n",
         EDoctorStatus::Pass, EDoctorStatus::Pass, "ID_MM_DEVICE_IGNORE=1 and the uaccess tag", ""},
        {"current tag only", "etc/udev/rules.d", "E:ID_SERIAL=FTDI_Tetherix\nQ:uaccess\n",
         EDoctorStatus::Pass, EDoctorStatus::Warn, "no ID_MM_DEVICE_IGNORE=1.", "udevadm trigger"},
        {"not installed, not applied", "", "E:ID_SERIAL=FTDI_Tetherix\n", EDoctorStatus::Warn,
         EDoctorStatus::Warn, "no ID_MM_DEVICE_IGNORE=1 and no uaccess tag", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSystemTree tree;
        tree.AddUsbSerial(TETHERIX);
        tree.AddUsbSerial(OTHER_FTDI);
        if (*c.ruleAt)
            tree.AddFile(std::string(c.ruleAt) + "/70-kestova-tetherix.rules", "# rule\n");
        if (c.record)
            tree.AddUdevRecord("ttyUSB0", c.record);
        const std::vector<DoctorCheck> checks =
            CheckUdevRule(MachineOn(tree), GatherDoctorCables(tree.Roots()));
        ExpectCheck(FindCheck(checks, "udev.rule"), c.rule, "",
                    *c.ruleAt ? "" : "udevadm control --reload");
        ExpectCheck(FindCheck(checks, "udev.applied", "1-1"), c.applied, c.appliedText,
                    c.appliedFix);
        EXPECT_EQ(FindCheck(checks, "udev.applied", "1-2").name, "missing udev.applied")
            << "not a Tetherix";
    }
}

TEST(DoctorSerialGrabbers, ModemManagerBrlttyAndHolders)
{
    struct Case {
        const char* label;
        bool bModemManager;
        bool bIgnored;          // udev marked the Tetherix ID_MM_DEVICE_IGNORE
        const char* brlttyRule; // a line of brltty's rules; null: not installed
        bool bHeld;             // a terminal program holds the port
        EDoctorStatus mm, brltty, users;
    };
    const char* const BRLTTY_FTDI =
        "ENV{PRODUCT}==\"403/6001/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"at,ce,hm\"";
    const char* const BRLTTY_OTHER =
        "# 0403:6001 left out\nENV{PRODUCT}==\"1c71/c005/*\", GOTO=\"brltty_usb_run\"";
    const Case cases[] = {
        {"quiet machine", false, false, nullptr, false, EDoctorStatus::Pass, EDoctorStatus::Pass,
         EDoctorStatus::Pass},
        {"ModemManager told off", true, true, BRLTTY_OTHER, false, EDoctorStatus::Pass,
         EDoctorStatus::Pass, EDoctorStatus::Pass},
        {"ModemManager may probe", true, false, nullptr, false, EDoctorStatus::Warn,
         EDoctorStatus::Pass, EDoctorStatus::Pass},
        {"brltty claims FTDI", false, false, BRLTTY_FTDI, false, EDoctorStatus::Pass,
         EDoctorStatus::Warn, EDoctorStatus::Pass},
        {"port held", false, false, nullptr, true, EDoctorStatus::Pass, EDoctorStatus::Pass,
         EDoctorStatus::Fail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSystemTree tree;
        tree.AddUsbSerial(TETHERIX);
        tree.AddNode("ttyUSB0", 0660, getgid());
        if (c.bModemManager)
            tree.AddProcess(700, "ModemManager", {"/dev/null"});
        if (c.bIgnored)
            tree.AddUdevRecord("1-1", "E:ID_MM_DEVICE_IGNORE=1\n");
        if (c.brlttyRule)
            tree.AddFile("usr/lib/udev/rules.d/90-brltty-usb-generic.rules", c.brlttyRule);
        if (c.bHeld)
            tree.AddProcess(4242, "picocom", {"/dev/ttyUSB0"});
        const std::vector<DoctorCheck> checks =
            CheckSerialGrabbers(MachineOn(tree), GatherDoctorCables(tree.Roots()));
        ExpectCheck(FindCheck(checks, "modemmanager"), c.mm,
                    c.mm == EDoctorStatus::Warn ? "sudo systemctl stop ModemManager" : "", "");
        ExpectCheck(FindCheck(checks, "brltty"), c.brltty,
                    c.brltty == EDoctorStatus::Warn ? "90-brltty-usb-generic.rules" : "", "");
        ExpectCheck(FindCheck(checks, "port.users", "ttyUSB0"), c.users,
                    c.bHeld ? "picocom (pid 4242)" : "", c.bHeld ? "Close picocom" : "");
    }
}

TEST(DoctorWaysIn, TheLibraryTheDriverAndTheWayTheProgramTakes)
{
    FakeUsbSerial unbound = TETHERIX;
    unbound.ttyName.clear();
    unbound.driver.clear();
    struct Case {
        const char* label;
        std::string library;
        FakeUsbSerial tetherix;
        EDoctorStatus d2xx;
        const char* d2xxText;
        EDoctorStatus way;
        const char* wayText;
    };
    const Case cases[] = {
        {"simulated library, no driver", KX_SIM_FTD2XX_PATH, unbound, EDoctorStatus::Pass,
         "every function", EDoctorStatus::Pass, "--port USB"},
        {"no library, ftdi_sio", "/nonexistent/libftd2xx.so", TETHERIX, EDoctorStatus::Info,
         "is not installed", EDoctorStatus::Pass, "cannot open the cable while ftdi_sio holds it"},
        {"no library, no driver", "/nonexistent/libftd2xx.so", unbound, EDoctorStatus::Warn,
         "is not installed", EDoctorStatus::Fail, "no way to the cable"},
        {"wrong file", "libm.so.6", TETHERIX, EDoctorStatus::Info, "lacks a function",
         EDoctorStatus::Pass, "--port ttyUSB0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSystemTree tree;
        tree.AddUsbSerial(c.tetherix);
        DoctorMachine machine = MachineOn(tree);
        machine.d2xxLibrary = c.library;
        const std::vector<DoctorCheck> checks =
            CheckWaysIn(machine, GatherDoctorCables(tree.Roots()));
        ExpectCheck(FindCheck(checks, "d2xx.library"), c.d2xx, c.d2xxText,
                    c.d2xx == EDoctorStatus::Pass ? "" : "KX_FTD2XX_LIBRARY");
        ExpectCheck(FindCheck(checks, "way-in", "1-1"), c.way, c.wayText, "");
    }
}

TEST(DoctorLatency, SaysWhatTheTimerCostsPerLine)
{
    struct Case {
        const char* latency;
        EDoctorStatus status;
        const char* text;
        const char* fix;
    };
    const Case cases[] = {
        {"1", EDoctorStatus::Pass, "1 ms, as the udev rule sets it", ""},
        {"16", EDoctorStatus::Warn,
         "up to 15 ms more per line than with 1 ms (15 s per 1000 lines)", ""},
        {"", EDoctorStatus::Skipped, "no latency timer", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.latency);
        FakeSystemTree tree;
        FakeUsbSerial tetherix = TETHERIX;
        tetherix.latencyMs = c.latency;
        tree.AddUsbSerial(tetherix);
        FakeUsbSerial other = OTHER_FTDI;
        other.latencyMs = "16";
        tree.AddUsbSerial(other);
        const std::vector<DoctorCheck> checks =
            CheckLatency(MachineOn(tree), GatherDoctorCables(tree.Roots()));
        ASSERT_EQ(checks.size(), 1u) << "only the Tetherix's port is looked at";
        ExpectCheck(FindCheck(checks, "latency", "ttyUSB0"), c.status, c.text, c.fix);
    }
}

TEST(DoctorFiles, SettingsAndLogAreWritableOrSayWhyNot)
{
    FakeSystemTree tree;
    const std::string root = tree.Root().string();
    tree.AddFile("home/settings/Kestova.ini", "[Settings]\n");
    std::filesystem::create_directories(root + "/locked");
    chmod((root + "/locked").c_str(), 0500); // its owner's, but not writable: chmod u+w
    // The files' owner is the user; run as root, the tree is given to a user that is not root.
    const uid_t owner = getuid() == 0 ? 4242 : getuid();
    for (const char* path :
         {"", "/home", "/home/settings", "/home/settings/Kestova.ini", "/locked"})
        EXPECT_EQ(lchown((root + path).c_str(), owner, static_cast<gid_t>(-1)), 0) << path;
    struct Case {
        const char* label;
        std::string path;
        EDoctorStatus status;
        const char* text;
    };
    const Case cases[] = {
        {"existing file", root + "/home/settings/Kestova.ini", EDoctorStatus::Pass, "writable"},
        {"made on first write", root + "/home/new/deeper/Kestova.ini", EDoctorStatus::Pass,
         "made when first written"},
        {"no home", "", EDoctorStatus::Warn, "no home folder"},
        {"folder not writable", root + "/locked/state/downloader.log", EDoctorStatus::Fail,
         "locked is not writable."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DoctorMachine machine = MachineOn(tree);
        machine.uid = owner;
        machine.settingsPath = c.path;
        machine.logPath = c.path;
        const std::vector<DoctorCheck> checks = CheckFiles(machine, {});
        ExpectCheck(FindCheck(checks, "settings.file"), c.status, c.text, "");
        ExpectCheck(FindCheck(checks, "support.log"), c.status, c.text, "");
    }
}
