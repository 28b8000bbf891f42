// Whole machines on fake trees, each built the way a user met a wrong verdict or a harmful fix:
// the check that must say the truth, and, for every machine, every fix is safe to paste.
#include "DoctorTestSupport.h"
#include "doctor/DoctorFix.h"
#include "doctor/DoctorReport.h"
#include "doctor/DoctorRules.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

namespace fs = std::filesystem;

namespace {
constexpr gid_t DIALOUT = 20;
constexpr uid_t ALICE = 1000;
const char* const BRLTTY_RULE = "85-brltty.rules";
const char* const BRLTTY_FTDI =
    "ENV{PRODUCT}==\"403/6001/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"at,ce,hm\"\n";
const char* const APPLIED = "E:ID_MM_DEVICE_IGNORE=1\nG:uaccess\n";

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

struct Expect {
    const char* check;
    const char* subject;
    const char* status;
    const char* text;        // a part of the text
    const char* fix;         // a part of the fix's steps; "" for any
    const char* followsFrom; // null: not looked at
};

struct Machine {
    const char* label;
    std::function<void(FakeSystemTree&, DoctorMachine&)> build;
    std::vector<Expect> expects;
};

FakeUsbSerial Unbound(const char* driver)
{
    FakeUsbSerial cable = TETHERIX;
    cable.ttyName.clear();
    cable.driver = driver;
    return cable;
}

void Users(FakeSystemTree& tree)
{
    tree.AddFile("etc/passwd",
                 "root:x:0:0::/root:/bin/sh\nalice:x:1000:1000::/home/alice:/bin/bash\n");
    tree.WriteGroups("root:x:0:\ndialout:x:20:\nalice:x:1000:");
}

void Link(FakeSystemTree& tree, const std::string& relative, const std::string& target)
{
    fs::create_directories((tree.Root() / relative).parent_path());
    fs::create_symlink(target, tree.Root() / relative);
}

const std::vector<Machine>& Machines()
{
    static const std::vector<Machine> MACHINES = {
        {"HOME not the user's (HOME=/nonexistent, or setpriv as nobody)",
         [](FakeSystemTree&, DoctorMachine& m) {
             m.settingsPath = "/nonexistent/.config/Kestova/Kestova.ini";
             m.logPath = "/nonexistent/.local/state/kestova/downloader.log";
         },
         {{"settings.file", "", "fail", "/ is not writable and is not your folder",
           "Set XDG_CONFIG_HOME to a folder of yours", nullptr},
          {"support.log", "", "fail", "is not your folder", "Set XDG_STATE_HOME", nullptr}}},
        {"root:root 0664 USB node, the cable through D2XX",
         [](FakeSystemTree& t, DoctorMachine& m) {
             t.AddUsbSerial(Unbound(""));
             t.AddNode("bus/usb/001/004", 0664, 0);
             m.d2xxLibrary = KX_SIM_FTD2XX_PATH;
         },
         {{"access.usb", "1-1", "fail", "the Tetherix udev rule gives it to the user at the seat",
           "", "udev.rule"}}},
        {"USB node on a machine that uses the serial port",
         [](FakeSystemTree& t, DoctorMachine&) {
             t.AddUsbSerial(TETHERIX);
             t.AddNode("ttyUSB0", 0666, DIALOUT);
             t.AddNode("bus/usb/001/004", 0664, 0);
         },
         {{"access.usb", "1-1", "info", "only FTDI's library opens", "", nullptr},
          {"d2xx.library", "", "info", "serial port works without it", "", nullptr}}},
        {"root under sudo: the desktop user's access",
         [](FakeSystemTree& t, DoctorMachine& m) {
             Users(t);
             t.AddUsbSerial(TETHERIX);
             t.AddNode("ttyUSB0", 0660, DIALOUT);
             m.uid = 0;
             m.sudoUser = "alice";
         },
         {{"root.user", "", "info", "through sudo by alice", "", nullptr},
          {"access.port", "ttyUSB0", "fail", "alice may not open /dev/ttyUSB0", "", "udev.rule"}}},
        {"root with nobody known",
         [](FakeSystemTree& t, DoctorMachine& m) {
             Users(t);
             t.AddUsbSerial(TETHERIX);
             t.AddNode("ttyUSB0", 0660, DIALOUT);
             m.uid = 0;
         },
         {{"root.user", "", "warn", "nobody is logged in at the computer's seat",
           "Run kestova-flash --doctor again as the user", nullptr}}},
        {"root with a user at the seat",
         [](FakeSystemTree& t, DoctorMachine& m) {
             Users(t);
             t.AddFile("run/systemd/seats/seat0", "ACTIVE=3\nACTIVE_UID=1000\n");
             t.AddUsbSerial(TETHERIX);
             t.AddNode("ttyUSB0", 0660, DIALOUT);
             t.WriteGroups("dialout:x:20:alice");
             m.uid = 0;
         },
         {{"root.user", "", "info", "access checks are alice's", "", nullptr},
          {"access.port", "ttyUSB0", "pass",
           "alice may open /dev/ttyUSB0 through the group dialout", "", nullptr}}},
        {"brltty took the cable",
         [](FakeSystemTree& t, DoctorMachine&) {
             t.AddUsbSerial(Unbound("usbfs"));
             t.AddNode("bus/usb/001/004", 0664, 0);
             t.AddFile(std::string("usr/lib/udev/rules.d/") + BRLTTY_RULE, BRLTTY_FTDI);
             t.AddProcess(612, "brltty", {"/dev/bus/usb/001/004"});
         },
         {{"brltty", "1-1", "fail", "brltty holds the Tetherix",
           "sudo ln -s /dev/null /etc/udev/rules.d/85-brltty.rules", nullptr},
          {"way-in", "1-1", "fail", "brltty holds the Tetherix's USB device", "", "brltty"},
          {"latency", "1-1", "skipped", "The Tetherix has no serial port", "", nullptr}}},
        {"brltty's rule masked by a link to /dev/null",
         [](FakeSystemTree& t, DoctorMachine&) {
             t.AddFile(std::string("usr/lib/udev/rules.d/") + BRLTTY_RULE, BRLTTY_FTDI);
             Link(t, std::string("etc/udev/rules.d/") + BRLTTY_RULE, "/dev/null");
         },
         {{"brltty", "", "pass", "/etc/udev/rules.d/85-brltty.rules is masked", "", nullptr}}},
        {"brltty's rule masked by an empty file",
         [](FakeSystemTree& t, DoctorMachine&) {
             t.AddFile(std::string("usr/lib/udev/rules.d/") + BRLTTY_RULE, BRLTTY_FTDI);
             t.AddFile(std::string("etc/udev/rules.d/") + BRLTTY_RULE, "");
         },
         {{"brltty", "", "pass", "is masked", "", nullptr}}},
        {"rule installed, not applied",
         [](FakeSystemTree& t, DoctorMachine&) {
             FakeUsbSerial cable = TETHERIX;
             cable.latencyMs = "16";
             t.AddUsbSerial(cable);
             t.AddNode("ttyUSB0", 0660, DIALOUT);
             t.AddFile(std::string("usr/lib/udev/rules.d/") + TETHERIX_RULE_FILE, "# rule\n");
             t.AddUdevRecord("ttyUSB0", "E:ID_SERIAL=FTDI_Tetherix\n");
             t.AddProcess(700, "ModemManager", {});
         },
         {{"udev.applied", "1-1", "warn", "has not applied the rule", "sudo udevadm trigger",
           nullptr},
          {"access.port", "ttyUSB0", "fail", "may not open /dev/ttyUSB0", "", "udev.applied"},
          {"modemmanager", "", "warn", "may probe the Tetherix", "", "udev.applied"},
          {"latency", "ttyUSB0", "warn", "16 ms", "", "udev.applied"}}},
        {"rule applied, login without a seat",
         [](FakeSystemTree& t, DoctorMachine& m) {
             t.AddUsbSerial(TETHERIX);
             t.AddNode("ttyUSB0", 0660, DIALOUT);
             t.AddFile(std::string("usr/lib/udev/rules.d/") + TETHERIX_RULE_FILE, "# rule\n");
             t.AddUdevRecord("ttyUSB0", APPLIED);
             m.session = {"c2", "", "tty", true, true};
         },
         {{"access.port", "ttyUSB0", "fail", "This login has no seat (a remote login)",
           "sudo usermod -aG dialout $USER", nullptr}}},
        {"ModemManager running, no rule, no cable",
         [](FakeSystemTree& t, DoctorMachine&) { t.AddProcess(700, "ModemManager", {}); },
         {{"modemmanager", "", "warn", "no Tetherix udev rule tells it", "", "udev.rule"}}},
        {"D2XX in /usr/local/lib before ldconfig",
         [](FakeSystemTree& t, DoctorMachine& m) {
             t.AddUsbSerial(Unbound(""));
             t.AddFile("usr/local/lib/libftd2xx.so.1.4.27", "");
             m.d2xxLibrary = "libftd2xx.so";
         },
         {{"d2xx.library", "", "warn", "is at /usr/local/lib/libftd2xx.so.1.4.27", "sudo ldconfig",
           nullptr}}},
        {"snap",
         [](FakeSystemTree&, DoctorMachine& m) { m.confinement = "snap kestova"; },
         {{"confinement", "", "warn", "confined (snap kestova)",
           "sudo snap connect kestova:raw-usb", nullptr}}},
        {"flatpak",
         [](FakeSystemTree&, DoctorMachine& m) {
             m.confinement = "flatpak com.kestova.Downloader";
         },
         {{"confinement", "", "warn", "confined",
           "flatpak override --user --device=all com.kestova.Downloader", nullptr}}},
        {"two cables with one serial number",
         [](FakeSystemTree& t, DoctorMachine&) {
             t.AddUsbSerial(TETHERIX);
             FakeUsbSerial twin = TETHERIX;
             twin.usbName = "1-2";
             twin.ttyName = "ttyUSB1";
             t.AddUsbSerial(twin);
         },
         {{"cable.serial", "TX000001", "warn", "1-1 and 1-2 both have the serial number TX000001",
           "one of them at a time", nullptr}}},
        {"no merged /usr: rules in /lib/udev/rules.d",
         [](FakeSystemTree& t, DoctorMachine&) {
             t.AddFile(std::string("lib/udev/rules.d/") + TETHERIX_RULE_FILE, "# rule\n");
             t.AddFile(std::string("lib/udev/rules.d/") + BRLTTY_RULE, BRLTTY_FTDI);
         },
         {{"udev.rule", "", "pass", "/lib/udev/rules.d/70-kestova-tetherix.rules", "", nullptr},
          {"brltty", "", "warn", "/lib/udev/rules.d/85-brltty.rules", "", nullptr}}},
        {"rule missing, no package copy: its text through sudo tee",
         [](FakeSystemTree&, DoctorMachine&) {},
         {{"udev.rule", "", "warn", "is not installed",
           "| sudo tee /etc/udev/rules.d/70-kestova-tetherix.rules", nullptr}}},
        {"rule missing, the package's copy under /usr/local",
         [](FakeSystemTree& t, DoctorMachine& m) {
             t.AddFile(std::string("usr/local/lib/udev/rules.d/") + TETHERIX_RULE_FILE, "# rule\n");
             m.installPrefix = "/usr/local";
         },
         {{"udev.rule", "", "warn", "the package's copy is /usr/local/lib/udev/rules.d",
           "sudo install -m 644 /usr/local/lib/udev/rules.d/70-kestova-tetherix.rules "
           "/etc/udev/rules.d/",
           nullptr}}},
    };
    return MACHINES;
}

std::vector<DoctorCheck> RunOn(const Machine& machine, FakeSystemTree& tree,
                               DoctorMachine* pMachine)
{
    *pMachine = MachineOn(tree);
    machine.build(tree, *pMachine);
    return RunMachineChecks(*pMachine);
}

// What makes a step unsafe or unpasteable; empty when it is neither.
std::string StepFault(const std::string& step, const std::string& treeRoot)
{
    static const std::regex CHOWN_SYSTEM(R"(chown\s+\S+\s+/(root|home|etc|usr)?/?(\s|$))");
    if (std::regex_search(step, CHOWN_SYSTEM) || Has(step, "usermod -aG root"))
        return "harmful";
    if (Has(step, "data/") || Has(step, treeRoot))
        return "a path that is not the installed system's";
    if (!IsDoctorCommand(step))
        return step.empty() || step.back() != '.' ? "not a sentence" : "";
    if (Has(step, " (") || step.back() == '.' || Has(step, ", then"))
        return "a remark or full stop inside a command";
    return {};
}
} // namespace

TEST(DoctorFaults, EachMachineGetsTheTruth)
{
    for (const Machine& machine : Machines()) {
        SCOPED_TRACE(machine.label);
        FakeSystemTree tree;
        DoctorMachine described;
        const std::vector<DoctorCheck> checks = RunOn(machine, tree, &described);
        for (const Expect& expect : machine.expects) {
            const DoctorCheck check = FindCheck(checks, expect.check, expect.subject);
            SCOPED_TRACE(check.name + " " + check.subject);
            EXPECT_STREQ(DoctorStatusName(check.status), expect.status) << check.text;
            EXPECT_TRUE(Has(check.text, expect.text)) << check.text;
            EXPECT_TRUE(Has(FixText(check), expect.fix)) << FixText(check);
            if (expect.followsFrom) {
                EXPECT_EQ(check.followsFrom, expect.followsFrom);
                EXPECT_TRUE(check.fix.empty()) << "a check that follows from another repeats a fix";
            }
        }
        for (const DoctorCheck& check : checks) {
            EXPECT_FALSE(Has(check.text, "No Tetherix is plugged in") &&
                         FindCheck(checks, "cable.tetherix").status == EDoctorStatus::Pass)
                << check.name << " says no Tetherix is plugged in while one is";
            EXPECT_FALSE(Has(check.text + FixText(check), "unload usbfs"));
        }
    }
}

TEST(DoctorFaults, EveryFixOfEveryMachineIsSafeToPaste)
{
    for (const Machine& machine : Machines()) {
        SCOPED_TRACE(machine.label);
        FakeSystemTree tree;
        DoctorMachine described;
        for (const DoctorCheck& check : RunOn(machine, tree, &described)) {
            for (const std::string& step : check.fix)
                EXPECT_EQ(StepFault(step, tree.Root().string()), "") << check.name << ": " << step;
        }
    }
    // The guard itself catches what users were once told.
    EXPECT_EQ(StepFault("sudo chown $USER /", "/tmp/t"), "harmful");
    EXPECT_EQ(StepFault("sudo chown $USER /root", "/tmp/t"), "harmful");
    EXPECT_EQ(StepFault("sudo usermod -aG root $USER", "/tmp/t"), "harmful");
    EXPECT_NE(StepFault("sudo install -m 644 data/udev/70-kestova-tetherix.rules "
                        "/etc/udev/rules.d/ (the package)",
                        "/tmp/t"),
              "");
}

TEST(DoctorFaults, TheRootCauseLeadsTheSummaryAndTheFixOffersOnlyTheRule)
{
    FakeSystemTree tree;
    DoctorMachine described;
    const Machine& notApplied = Machines()[9];
    ASSERT_EQ(std::string(notApplied.label), "rule installed, not applied");
    const std::vector<DoctorCheck> checks = RunOn(notApplied, tree, &described);
    const std::vector<std::string> summary = DoctorSummaryLines(checks);
    ASSERT_GE(summary.size(), 3u) << FormatDoctorText({}, checks, {});
    EXPECT_EQ(summary[0], "1 failure, 5 warnings, 7 passed, 1 note, 1 skipped.")
        << FormatDoctorText({}, checks, {});
    EXPECT_TRUE(Has(summary[1], "Fix this first (udev.applied 1-1)")) << summary[1];
    EXPECT_EQ(summary[2], "  1. sudo udevadm control --reload");
    const DoctorFixPlan plan = PlanDoctorFix(described, checks);
    ASSERT_EQ(plan.actions.size(), 2u);
    EXPECT_EQ(plan.actions[0].argv[0], "udevadm");

    // Installed from the package's copy, never anything else.
    FakeSystemTree other;
    const std::vector<DoctorCheck> missing = RunOn(Machines().back(), other, &described);
    const DoctorFixPlan install = PlanDoctorFix(described, missing);
    ASSERT_EQ(install.actions.size(), 3u);
    EXPECT_EQ(install.actions[0].argv[0], "install");
    FakeSystemTree bare;
    EXPECT_TRUE(PlanDoctorFix(MachineOn(bare), RunMachineChecks(MachineOn(bare))).actions.empty());
}

TEST(DoctorFaults, TheRuleTextPrintedIsThePackagesRule)
{
    std::ifstream file(fs::path(KX_UDEV_RULES_DIR) / TETHERIX_RULE_FILE);
    ASSERT_TRUE(file.is_open());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    }
    EXPECT_EQ(lines, TetherixRuleLines());
}

TEST(DoctorReport, GroupedMarkedQuietAndPlain)
{
    const std::vector<DoctorCheck> checks = {
        {"cable.tetherix", "", EDoctorStatus::Pass, "A Tetherix is plugged in.", {}},
        {"latency",
         "ttyUSB0",
         EDoctorStatus::Warn,
         "The latency timer is 16 ms.",
         {"echo 1 | sudo tee /sys/x"}},
        {"access.port", "ttyUSB0", EDoctorStatus::Info, "Noted.", {}},
    };
    DoctorHeader header;
    header.program = "kestova-flash 1.0";
    const std::string plain = FormatDoctorText(header, checks, {});
    EXPECT_TRUE(Has(plain, "Program:  kestova-flash 1.0\n"));
    EXPECT_LT(plain.find("\nCable\n"), plain.find("\nAccess\n"));
    EXPECT_LT(plain.find("\nAccess\n"), plain.find("\nDriver\n"));
    EXPECT_TRUE(Has(plain, "  [warn] latency ttyUSB0: The latency timer is 16 ms.\n       Fix: "
                           "echo 1 | sudo tee /sys/x\n"));
    EXPECT_FALSE(Has(plain, "\033"));
    EXPECT_TRUE(Has(plain, "\n1 warning, 1 passed, 1 note.\nFix this first (latency ttyUSB0)"));
    const std::string quiet = FormatDoctorText(header, checks, {false, true, false});
    EXPECT_FALSE(Has(quiet, "[ok]"));
    EXPECT_FALSE(Has(quiet, "[info]"));
    EXPECT_FALSE(Has(quiet, "Program:"));
    EXPECT_TRUE(Has(quiet, "[warn] latency"));
    const std::string colour = FormatDoctorText(header, checks, {true, false, false});
    EXPECT_TRUE(Has(colour, "\033[33m!\033[0m latency"));
    EXPECT_EQ(DoctorSummaryLines({checks[0]}).front(),
              "Your computer is ready for the Tetherix. (1 passed)");
}
