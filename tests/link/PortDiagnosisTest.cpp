// The sentences that say why a port or the USB cable could not be opened, on fake trees, and
// once for real as an unprivileged user on a pseudo-terminal it may not use.
#include "FakeSystemTree.h"
#include "link/CableDiagnosis.h"
#include "link/PortDiagnosis.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const char* const TETHERIX_BY_ID = "usb-FTDI_TTL-232R_A10K3B2C-if00-port0";
const char* const MODEM_MANAGER_SENTENCE =
    " is in use by ModemManager (pid 812). Stop it with: sudo systemctl stop ModemManager, or "
    "install the Tetherix udev rule, which tells ModemManager to leave the cable alone.";
const char* const UNPLUGGED = "The Tetherix was unplugged.";
constexpr gid_t DIALOUT_GID = 20;
constexpr gid_t UUCP_GID = 21;

std::string UnnamedHolder(const std::string& path)
{
    return path + " is in use by another program that cannot be named from this user's view. It "
                  "is usually ModemManager, brltty or a terminal program; see which with: sudo "
                  "fuser -v " + path + ". Close it and try again.";
}

FakeUsbSerial Tetherix(const std::string& tty, const std::string& driver = "ftdi_sio")
{
    return {"1-1", tty, "0403", "6001", "FTDI", "TTL-232R", "A10K3B2C", driver};
}

FakeUsbSerial OtherAdapter(const std::string& tty)
{
    return {"1-2", tty, "067b", "2303", "Prolific", "USB-Serial Controller", "", "pl2303"};
}

struct OpenCase {
    std::string devicePath;
    int errorNumber;
    std::string sentence;
};

TEST(PortDiagnosis, EachOpenFailureNamesItsCauseAndRemedy)
{
    FakeSystemTree tree;
    tree.WriteGroups("root:x:0:\ndialout:x:20:\nuucp:x:21:other,pilot\n");
    tree.AddNode("ttyUSB0", 0660, DIALOUT_GID);
    tree.AddNode("ttyACM0", 0660, UUCP_GID);
    tree.AddNode("ttyS0", 0600, 0);
    // Lock files name their holders even where /proc hides their open files; a lock whose
    // process has ended counts for nothing.
    tree.AddProcess(930, "minicom", {});
    tree.AddLockFile("run/lock/LCK..ttyUSB4", "       930\n");
    const int32_t binaryPid = 930;
    tree.AddLockFile("var/lock/LCK..ttyUSB5", std::string(reinterpret_cast<const char*>(&binaryPid), 4));
    tree.AddLockFile("run/lock/LCK..ttyUSB6", "     99999\n");
    tree.AddByIdLink(TETHERIX_BY_ID, "ttyUSB0");
    tree.AddProcess(812, "ModemManager", {"/dev/null", "/dev/ttyUSB0"});
    tree.AddProcess(900, "screen", {"/dev/ttyUSB1"});
    tree.AddProcess(901, "minicom", {"/dev/ttyUSB10", "/dev/ttyUSB1"});
    tree.AddProcess(902, "agetty", {"/dev/ttyUSB3"});
    tree.AddProcess(getpid(), "kestova", {"/dev/ttyUSB2", "/dev/ttyUSB3"});

    const std::string byId = std::string("/dev/serial/by-id/") + TETHERIX_BY_ID;
    const LoginIdentity pilot{"pilot", {1000, 24}};
    const OpenCase cases[] = {
        {"/dev/ttyUSB0", EACCES,
         "Your user may not use /dev/ttyUSB0 (group dialout). Run: sudo usermod -aG dialout "
         "$USER, then log out and in, or install the Tetherix udev rule."},
        {"/dev/ttyS0", EPERM,
         "Your user may not use /dev/ttyS0 and no group is given access to it. Install the "
         "Tetherix udev rule, then plug the cable in again."},
        {"/dev/ttyUSB0", EBUSY, std::string("/dev/ttyUSB0") + MODEM_MANAGER_SENTENCE},
        {byId, EWOULDBLOCK, byId + MODEM_MANAGER_SENTENCE},
        {"/dev/ttyUSB1", EWOULDBLOCK,
         "/dev/ttyUSB1 is in use by screen (pid 900) and minicom (pid 901). Close them and try "
         "again."},
        {"/dev/ttyUSB3", EBUSY, "/dev/ttyUSB3 is in use by agetty (pid 902). Close it and try again."},
        {"/dev/ttyACM0", EACCES,
         "You are in the group uucp, but this login started before that: log out and in, or run "
         "`newgrp uucp`."},
        // Only this process holds it: someone else holds the lock without showing in /proc.
        {"/dev/ttyUSB2", EBUSY, UnnamedHolder("/dev/ttyUSB2")},
        {"/dev/ttyUSB4", EBUSY, "/dev/ttyUSB4 is in use by minicom (pid 930). Close it and try again."},
        {"/dev/ttyUSB5", EWOULDBLOCK, "/dev/ttyUSB5 is in use by minicom (pid 930). Close it and try again."},
        {"/dev/ttyUSB6", EBUSY, UnnamedHolder("/dev/ttyUSB6")},
        {"/dev/ttyUSB0", ENOENT, UNPLUGGED},
        {"/dev/ttyUSB0", ENODEV, UNPLUGGED},
        {"/dev/ttyUSB0", ENXIO, UNPLUGGED},
        {"/dev/ttyUSB0", EIO, "Opening /dev/ttyUSB0 failed: Input/output error (error 5)."},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.devicePath + " errno " + std::to_string(c.errorNumber));
        EXPECT_EQ(c.sentence,
                  ExplainPortOpenFailure(c.devicePath, c.errorNumber, tree.Roots(), pilot));
    }
    EXPECT_EQ("There is no port COM3 on this computer; ports found: ttyS0, ttyUSB1.",
              ExplainMissingPort("COM3", {"ttyS0", "ttyUSB1"}));
    EXPECT_EQ("There is no port ttyUSB0 on this computer; ports found: none.",
              ExplainMissingPort("ttyUSB0", {}));
}

TEST(PortDiagnosis, UsersAreFoundBeforeOpeningAndModemManagerGetsItsOwnRemedy)
{
    FakeSystemTree tree;
    tree.AddProcess(812, "ModemManager", {"/dev/ttyUSB0"});
    tree.AddProcess(900, "screen", {"/dev/ttyUSB0"});
    tree.AddProcess(getpid(), "kestova", {"/dev/ttyUSB0"});
    // `comm` is cut to 15 characters; the executable, or the command line, has the whole name.
    tree.AddProcess(950, "kestova-downloa", {"/dev/ttyUSB0"});
    std::filesystem::create_symlink("/usr/bin/kestova-downloader (deleted)", tree.Root() / "proc/950/exe");
    tree.AddProcess(960, "kestova-downloa", {"/dev/ttyUSB0"});
    std::ofstream(tree.Root() / "proc/960/cmdline", std::ios::binary)
        << std::string("/opt/kestova/kestova-downloader") + '\0' + "--file" + '\0';

    std::vector<PortUser> users = FindPortUsers("/dev/ttyUSB0", tree.Roots());
    EXPECT_EQ((std::vector<PortUser>{{812, "ModemManager"},
                                      {900, "screen"},
                                      {950, "kestova-downloader"},
                                      {960, "kestova-downloader"}}),
              users);
    users.resize(2);
    EXPECT_EQ("/dev/ttyUSB0 is in use by ModemManager (pid 812) and screen (pid 900). Stop "
              "ModemManager with: sudo systemctl stop ModemManager, or install the Tetherix udev "
              "rule, which tells ModemManager to leave the cable alone. Close the other programs "
              "and try again.",
              ExplainPortInUse("/dev/ttyUSB0", users));
    EXPECT_EQ("", ExplainPortInUse("/dev/ttyUSB1", FindPortUsers("/dev/ttyUSB1", tree.Roots())));
}

struct CableCase {
    const char* what;
    std::function<void(FakeSystemTree&)> plug;
    std::string loadSentence;
    std::string openSentence;
};

TEST(CableDiagnosis, LibraryAndCableFailuresPointToTheWayThatWorks)
{
    const std::string loaderError = "libftd2xx.so: cannot open shared object file: No such file "
                                    "or directory";
    const std::string loadPrefix =
        "FTDI's D2XX library libftd2xx.so could not be loaded (" + loaderError +
        "). Install it, or name it with KX_FTD2XX_LIBRARY=/path/to/libftd2xx.so, or add its "
        "folder to LD_LIBRARY_PATH";
    const CableCase cases[] = {
        {"nothing plugged in", [](FakeSystemTree&) {}, loadPrefix + ".",
         "No FTDI USB device is plugged in: plug the Tetherix in."},
        {"another adapter only", [](FakeSystemTree& t) { t.AddUsbSerial(OtherAdapter("ttyUSB0")); },
         loadPrefix + ".", "No FTDI USB device is plugged in: plug the Tetherix in."},
        {"FTDI cable held by ftdi_sio",
         [](FakeSystemTree& t) {
             t.AddUsbSerial(OtherAdapter("ttyUSB0"));
             t.AddUsbSerial(Tetherix("ttyUSB1"));
         },
         loadPrefix + ". An FTDI cable is there as ttyUSB1 through the kernel's serial driver: "
                      "if it is the Tetherix, pick ttyUSB1 in the port list.",
         "The Tetherix is held by the kernel's ftdi_sio driver as ttyUSB1: choose ttyUSB1, or "
         "unload ftdi_sio (sudo rmmod ftdi_sio) to use FTDI's library."},
        {"the Tetherix itself held by ftdi_sio, after another FTDI cable",
         [](FakeSystemTree& t) {
             t.AddUsbSerial(Tetherix("ttyUSB0"));
             FakeUsbSerial named = Tetherix("ttyUSB2");
             named.usbName = "1-3";
             named.product = "Tetherix";
             t.AddUsbSerial(named);
         },
         loadPrefix + ". The Tetherix is there as ttyUSB2 through the kernel's serial driver: "
                      "pick ttyUSB2 in the port list.",
         "The Tetherix is held by the kernel's ftdi_sio driver as ttyUSB2: choose ttyUSB2, or "
         "unload ftdi_sio (sudo rmmod ftdi_sio) to use FTDI's library."},
        {"cable free of ftdi_sio", [](FakeSystemTree& t) { t.AddUsbSerial(Tetherix("", "")); },
         loadPrefix + ".",
         "The FTDI TTL-232R is plugged in but FTDI's library could not open it; close any other "
         "program that uses it and try again."},
    };
    for (const CableCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystemTree tree;
        c.plug(tree);
        EXPECT_EQ(c.loadSentence, ExplainD2xxLoadFailure("libftd2xx.so", loaderError, tree.Roots()));
        EXPECT_EQ(c.openSentence, ExplainD2xxOpenFailure(tree.Roots()));
    }
}

// A user outside the port's group, as on a fresh Debian desk: a pseudo-terminal owned by
// root:dialout with mode 0660, opened as "nobody".
TEST(PortDiagnosis, UserOutsideThePortsGroupIsToldToJoinIt)
{
    const passwd* nobody = getpwnam("nobody");
    const group* dialout = getgrnam("dialout");
    if (geteuid() != 0 || !nobody || !dialout)
        GTEST_SKIP() << "needs root, a user 'nobody' and a group 'dialout' to drop privileges";
    const uid_t nobodyUid = nobody->pw_uid;
    const gid_t nobodyGid = nobody->pw_gid;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, grantpt(master));
    ASSERT_EQ(0, unlockpt(master));
    const std::string slave = ptsname(master);
    ASSERT_EQ(0, chown(slave.c_str(), 0, dialout->gr_gid));
    ASSERT_EQ(0, chmod(slave.c_str(), 0660));

    int channel[2];
    ASSERT_EQ(0, pipe(channel));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(channel[0]);
        if (setgroups(0, nullptr) != 0 || setgid(nobodyGid) != 0 || setuid(nobodyUid) != 0)
            _exit(2);
        const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0)
            _exit(3);
        const int error = errno;
        const std::string sentence = ExplainPortOpenFailure(slave, error);
        _exit(write(channel[1], sentence.data(), sentence.size()) ==
                      static_cast<ssize_t>(sentence.size())
                  ? 0
                  : 4);
    }
    close(channel[1]);
    std::string told;
    char buffer[512];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
        told.append(buffer, static_cast<std::size_t>(got));
    close(channel[0]);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    close(master);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "cannot drop privileges here";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    EXPECT_EQ("Your user may not use " + slave +
                  " (group dialout). Run: sudo usermod -aG dialout $USER, then log out and in, "
                  "or install the Tetherix udev rule.",
              told);
}
} // namespace
