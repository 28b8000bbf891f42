// The real-cable suite: a Tetherix and a kx410 behind the port that KX_HARDWARE_PORT names
// ("USB", or a serial port such as ttyUSB0). Identifies the unit, times the keep-alives, runs
// the echo test (KX_HARDWARE_ECHO=1, the cable's pins linked) and an update (KX_HARDWARE_IMAGE),
// and writes a short report (KX_HARDWARE_REPORT, default kx-hardware-report.txt here).
// Without KX_HARDWARE_PORT every test is skipped with one line that says how to run it.
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
#include <sstream>

namespace {
constexpr int IDENTIFY_TIMEOUT_MS = 20000;
constexpr int KEEPALIVE_WATCH_MS = 3000;
constexpr int UPDATE_TIMEOUT_MS = 600000;
const char* const HOW_TO_RUN =
    "No real cable: set KX_HARDWARE_PORT=USB or KX_HARDWARE_PORT=ttyUSB0 (a Tetherix with a "
    "kx410 behind it) and run ctest -L hardware; see README, \"Testing with a real cable\".";

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string& ReportText()
{
    static std::string text;
    return text;
}

void Note(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    ReportText() += line + "\n";
}

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

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string Ms(double value)
{
    std::ostringstream text;
    text.precision(1);
    text << std::fixed << value << " ms";
    return text.str();
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
    SpinUntil([&] {
        if (listener.m_bReady) {
            listener.m_bReady = false;
            runner.Go();
        }
        return runner.IsDone() && !runner.IsReportPending();
    }, UPDATE_TIMEOUT_MS);
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

// Writes the report once every test has run.
class CReportFile : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (ReportText().empty())
            return;
        const std::string path = Env("KX_HARDWARE_REPORT").empty() ? "kx-hardware-report.txt"
                                                                   : Env("KX_HARDWARE_REPORT");
        std::ofstream(path) << "Kestova real-cable suite on " << Env("KX_HARDWARE_PORT") << "\n"
                            << ReportText();
        std::printf("Report written to %s\n", path.c_str());
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
        << "no kx410 answered on " << EnginePort();
    const DeviceIdentity& unit = events.m_identity;
    Note("Unit: " + unit.m_strModel + " serial " + unit.m_strSerialNumber + ", loader " +
         unit.m_strLoaderVersion + ", application " + unit.m_strAppVersion);
    // Only the keep-alives: what came before belongs to waking and identifying the unit. The
    // link's notes of how it was set up are kept.
    const std::vector<std::string> notes = timing.notes;
    timing = LinkTiming();
    SpinUntil([] { return false; }, KEEPALIVE_WATCH_MS);
    engine.Shutdown();
    ASSERT_FALSE(timing.roundTripMs.empty()) << "no keep-alive was answered in " << KEEPALIVE_WATCH_MS << " ms";
    Note("Keep-alives: " + std::to_string(timing.roundTripMs.size()) + " answered; the program's byte to the "
         "unit's reply median " + Ms(Median(timing.roundTripMs)) + " (max " +
         Ms(*std::max_element(timing.roundTripMs.begin(), timing.roundTripMs.end())) +
         "); the unit's reply to the program's next byte median " + Ms(Median(timing.turnaroundMs)));
    // Whether the chip's latency timer holds replies back: what the link set, and for a serial
    // port what ftdi_sio shows in sysfs now (1 ms: in effect as the program wants it).
    std::string latency;
    for (const std::string& note : notes)
        latency += (latency.empty() ? "" : "; ") + note;
    const std::string tty = EnginePort().substr(EnginePort().rfind('/') + 1);
    const std::string timer = ReadFirstLine("/sys/bus/usb-serial/devices/" + tty + "/latency_timer");
    if (!timer.empty())
        latency += (latency.empty() ? "" : "; ") + ("sysfs latency_timer now " + timer + " ms");
    Note("Latency timer: " + (latency.empty() ? std::string("the link said nothing of it") : latency) + ".");
}

TEST_F(Hardware, EchoTestWithTheCablesPinsLinked)
{
    if (Env("KX_HARDWARE_ECHO") != "1")
        GTEST_SKIP() << "Set KX_HARDWARE_ECHO=1 when the cable's pins are linked for the echo test.";
    Note("Echo test:");
    const UnitReport report = RunUnit(UnitSettings::EMode::EchoTest, {});
    Note("  result: " + report.strText);
    EXPECT_EQ(report.result, FlashResult::EchoPassed) << report.strText;
}

TEST_F(Hardware, UpdatesTheUnitAndChecksTheVerifiedVersion)
{
    const std::string image = Env("KX_HARDWARE_IMAGE");
    if (image.empty())
        GTEST_SKIP() << "Set KX_HARDWARE_IMAGE=/path/to/image.fwr to update the unit.";
    Note("Update with " + image + ":");
    const UnitReport report = RunUnit(UnitSettings::EMode::Update, image);
    Note("  " + std::to_string(report.nLinesSent) + " of " + std::to_string(report.nTotalLines) +
         " lines in " + std::to_string(report.dSeconds) + " s; image version " + report.strImageVersion +
         ", the unit now runs " + report.after.m_strAppVersion + ": " + report.strText);
    EXPECT_EQ(report.result, FlashResult::Verified) << report.strText;
    EXPECT_EQ(report.after.m_strAppVersion, report.strImageVersion);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    ::testing::AddGlobalTestEnvironment(new CReportFile);
    return RUN_ALL_TESTS();
}
