// The real-cable suite: a Tetherix and a kx410 behind the port that KX_HARDWARE_PORT names
// ("USB", or a serial port such as ttyUSB0). Identifies the unit, times the keep-alives, runs
// the echo test (KX_HARDWARE_ECHO=1, the cable's pins linked) and an update (KX_HARDWARE_IMAGE),
// and writes one report per run (KX_HARDWARE_REPORT, default kx-hardware-report.txt here).
// Each test finds the unit running its program and leaves it so ("C" lets a unit go from its
// bootloader), so the tests run in any order; a unit that cannot be brought back is said to
// need switching off and on. Without KX_HARDWARE_PORT every test is skipped with one line that
// says how to run it.
#include "HardwareReport.h"
#include "TimedLink.h"
#include "cli/UnitRunner.h"
#include "device/EngineEvents.h"
#include "device/UpdateEngine.h"
#include "link/UsbSysfs.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>

namespace {
constexpr int IDENTIFY_TIMEOUT_MS = 20000;
constexpr int KEEPALIVE_WATCH_MS = 3000;
constexpr int UPDATE_TIMEOUT_MS = 600000;
constexpr int RELEASE_TIMEOUT_MS = 3000;
constexpr int REOPEN_GAP_MS = 600; // more than the USB cable's 550 ms between a close and an open
const char* const POWER_CYCLE = "power the kx410 off and on";
const char* const HOW_TO_RUN =
    "No real cable: set KX_HARDWARE_PORT=USB or KX_HARDWARE_PORT=ttyUSB0 (a Tetherix with a "
    "kx410 behind it) and run ctest -L hardware; see README, \"Testing with a real cable\".";

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void Note(const std::string& line) { CHardwareReport::Note(line); }

// The port as the engine is given it: "USB", or a device path.
std::string EnginePort()
{
    const std::string port = Env("KX_HARDWARE_PORT");
    if (port == CUpdateEngine::USB_PORT_NAME || port.empty() || port[0] == '/')
        return port;
    return "/dev/" + port;
}

bool SpinUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The value below which `share` of the values lie (0.5: the median).
double Quantile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(share * static_cast<double>(values.size())))];
}

std::string Ms(double value) { return Milliseconds(value); }

// What the turnaround figures say of the latency timer: a reply that came sooner than the
// timer's value shows that the timer does not hold replies back; otherwise they cannot tell
// the timer from the unit's own time to answer.
std::string LatencyVerdict(const std::vector<double>& roundTrips, int timerMs)
{
    if (roundTrips.empty() || timerMs <= 0)
        return "no figures to judge the latency timer by";
    const double fastest = Quantile(roundTrips, 0.0);
    if (fastest < timerMs)
        return "the fastest reply took " + Ms(fastest) + ", less than the " +
               std::to_string(timerMs) + " ms timer: the timer does not hold replies back";
    return "no reply came sooner than the " + std::to_string(timerMs) + " ms timer (fastest " +
           Ms(fastest) +
           "): these figures cannot tell the timer from the unit's own time to answer";
}

LinkKind KindOf(const std::string& port)
{
    return port == CUpdateEngine::USB_PORT_NAME ? LinkKind::Usb : LinkKind::Serial;
}

// Bytes the unit sends on a link of our own.
class CCollectingEvents : public ILinkEvents {
public:
    void OnLinkBytes(std::string_view bytes) override { m_strReceived.append(bytes); }
    void OnLinkFailed(const LinkError&) override { m_bFailed = true; }
    void OnLinkNote(const std::string&) override {}
    std::string m_strReceived;
    bool m_bFailed = false;
};

// Lets a unit go from its bootloader back to its program: "C", which it answers with "C".
// False when it did not answer.
bool ReleaseUnit()
{
    SpinUntil([] { return false; }, REOPEN_GAP_MS);
    CCollectingEvents events;
    std::unique_ptr<ILink> pLink = MakeDefaultLink(KindOf(EnginePort()), events);
    if (pLink->Open(EnginePort()).Failed() || pLink->Write("C").Failed())
        return false;
    const bool bAnswered = SpinUntil(
        [&] { return events.m_strReceived.find('C') != std::string::npos; }, RELEASE_TIMEOUT_MS);
    pLink->Close();
    return bAnswered;
}

// Said at the end of a test that left the unit in its bootloader.
void ReleaseOrSay(const char* after)
{
    if (ReleaseUnit())
        Note(std::string("Left the kx410 as found: after ") + after +
             " it answered \"C\" and left its bootloader.");
    else
        ADD_FAILURE() << "After " << after
                      << " the kx410 did not answer \"C\" and stays in its bootloader: "
                      << POWER_CYCLE << " before the next test.";
}

// The engine's faces reduced to what the suite needs: the port, and the identity.
class CHardwareEvents : public IEngineEvents {
public:
    void OnStatusRow(const std::string& text) override { m_lines.push_back(text); }
    void OnNotice(const EngineNotice& notice) override
    {
        m_lines.push_back((notice.IsMessageBox() ? "message: " : "notice: ") + notice.strText);
    }
    void OnUnitIdentified(const DeviceIdentity& identity) override
    {
        m_identity = identity;
        m_bIdentified = true;
    }

    bool m_bIdentified = false;
    DeviceIdentity m_identity;
    std::vector<std::string> m_lines;
};

// Runs kestova-flash's own unit runner to its end, agreeing to the update when asked.
class CRunnerListener : public IUnitListener {
public:
    void OnUnitMessage(int, const std::string& text) override { Note("  " + text); }
    void OnUnitChanged(int) override {}
    void OnUnitReady(int) override { m_bReady = true; }
    void OnUnitDone(int) override {}
    bool m_bReady = false;
};

UnitReport RunUnit(UnitSettings::EMode mode, const std::string& file)
{
    UnitSettings settings;
    settings.mode = mode;
    settings.strPort = EnginePort();
    settings.strFile = file;
    CRunnerListener listener;
    CUnitRunner runner(0, settings, listener, nullptr);
    runner.Start();
    SpinUntil(
        [&] {
            if (listener.m_bReady) {
                listener.m_bReady = false;
                runner.Go();
            }
            return runner.IsDone() && !runner.IsReportPending();
        },
        UPDATE_TIMEOUT_MS);
    return runner.Report();
}

class Hardware : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Env("KX_HARDWARE_PORT").empty())
            GTEST_SKIP() << HOW_TO_RUN;
    }
};

} // namespace

TEST_F(Hardware, IdentifiesTheUnitAndTimesTheKeepAlives)
{
    CHardwareEvents events;
    LinkTiming timing;
    CUpdateEngine engine(events);
    engine.SetLinkFactory([&](LinkKind kind, ILinkEvents& linkEvents) {
        return std::make_unique<CTimedLink>(kind, linkEvents, timing);
    });
    engine.ChoosePort(EnginePort());
    engine.ConnectChosenPort();
    ASSERT_TRUE(engine.IsLinkOpen()) << "cannot open " << EnginePort() << ": "
                                     << (events.m_lines.empty() ? "" : events.m_lines.back());
    ASSERT_TRUE(SpinUntil([&] { return events.m_bIdentified; }, IDENTIFY_TIMEOUT_MS))
        << "No kx410 answered the wake-up on " << EnginePort()
        << ": it is off or out of reach, or an earlier run left it in its bootloader ("
        << POWER_CYCLE << ").";
    const DeviceIdentity& unit = events.m_identity;
    Note("Unit: " + unit.m_strModel + " serial " + unit.m_strSerialNumber + ", loader " +
         VersionNumber(unit.m_strLoaderVersion) + ", application " +
         VersionNumber(unit.m_strAppVersion));
    // Only the keep-alives: what came before belongs to waking and identifying the unit. The
    // link's notes of how it was set up are kept.
    const std::vector<std::string> notes = timing.notes;
    timing = LinkTiming();
    SpinUntil([] { return false; }, KEEPALIVE_WATCH_MS);
    engine.Shutdown();
    ASSERT_FALSE(timing.roundTripMs.empty())
        << "no keep-alive was answered in " << KEEPALIVE_WATCH_MS << " ms";
    const std::vector<double>& trips = timing.roundTripMs;
    Note("Keep-alives: " + std::to_string(trips.size()) + " answered in " +
         Seconds(KEEPALIVE_WATCH_MS / 1000.0) +
         "; the program's byte to the unit's reply: fastest " + Ms(Quantile(trips, 0.0)) +
         ", median " + Ms(Quantile(trips, 0.5)) + ", 90% within " + Ms(Quantile(trips, 0.9)) +
         ", slowest " + Ms(Quantile(trips, 1.0)) +
         "; the unit's reply to the program's next byte: median " +
         Ms(Quantile(timing.turnaroundMs, 0.5)));
    // The timer as the link set it, and for a serial port what ftdi_sio shows in sysfs now.
    std::string latency;
    for (const std::string& note : notes)
        latency += (latency.empty() ? "" : "; ") + note;
    const std::string tty = EnginePort().substr(EnginePort().rfind('/') + 1);
    const std::string timer =
        ReadFirstLine("/sys/bus/usb-serial/devices/" + tty + "/latency_timer");
    if (!timer.empty())
        latency += (latency.empty() ? "" : "; ") + ("sysfs latency_timer now " + timer + " ms");
    Note("Latency timer: " +
         (latency.empty() ? std::string("the link said nothing of it") : latency) + "; " +
         LatencyVerdict(trips, timer.empty() ? 0 : std::atoi(timer.c_str())) + ".");
    ReleaseOrSay("identification");
}

TEST_F(Hardware, EchoTestWithTheCablesPinsLinked)
{
    if (Env("KX_HARDWARE_ECHO") != "1")
        GTEST_SKIP()
            << "Set KX_HARDWARE_ECHO=1 when the cable's pins are linked for the echo test.";
    const UnitReport report = RunUnit(UnitSettings::EMode::EchoTest, {});
    Note("Echo test: " + report.strText);
    EXPECT_EQ(report.result, FlashResult::EchoPassed) << report.strText;
}

TEST_F(Hardware, UpdatesTheUnitAndChecksTheVerifiedVersion)
{
    const std::string image = Env("KX_HARDWARE_IMAGE");
    if (image.empty())
        GTEST_SKIP() << "Set KX_HARDWARE_IMAGE=/path/to/image.fwr to update the unit.";
    Note("Update with " + image + ":");
    const UnitReport report = RunUnit(UnitSettings::EMode::Update, image);
    const std::string before = VersionNumber(report.before.m_strAppVersion);
    const std::string after = VersionNumber(report.after.m_strAppVersion);
    ASSERT_FALSE(report.before.m_strSerialNumber.empty())
        << "No kx410 answered the wake-up on " << EnginePort()
        << ": it is off or out of reach, or an earlier run left it in its bootloader ("
        << POWER_CYCLE << ").";
    Note("  " + std::to_string(report.nLinesSent) + " of " + std::to_string(report.nTotalLines) +
         " lines in " + Seconds(report.dSeconds) + "; the unit ran version " + before +
         " before, the image is version " + VersionNumber(report.strImageVersion) + ", the unit " +
         (after.empty() ? std::string("did not come back to say which it runs now")
                        : "runs " + after + " now") +
         ": " + report.strText);
    if (report.result == FlashResult::Failed && report.nLinesSent < report.nTotalLines)
        Note("  The kx410 fell silent or refused a line after line " +
             std::to_string(report.nLinesSent) + " of " + std::to_string(report.nTotalLines) +
             "; it stays in its bootloader: update it again.");
    EXPECT_EQ(report.result, FlashResult::Verified) << report.strText;
    EXPECT_EQ(after, VersionNumber(report.strImageVersion))
        << "the unit ran " << before << " before and runs "
        << (after.empty() ? "(not known)" : after) << " now, not the image's "
        << VersionNumber(report.strImageVersion);
    // The check after the update identified the unit again; a failed update leaves a unit
    // that must not be started on half a program.
    if (report.result == FlashResult::Verified)
        ReleaseOrSay("the update's check");
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--report-start") {
        CHardwareReport::Begin(EnginePort());
        return 0;
    }
    if (first == "--report-end") {
        CHardwareReport::End();
        return 0;
    }
    QCoreApplication app(argc, argv);
    // Under ctest the set-up and clean-up tests write the header and the tally.
    const bool bWhole = first != "--kx-report-part";
    if (bWhole && !Env("KX_HARDWARE_PORT").empty())
        CHardwareReport::Begin(EnginePort());
    if (!Env("KX_HARDWARE_PORT").empty())
        ::testing::UnitTest::GetInstance()->listeners().Append(new CHardwareReport);
    const int result = RUN_ALL_TESTS();
    if (bWhole && !Env("KX_HARDWARE_PORT").empty())
        CHardwareReport::End();
    return result;
}
