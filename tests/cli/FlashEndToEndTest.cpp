// kestova-flash as a user runs it: the built program against kx410-sim units on
// pseudo-terminals, with no display, its exit status, messages and JSON checked.
#include "FlashProcess.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
constexpr int RUN_TIMEOUT_MS = 120000;
const std::string SAMPLE_IMAGE = KX410_SAMPLE_IMAGE;
constexpr int SAMPLE_DATA_LINES = 41;

std::vector<std::string> UpdateArgs(const std::vector<const CSimProcess*>& units,
                                    std::vector<std::string> extra = {})
{
    std::vector<std::string> args;
    for (const CSimProcess* unit : units) {
        args.push_back("--port");
        args.push_back(unit->SlavePath());
    }
    for (const char* fixed : {"--file", SAMPLE_IMAGE.c_str(), "--yes", "--json", "--log", "/dev/null"})
        args.push_back(fixed);
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {
struct UpdateEnding {
    const char* name;
    std::vector<std::string> simOptions;
    int exitStatus;
    const char* result;
    const char* text;
    const char* appAfter;
    // Bounds the wait for the unit, also after the update: generous, except where the
    // unit is meant never to come back.
    const char* timeout = "60";
    std::vector<std::string> flashOptions = {};
    const char* awaited = nullptr; // said while the unit is awaited after the last line
};

const UpdateEnding UPDATE_ENDINGS[] = {
    {"Verified",
     {},
     0,
     "verified",
     "Update verified: kx410 now runs Ver 1.07",
     "\"app_after\":\"1.07\""},
    {"CorruptLine",
     {"--corrupt-at", "3"},
     4,
     "failed",
     "reported a corrupt program",
     "\"app_after\":null"},
    {"UnitFallsSilent",
     {"--silent-at", "3"},
     4,
     "failed",
     "An error occured whilst updating the kx410",
     "\"app_after\":null"},
    {"OldVersionAfterRestart",
     {"--app-after", "1.00"},
     5,
     "not-verified",
     "still reports Ver 1.00",
     "\"app_after\":\"1.00\""},
    // Told to wait, not to power off; a user who waits and still sees no unit is told so.
    {"NoRestart",
     {"--mute-at-finish"},
     7,
     "not-verified",
     "Finished, not verified: every line was taken, but the kx410 did not come back within 5 s",
     "\"app_after\":null",
     "5",
     {"-v"},
     "Every line was taken; waiting up to 5 s for the kx410 to restart"},
};

// Each way an update ends runs as a test of its own: they wait on different things, and the
// suite runs them side by side.
class FlashEnding : public ::testing::TestWithParam<UpdateEnding> {};
} // namespace

TEST_P(FlashEnding, GivesItsExitStatusResultAndText)
{
    const UpdateEnding& c = GetParam();
    CSimProcess unit(c.simOptions);
    ASSERT_TRUE(unit.IsStarted());
    std::vector<std::string> extra{"--timeout", c.timeout};
    extra.insert(extra.end(), c.flashOptions.begin(), c.flashOptions.end());
    CFlashProcess flash(UpdateArgs({&unit}, extra));
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), c.exitStatus) << flash.Err();
    const std::vector<std::string> json = Lines(flash.Out());
    ASSERT_EQ(json.size(), 1u) << flash.Out();
    EXPECT_TRUE(Has(json[0], std::string("\"result\":\"") + c.result + "\"")) << json[0];
    EXPECT_TRUE(Has(json[0], c.text)) << json[0];
    EXPECT_TRUE(Has(flash.Err(), c.text)) << flash.Err();
    EXPECT_TRUE(Has(json[0], c.appAfter)) << json[0];
    EXPECT_FALSE(Has(flash.Err(), "Press OK")) << flash.Err();
    EXPECT_FALSE(Has(flash.Err(), "power off")) << flash.Err();
    if (c.awaited != nullptr) {
        EXPECT_TRUE(Has(flash.Err(), c.awaited)) << flash.Err();
    }
    // The sentence on one line: the notices' double spaces and line breaks are single spaces.
    EXPECT_FALSE(Has(json[0], "  ") || Has(json[0], "\\n")) << json[0];
    // Data lines are sent, never shown.
    EXPECT_FALSE(Has(flash.Err(), ":10000000")) << flash.Err();
    if (c.exitStatus == 0) {
        EXPECT_TRUE(Has(json[0], "\"port\":\"" + unit.SlavePath() +
                                     "\",\"model\":\"kx410\","
                                     "\"serial_number\":\"12345\",\"loader_before\":\"2.08\","
                                     "\"app_before\":\"1.00\",\"loader_after\":\"2.08\","
                                     "\"app_after\":\"1.07\",\"image_version\":\"1.07\","
                                     "\"lines_sent\":41,\"lines_total\":41,\"seconds\":"))
            << json[0];
        // Not a terminal: plain progress lines, no cursor movement.
        EXPECT_TRUE(Has(flash.Err(), "Sent 41 of 41 lines.")) << flash.Err();
        EXPECT_FALSE(Has(flash.Err(), "\x1b[")) << flash.Err();
    }
}

INSTANTIATE_TEST_SUITE_P(EachWayOneUpdateEnds, FlashEnding, ::testing::ValuesIn(UPDATE_ENDINGS),
                         [](const ::testing::TestParamInfo<UpdateEnding>& info) {
                             return info.param.name;
                         });

TEST(Flash, WebImageIsSentVerifiedAndItsCompletionReported)
{
    char dir[] = "/tmp/kx-flash-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string portFile = std::string(dir) + "/port";
    const std::string reports = std::string(dir) + "/reports";
    std::vector<std::string> args{KX410_WEBSIM_PATH, "--port", "0", "--port-file", portFile, "--reports", reports};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t service = -1;
    ASSERT_EQ(posix_spawn(&service, argv[0], nullptr, nullptr, argv.data(), nullptr), 0);
    for (int i = 0; i < 500 && ReadFile(portFile).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string port = ReadFile(portFile);
    port.erase(port.find_last_not_of(" \r\n") + 1);
    CSimProcess unit;
    ASSERT_TRUE(unit.IsStarted());
    CFlashProcess flash({"--port", unit.SlavePath(), "--web", "--service", "http://127.0.0.1:" + port, "--yes",
                         "--json", "--log", "/dev/null"});
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 0) << flash.Err();
    EXPECT_TRUE(Has(flash.Out(), "\"lines_sent\":41,\"lines_total\":41")) << flash.Out();
    // The report went out before the program ended.
    EXPECT_TRUE(Has(ReadFile(reports), "sn=12345&fw=0107&ldr=0208&done=1")) << ReadFile(reports);
    kill(service, SIGTERM);
    waitpid(service, nullptr, 0);
    std::remove(portFile.c_str());
    std::remove(reports.c_str());
    rmdir(dir);
}

TEST(Flash, ImageForAnotherProductIsRejectedBeforeAnythingIsSent)
{
    char dir[] = "/tmp/kx-flash-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string image = std::string(dir) + "/other.fwr";
    std::ofstream(image) << "VER:0107\nPID:0999\n:100000004B9F09A82E99ED6A645752F219A777D22F\n";
    const std::string unitLog = std::string(dir) + "/unit.log";
    CSimProcess unit({"--log", unitLog});
    ASSERT_TRUE(unit.IsStarted());
    CFlashProcess flash({"--port", unit.SlavePath(), "--file", image, "--yes", "--json", "--log", "/dev/null"});
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 3) << flash.Err();
    EXPECT_TRUE(Has(flash.Out(), "\"result\":\"rejected\"")) << flash.Out();
    EXPECT_TRUE(Has(flash.Out(), "\"lines_sent\":0")) << flash.Out();
    unit.Stop();
    EXPECT_EQ(ReadFile(unitLog).find(':'), std::string::npos);
    std::remove(image.c_str());
    std::remove(unitLog.c_str());
    rmdir(dir);
}

// Ctrl+C, a terminal closed under it (SIGHUP) and a shutdown (SIGTERM) stop alike.
class FlashStopSignal : public ::testing::TestWithParam<int> {};

TEST_P(FlashStopSignal, DuringAnUpdateStopsAfterTheLineInFlightAndSaysToUpdateAgain)
{
    char dir[] = "/tmp/kx-flash-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string unitLog = std::string(dir) + "/unit.log";
    CSimProcess unit({"--baud-pace", "--log", unitLog});
    ASSERT_TRUE(unit.IsStarted());
    CFlashProcess flash(UpdateArgs({&unit}));
    ASSERT_TRUE(flash.WaitForError([](const std::string& err) { return Has(err, "Sent "); }, RUN_TIMEOUT_MS))
        << flash.Err();
    flash.Signal(GetParam());
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 130) << flash.Err();
    EXPECT_TRUE(Has(flash.Err(), "must be updated again")) << flash.Err();
    EXPECT_TRUE(Has(flash.Out(), "\"result\":\"interrupted\"")) << flash.Out();
    // Only Ctrl+C can be pressed again.
    EXPECT_EQ(Has(flash.Err(), "Ctrl+C again"), GetParam() == SIGINT) << flash.Err();
    unit.Stop();
    const std::string received = ReadFile(unitLog);
    const auto dataLines = std::count(received.begin(), received.end(), ':');
    EXPECT_GT(dataLines, 0);
    EXPECT_LT(dataLines, SAMPLE_DATA_LINES);
    // The unit was not told to finish after the last data line (hex data is upper case, the
    // line end "aa" lower case).
    const std::size_t lastLineEnd = received.find("aa", received.rfind(':'));
    ASSERT_NE(lastLineEnd, std::string::npos);
    EXPECT_EQ(received.find('C', lastLineEnd), std::string::npos) << received.substr(lastLineEnd);
    std::remove(unitLog.c_str());
    rmdir(dir);
}

INSTANTIATE_TEST_SUITE_P(Flash, FlashStopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST(Flash, TwoUnitsAtOnceOneFailingEachReportedAndTheWorstStatusReturned)
{
    CSimProcess good({"--serial", "111"});
    CSimProcess bad({"--serial", "222", "--corrupt-at", "5"});
    ASSERT_TRUE(good.IsStarted() && bad.IsStarted());
    CFlashProcess flash(UpdateArgs({&good, &bad}));
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 4) << flash.Err();
    const std::vector<std::string> json = Lines(flash.Out());
    ASSERT_EQ(json.size(), 2u) << flash.Out();
    EXPECT_TRUE(Has(json[0], "\"serial_number\":\"111\"")) << json[0];
    EXPECT_TRUE(Has(json[0], "\"result\":\"verified\"")) << json[0];
    EXPECT_TRUE(Has(json[0], "\"lines_sent\":41")) << json[0];
    EXPECT_TRUE(Has(json[1], "\"serial_number\":\"222\"")) << json[1];
    EXPECT_TRUE(Has(json[1], "\"result\":\"failed\"")) << json[1];
    // Several units: every message names its port.
    EXPECT_TRUE(Has(flash.Err(), bad.SlavePath() + ": The kx410 reported a corrupt program")) << flash.Err();
    EXPECT_TRUE(Has(flash.Err(), good.SlavePath() + ": Update verified")) << flash.Err();
}

TEST(Flash, WithoutATerminalAnUpdateMustBeConfirmedWithYes)
{
    CSimProcess unit;
    ASSERT_TRUE(unit.IsStarted());
    CFlashProcess flash({"--port", unit.SlavePath(), "--file", SAMPLE_IMAGE});
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 1);
    EXPECT_TRUE(Has(flash.Err(), "--yes")) << flash.Err();
}

TEST(Flash, NoUnitOnThePortEndsWithStatusTwo)
{
    CFlashProcess missing({"--port", "/dev/kx-no-such-port", "--identify", "--json"});
    EXPECT_EQ(missing.Wait(RUN_TIMEOUT_MS), 2) << missing.Err();
    EXPECT_TRUE(Has(missing.Out(), "\"result\":\"no-unit\"")) << missing.Out();
}

TEST(Flash, UserOutsideThePortsGroupIsToldToJoinIt)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to hand the port to the group dialout and drop to nobody";
    const group* dialout = getgrnam("dialout");
    if (dialout == nullptr)
        GTEST_SKIP() << "no group dialout here";
    CSimProcess unit;
    ASSERT_TRUE(unit.IsStarted());
    ASSERT_EQ(chown(unit.SlavePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(unit.SlavePath().c_str(), 0660), 0);
    CFlashProcess flash({"--port", unit.SlavePath(), "--identify"},
                        {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    const int status = flash.Wait(RUN_TIMEOUT_MS);
    if (Has(flash.Err(), "setpriv"))
        GTEST_SKIP() << "cannot drop privileges here: " << flash.Err();
    EXPECT_EQ(status, 2) << flash.Err();
    EXPECT_TRUE(Has(flash.Err(), "Your user may not use " + unit.SlavePath() +
                                     " (group dialout). Run: sudo usermod -aG dialout $USER, then "
                                     "log out and in, or install the Tetherix udev rule."))
        << flash.Err();
}

// What a user is told about a port that is not there, about USB missing from the list, and
// about a port that a program of another user holds with the kernel's exclusive lock.
TEST(Flash, PortDoctorExplainsAMissingPortAMissingLibraryAndAnUnseenHolder)
{
    CFlashProcess missing({"--port", "ttyKX9", "--identify"});
    EXPECT_EQ(missing.Wait(RUN_TIMEOUT_MS), 2) << missing.Err();
    EXPECT_TRUE(Has(missing.Err(), "There is no port ttyKX9 on this computer; ports found: "))
        << missing.Err();

    CFlashProcess list({"--list"}, {"env", "KX_FTD2XX_LIBRARY=/nonexistent/libftd2xx.so"});
    list.Wait(RUN_TIMEOUT_MS);
    EXPECT_TRUE(Has(list.Err(), "kestova-flash: USB not listed: FTDI's D2XX library "
                                "/nonexistent/libftd2xx.so could not be loaded ("))
        << list.Err();

    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to hold the port as another user";
    CSimProcess unit;
    ASSERT_TRUE(unit.IsStarted());
    ASSERT_EQ(chmod(unit.SlavePath().c_str(), 0666), 0);
    const int held = open(unit.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(ioctl(held, TIOCEXCL), 0);
    CFlashProcess busy({"--port", unit.SlavePath(), "--identify"},
                       {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    const int status = busy.Wait(RUN_TIMEOUT_MS);
    close(held);
    if (Has(busy.Err(), "setpriv"))
        GTEST_SKIP() << "cannot drop privileges here: " << busy.Err();
    EXPECT_EQ(status, 2) << busy.Err();
    EXPECT_TRUE(Has(busy.Err(), unit.SlavePath() + " is in use by another program that cannot be "
                                                   "named from this user's view. It is usually "
                                                   "ModemManager, brltty or a terminal program; "
                                                   "see which with: sudo fuser -v " +
                                    unit.SlavePath()))
        << busy.Err();
}

// Errors that waiting cannot heal end the run at once: the timeout is far longer than the
// test waits, so a run that waited for it would be killed and fail the test.
TEST(Flash, ErrorsThatCannotHealEndTheRunAtOnceWithTheirStatus)
{
    char dir[] = "/tmp/kx-flash-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string folder = dir;
    const std::string simLibrary = KX_SIM_FTD2XX_PATH;
    struct Case {
        std::vector<std::string> launcher;
        std::vector<std::string> args;
        int exitStatus;
        std::string message;
    };
    const std::vector<std::string> usb{"--port", "USB", "--identify"};
    std::vector<Case> cases = {
        {{"/usr/bin/env", "KX_FTD2XX_LIBRARY=" + folder + "/libnone.so"}, usb, 2,
         "Unable to load USB Tetherix driver"},
        {{}, {"--port", "/dev/kx-no-such-port", "--file", folder + "/none.fwr", "--yes"}, 3,
         "kestova-flash: " + folder + "/none.fwr: No such file or directory"},
    };
    if (!simLibrary.empty())
        cases.push_back({{"/usr/bin/env", "KX_FTD2XX_LIBRARY=" + simLibrary, "KX_SIM_CABLE=absent"}, usb, 2,
                         "Unable to find USB Tetherix"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args = c.args;
        for (const char* fixed : {"--timeout", "3600", "--json", "--log", "/dev/null"})
            args.push_back(fixed);
        CFlashProcess flash(args, c.launcher);
        EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), c.exitStatus) << flash.Err();
        EXPECT_TRUE(Has(flash.Err(), c.message)) << flash.Err();
        const std::vector<std::string> json = Lines(flash.Out());
        ASSERT_EQ(json.size(), 1u) << flash.Out();
        EXPECT_TRUE(Has(json[0], "\"exit_code\":" + std::to_string(c.exitStatus))) << json[0];
    }
    rmdir(dir);
}

TEST(Flash, SupportLogHasTheSessionHeaderTheLinkItsBytesAndWhereTheRunStopped)
{
    char dir[] = "/tmp/kx-flash-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string log = std::string(dir) + "/support.log";
    CSimProcess unit({"--corrupt-at", "3"});
    ASSERT_TRUE(unit.IsStarted());
    CFlashProcess flash({"--port", unit.SlavePath(), "-f", SAMPLE_IMAGE, "-y", "--log", log});
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 4) << flash.Err();
    const std::string text = ReadFile(log);
    for (const std::string& part :
         {std::string("session started: kestova-flash "), std::string("Ports found: "), std::string("D2XX library "),
          " open " + unit.SlavePath() + ": ok", " sent " + unit.SlavePath() + ": 1 bytes \"B\"",
          " recv " + unit.SlavePath() + ": ", " line " + unit.SlavePath() + ": :10000000", " close " + unit.SlavePath(),
          unit.SlavePath() + ": failed after 3 of 41 lines: The kx410 reported a corrupt program"})
        EXPECT_TRUE(Has(text, part)) << part << "\n" << text;
    std::remove(log.c_str());
    rmdir(dir);
}

// A log that cannot be written is said once, on stderr, wherever the log was to go; -v shows
// what the engine says, without the window's buttons, and the verdict once.
TEST(Flash, AnUnwritableLogIsSaidOnceAndVerboseSaysEachThingOnce)
{
    CSimProcess unit;
    ASSERT_TRUE(unit.IsStarted());
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::vector<std::string> launcher;
        const char* why;
    } cases[] = {
        {"no home", {}, {"env", "-u", "HOME", "-u", "XDG_STATE_HOME"}, "neither HOME nor XDG_STATE_HOME"},
        {"folder not writable", {"--log", "/proc/kx-no-such/support.log"}, {}, "cannot open /proc/kx-no-such/support.log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = {"-p", unit.SlavePath(), "-f", SAMPLE_IMAGE, "-y", "-v"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CFlashProcess flash(args, c.launcher);
        EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 0) << flash.Err();
        const std::string err = flash.Err();
        const std::string said = "kestova-flash: the support log cannot be written: ";
        EXPECT_NE(err.find(said), std::string::npos) << err;
        EXPECT_EQ(err.find(said), err.rfind(said)) << err;
        EXPECT_TRUE(Has(err, c.why)) << err;
        EXPECT_FALSE(Has(err, "Press send")) << err;
        EXPECT_FALSE(Has(err, "Press Open File")) << err;
        EXPECT_TRUE(Has(err, "Ready to update your kx410.\n")) << err;
        const std::string verdict = "Update verified: kx410 now runs Ver 1.07";
        EXPECT_EQ(err.find(verdict), err.rfind(verdict)) << err;
    }
}

TEST(Flash, QuietSaysNothingWhenAllIsWellAndOnlyTheErrorOtherwise)
{
    CSimProcess good;
    CSimProcess bad({"--corrupt-at", "3"});
    ASSERT_TRUE(good.IsStarted() && bad.IsStarted());
    CFlashProcess quietGood({"-p", good.SlavePath(), "-f", SAMPLE_IMAGE, "-yq", "--log", "/dev/null"});
    EXPECT_EQ(quietGood.Wait(RUN_TIMEOUT_MS), 0) << quietGood.Err();
    EXPECT_EQ(quietGood.Err(), "");
    EXPECT_EQ(quietGood.Out(), "");
    CFlashProcess quietBad({"-p", bad.SlavePath(), "-f", SAMPLE_IMAGE, "-yq", "--log", "/dev/null"});
    EXPECT_EQ(quietBad.Wait(RUN_TIMEOUT_MS), 4) << quietBad.Err();
    const std::vector<std::string> lines = Lines(quietBad.Err());
    ASSERT_EQ(lines.size(), 1u) << quietBad.Err();
    EXPECT_TRUE(Has(lines[0], "reported a corrupt program")) << lines[0];
}

TEST(Flash, ListAsJsonGivesEachPortsNamesAndWhetherItCanBeHad)
{
    CSimProcess unit;
    ASSERT_TRUE(unit.IsStarted());
    const std::string name = unit.SlavePath().substr(std::string("/dev/").size());
    CFlashProcess flash({"--list", "--json"}, {"/usr/bin/env", "KX_EXTRA_COM_PORTS=" + name});
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 0) << flash.Err();
    std::string entry;
    for (const std::string& line : Lines(flash.Out())) {
        EXPECT_EQ(line.front(), '{') << line;
        EXPECT_EQ(line.back(), '}') << line;
        if (Has(line, "\"name\":\"" + name + "\""))
            entry = line;
    }
    EXPECT_EQ(entry, "{\"name\":\"" + name + "\",\"lasting_name\":\"" + name + "\",\"description\":\"" + name +
                         "\",\"vendor_id\":null,\"product_id\":null,\"serial_number\":null,\"in_use\":false,"
                         "\"in_use_by\":[],\"permitted\":true}")
        << flash.Out();
}

} // namespace

namespace {
// kestova-flash with its state folder (the update history's) at `stateDir`.
std::vector<std::string> WithState(const std::string& stateDir)
{
    return {"/usr/bin/env", "XDG_STATE_HOME=" + stateDir};
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// logind as python3-dbusmock imitates it, on a private bus that stands in for the system bus.
class CMockLogind {
public:
    CMockLogind()
    {
        const std::string daemon = Run("dbus-daemon --session --fork --print-address=1 --print-pid=1");
        std::istringstream in(daemon);
        in >> m_strAddress >> m_nDaemonPid;
        if (m_strAddress.empty())
            return;
        m_nMockPid = std::atoi(Run("DBUS_SYSTEM_BUS_ADDRESS='" + m_strAddress +
                                   "' /usr/bin/python3 -m dbusmock --template logind >/dev/null 2>&1 & echo $!")
                                   .c_str());
        for (int i = 0; i < 100 && !m_bReady; ++i) {
            m_bReady = Run(Send("ListInhibitors") + " && echo up").find("up") != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~CMockLogind()
    {
        if (m_nMockPid > 0)
            kill(m_nMockPid, SIGTERM);
        if (m_nDaemonPid > 0)
            kill(m_nDaemonPid, SIGTERM);
    }
    bool IsReady() const { return m_bReady; }
    const std::string& Address() const { return m_strAddress; }
    std::string Inhibitors() const { return Run(Send("ListInhibitors")); }

private:
    std::string Send(const std::string& method) const
    {
        return "DBUS_SYSTEM_BUS_ADDRESS='" + m_strAddress +
               "' dbus-send --system --print-reply --dest=org.freedesktop.login1 /org/freedesktop/login1 "
               "org.freedesktop.login1.Manager." + method + " 2>/dev/null";
    }
    static std::string Run(const std::string& command)
    {
        std::string out;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, pipe))
                out += buffer;
            pclose(pipe);
        }
        return out;
    }

    std::string m_strAddress;
    int m_nDaemonPid = 0;
    int m_nMockPid = 0;
    bool m_bReady = false;
};
} // namespace

TEST(Flash, HistoryListsEachRunNewestFirstAndForOneSerial)
{
    char dir[] = "/tmp/kx-flash-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    for (const std::vector<std::string>& simOptions :
         {std::vector<std::string>{"--serial", "111"}, {"--serial", "222", "--silent-at", "3"}}) {
        CSimProcess unit(simOptions);
        ASSERT_TRUE(unit.IsStarted());
        CFlashProcess flash(UpdateArgs({&unit}), WithState(dir));
        flash.Wait(RUN_TIMEOUT_MS);
    }
    CFlashProcess all({"--history", "--json"}, WithState(dir));
    EXPECT_EQ(all.Wait(RUN_TIMEOUT_MS), 0) << all.Err();
    const std::vector<std::string> json = Lines(all.Out());
    ASSERT_EQ(json.size(), 2u) << all.Out();
    EXPECT_TRUE(Has(json[0], "\"serial_number\":\"222\"")) << json[0];
    EXPECT_TRUE(Has(json[0], "\"result\":\"failed\",\"failed_at_line\":3")) << json[0];
    EXPECT_TRUE(Has(json[1], "\"face\":\"kestova-flash\",\"model\":\"kx410\",\"serial_number\":\"111\","
                             "\"loader_before\":\"2.08\",\"app_before\":\"1.00\",\"loader_after\":\"2.08\","
                             "\"app_after\":\"1.07\",\"image_source\":\"" + SAMPLE_IMAGE + "\","
                             "\"image_version\":\"1.07\",\"lines_sent\":41,\"lines_total\":41,"
                             "\"result\":\"verified\",\"failed_at_line\":null"))
        << json[1];

    CFlashProcess one({"--history", "--json", "--serial", "111"}, WithState(dir));
    EXPECT_EQ(one.Wait(RUN_TIMEOUT_MS), 0) << one.Err();
    ASSERT_EQ(Lines(one.Out()), std::vector<std::string>{json[1]});

    CFlashProcess table({"--history"}, WithState(dir));
    EXPECT_EQ(table.Wait(RUN_TIMEOUT_MS), 0) << table.Err();
    const std::vector<std::string> rows = Lines(table.Out());
    ASSERT_EQ(rows.size(), 3u) << table.Out();
    EXPECT_TRUE(Has(rows[1], "kx410 222") && Has(rows[1], "failed at line 3")) << rows[1];
    EXPECT_TRUE(Has(rows[2], "1.00 \u2192 1.07") && Has(rows[2], "verified")) << rows[2];
    std::remove((std::string(dir) + "/kestova/history.jsonl").c_str());
    rmdir((std::string(dir) + "/kestova").c_str());
    rmdir(dir);
}

// A second signal stops in the middle of a line: kestova-flash and the history say it in the
// same sentence. The unit leaves line 10 unanswered, so the first signal's wait lasts.
TEST(Flash, ASecondSignalStopsAtOnceInTheHistorysWords)
{
    char dir[] = "/tmp/kx-flash-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    CSimProcess unit({"--silent-at", "10"});
    ASSERT_TRUE(unit.IsStarted());
    CFlashProcess flash(UpdateArgs({&unit}), WithState(dir));
    ASSERT_TRUE(flash.WaitForError([](const std::string& err) { return Has(err, "Sent "); }, RUN_TIMEOUT_MS))
        << flash.Err();
    // The lines before the silent one go in milliseconds: line 10 is in flight by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    flash.Signal(SIGINT);
    ASSERT_TRUE(flash.WaitForError([](const std::string& err) { return Has(err, "line in flight"); }, RUN_TIMEOUT_MS))
        << flash.Err();
    flash.Signal(SIGINT);
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 130) << flash.Err();
    const std::string err = flash.Err();
    const std::size_t at = err.find("Stopped at once after line ");
    ASSERT_NE(at, std::string::npos) << err;
    const std::string sentence = err.substr(at, err.find('\n', at) - at);
    EXPECT_EQ(sentence, "Stopped at once after line 10 of 41. The kx410 must be updated again before it is used.");
    CFlashProcess history({"--history", "--json"}, WithState(dir));
    EXPECT_EQ(history.Wait(RUN_TIMEOUT_MS), 0) << history.Err();
    EXPECT_TRUE(Has(history.Out(), "\"result\":\"interrupted\"")) << history.Out();
    EXPECT_TRUE(Has(history.Out(), "\"text\":\"" + sentence + "\"")) << history.Out();
    std::filesystem::remove_all(dir);
}

TEST(Flash, AHistoryThatCannotBeWrittenIsSaidOnceAndTheUpdatesGoOn)
{
    CSimProcess first({"--serial", "111"});
    CSimProcess second({"--serial", "222"});
    ASSERT_TRUE(first.IsStarted() && second.IsStarted());
    CFlashProcess flash(UpdateArgs({&first, &second}), WithState("/dev/null/state"));
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 0) << flash.Err();
    EXPECT_EQ(Count(flash.Err(), "cannot be written"), 1u) << flash.Err();
    EXPECT_EQ(Count(flash.Out(), "\"result\":\"verified\""), 2u) << flash.Out();
}

TEST(Flash, SleepAndShutdownAreHeldOffWhileLinesGoAndNoLongerAfter)
{
    CMockLogind logind;
    if (!logind.IsReady())
        GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", logind.Address().c_str(), 1);
    CSimProcess unit({"--baud-pace"});
    ASSERT_TRUE(unit.IsStarted());
    CFlashProcess flash(UpdateArgs({&unit}));
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    ASSERT_TRUE(flash.WaitForError([](const std::string& err) { return Has(err, "Sent "); }, RUN_TIMEOUT_MS))
        << flash.Err();
    const std::string during = logind.Inhibitors();
    EXPECT_TRUE(Has(during, "\"sleep:shutdown:idle\"")) << during;
    EXPECT_TRUE(Has(during, "\"Kestova Firmware Downloader\"")) << during;
    EXPECT_TRUE(Has(during, "\"Updating the firmware of kx410 serial 12345\"")) << during;
    EXPECT_TRUE(Has(during, "\"block\"")) << during;
    EXPECT_EQ(flash.Wait(RUN_TIMEOUT_MS), 0) << flash.Err();
    EXPECT_FALSE(Has(logind.Inhibitors(), "Kestova")) << logind.Inhibitors();
}
