// kx-update-bench: the whole update through the real main dialog (offscreen, or on an X server)
// against kx410-sim on a pseudo-terminal and against the simulated D2XX library with its chip,
// and a Get from Web from kx410-websim. Reports turnaround per line and the window thread's
// time per line, paced updates against their wire time, memory and support-log bytes per logged
// line, the longest stretch the window's thread stayed busy, and the memory of many updates in
// one window, also on a real display with the accessibility bridge on. A measurement, never a
// test verdict.
#include "BenchSession.h"
#include "WindowPage.h"
#include "device/EngineState.h"

#include <QAccessible>
#include <QApplication>
#include <QGuiApplication>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>

namespace {
using namespace std::chrono_literals;

constexpr double LINE_BYTES_PER_SECOND = 960.0; // 9600 baud, 10 bits a byte
constexpr int BEAT_INTERVAL_MS = 1;             // how often the window's thread is checked
constexpr int WEB_LIMIT_MS = 120000;

struct Options {
    std::string strOnly = "abcdefg";
    int nSessionUpdates = 20;
    int nSessionLines = 3000;
    bool bSessionPaced = false;
    // (h): the session as a screen reader's user has it, paced, on a real display.
    int nBusSessionUpdates = 30;
    int nBusSessionLines = 600;
    bool bScreenReader = false; // (h) with Orca on the bus instead of a bare listener
    std::string strPlatform;      // QT_QPA_PLATFORM for this run; offscreen unless set
    int nMemoryLines = 100000;
    int nMemorySmallLines = 2000;
    int nUsbPacedLines = 500;
    int nWebLines = 100000;
    int nPacedLines = 2000;
    std::vector<int> unpacedLines{2000, 20000};
};

constexpr const char* XVFB_SCREEN = "-screen 0 1024x768x24";

double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

std::vector<double> Slice(const std::vector<double>& values, double from, double to)
{
    const auto size = static_cast<double>(values.size());
    return {values.begin() + static_cast<long>(from * size), values.begin() + static_cast<long>(to * size)};
}

// A field of /proc/self/status in bytes ("VmHWM", "VmRSS").
long long StatusBytes(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atoll(line.c_str() + prefix.size()) * 1024;
    return 0;
}

void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from the present
}

bool RunUnpaced(int lines)
{
    CBenchSession session;
    if (!session.Start(false) || !session.LoadImage(lines))
        return false;
    const double cpuBefore = ThreadCpuMs();
    const auto took = session.SendAndWait(std::chrono::hours(2));
    const double cpuPerLine = (ThreadCpuMs() - cpuBefore) / lines;
    std::vector<double> samples = session.StopUnitAndReadTurnarounds();
    if (took.count() < 0 || samples.size() < 2)
        return false;
    samples.pop_back(); // the last "." is followed by the finishing pause, not by a line
    const double first = Percentile(Slice(samples, 0.0, 0.1), 0.5);
    const double last = Percentile(Slice(samples, 0.9, 1.0), 0.5);
    std::printf("(a) unpaced %6d lines, %s: turnaround median %.3f ms, p99 %.3f ms, max %.3f ms; "
                "last/first 10%% median %.3f/%.3f ms = %.2f; window thread CPU %.3f ms per line; "
                "whole update %.1f s\n",
                lines, QGuiApplication::platformName().toUtf8().constData(),
                Percentile(samples, 0.5) / 1000, Percentile(samples, 0.99) / 1000,
                Percentile(samples, 1.0) / 1000, last / 1000, first / 1000, last / first,
                cpuPerLine, std::chrono::duration<double>(took).count());
    // Growth shows as a climb from tenth to tenth; a machine that gets busier or quieter
    // meanwhile shows as a step.
    std::printf("    median per tenth of the lines, us:");
    for (int tenth = 0; tenth < 10; ++tenth)
        std::printf(" %.0f", Percentile(Slice(samples, tenth / 10.0, (tenth + 1) / 10.0), 0.5));
    std::printf("\n");
    return true;
}

bool RunPaced(int lines)
{
    CBenchSession session;
    if (!session.Start(true) || !session.LoadImage(lines))
        return false;
    const auto took = session.SendAndWait(std::chrono::hours(1));
    std::vector<double> samples = session.StopUnitAndReadTurnarounds();
    if (took.count() < 0)
        return false;
    const double wire = static_cast<double>(session.ExchangedBytes()) / LINE_BYTES_PER_SECOND;
    const double seconds = std::chrono::duration<double>(took).count();
    if (samples.size() > 1)
        samples.pop_back(); // the last "." is followed by the finishing pause, not by a line
    double turnarounds = 0; // the downloader's own share of the time
    for (double sample : samples)
        turnarounds += sample / 1e6;
    std::printf("(b) paced 9600 baud %d lines: update %.2f s, wire time %.2f s (%lld bytes), "
                "%+.2f%%; turnaround median %.3f ms, %.2f s in all\n",
                lines, seconds, wire, session.ExchangedBytes(), (seconds / wire - 1) * 100,
                Percentile(samples, 0.5) / 1000, turnarounds);
    return true;
}

// The paced update over the USB link, through the simulated chip: its latency timer as the
// downloader sets it, or pinned at the chip's 16 ms default.
bool RunPacedUsb(int lines, bool bPinned)
{
    CBenchSession session;
    if (!session.StartUsb(bPinned) || !session.LoadImage(lines))
        return false;
    const auto took = session.SendAndWait(std::chrono::hours(1));
    if (took.count() < 0)
        return false;
    const double wire = static_cast<double>(session.ExchangedBytes()) / LINE_BYTES_PER_SECOND;
    const double seconds = std::chrono::duration<double>(took).count();
    std::printf("(f) paced USB, chip modelled, latency timer %s, %d lines: update %.2f s, wire "
                "time %.2f s (%lld bytes), %+.2f%%\n",
                bPinned ? "pinned at 16 ms" : "set by the link", lines, seconds, wire,
                session.ExchangedBytes(), (seconds / wire - 1) * 100);
    return true;
}

// The turnaround measured again in a child of this benchmark on an X server of its own.
bool RunOnXvfb(const char* program, const Options& options)
{
    QStringList arguments{QStringLiteral("-a"), QStringLiteral("-s"), QLatin1String(XVFB_SCREEN),
                          QString::fromLocal8Bit(program), QStringLiteral("--platform"),
                          QStringLiteral("xcb"), QStringLiteral("--only"), QStringLiteral("a")};
    for (int lines : options.unpacedLines)
        arguments << QStringLiteral("--unpaced-lines") << QString::number(lines);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QStringLiteral("xvfb-run"), arguments);
    std::printf("(e) the same turnaround against Xvfb (xvfb-run %s):\n", XVFB_SCREEN);
    std::fflush(stdout);
    return child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit &&
           child.exitCode() == 0;
}

bool RunMemory(int lines)
{
    CBenchSession session;
    if (!session.Start(false))
        return false;
    ResetPeak();
    const long long idle = StatusBytes("VmHWM");
    if (!session.LoadImage(lines))
        return false;
    const long long loaded = StatusBytes("VmHWM");
    const auto took = session.SendAndWait(std::chrono::hours(4));
    if (took.count() < 0)
        return false;
    const long long after = StatusBytes("VmHWM");
    const std::uint64_t writes = session.SupportLog().FileWriteCount();
    const long long onDisk = session.SupportLogFileBytes();
    std::printf("(c) memory, %d-line update: peak idle %.1f MiB, with the image %.1f MiB, after "
                "%.1f MiB; %.0f bytes per logged line above the loaded image (%.0f above idle); "
                "support log %.1f bytes on disk per line, %llu writes in all\n",
                lines, static_cast<double>(idle) / (1 << 20), static_cast<double>(loaded) / (1 << 20),
                static_cast<double>(after) / (1 << 20), static_cast<double>(after - loaded) / lines,
                static_cast<double>(after - idle) / lines, static_cast<double>(onDisk) / lines,
                static_cast<unsigned long long>(writes));
    return true;
}

// A service bench's day: many updates of the same unit in one window. The session's record in
// memory is bounded, so the process's resident memory stays flat from one update to the next.
bool RunManyUpdates(int updates, int lines, bool bPaced)
{
    CBenchSession session;
    if (!session.Start(bPaced))
        return false;
    const auto identified = [&] {
        return session.Dialog().Engine().State() == EngineState::Identified;
    };
    std::vector<long long> rss;
    std::vector<long long> heap; // bytes the allocator has handed out and not had back
    const auto sample = [&] {
        rss.push_back(StatusBytes("VmRSS"));
        heap.push_back(static_cast<long long>(mallinfo2().uordblks));
    };
    sample();
    for (int i = 0; i < updates; ++i) {
        if (!CBenchSession::SpinUntil(identified, 60000) || !session.LoadImage(lines) ||
            session.SendAndWait(std::chrono::minutes(10)).count() < 0) {
            std::fprintf(stderr, "kx-update-bench: update %d of %d did not finish\n", i + 1, updates);
            return false;
        }
        sample();
    }
    const auto mib = [](long long bytes) { return static_cast<double>(bytes) / (1 << 20); };
    const long long fifth = rss[std::min<std::size_t>(5, rss.size() - 1)];
    std::printf("(g) %d %s updates of %d lines in one session, %s, accessibility %s: RSS before "
                "%.1f MiB, after the first %.1f MiB, the fifth %.1f MiB, the last %.1f MiB (%+.2f "
                "MiB since the fifth); session in memory %.1f MiB\n  RSS after each:",
                updates, bPaced ? "paced" : "unpaced", lines,
                QGuiApplication::platformName().toUtf8().constData(),
                QAccessible::isActive() ? "on" : "off", mib(rss.front()), mib(rss[1]), mib(fifth),
                mib(rss.back()), mib(rss.back() - fifth),
                mib(static_cast<long long>(session.SupportLog().SessionText().size())));
    for (std::size_t i = 1; i < rss.size(); ++i)
        std::printf(" %.1f", mib(rss[i]));
    std::printf("\n  heap in use after each:");
    for (std::size_t i = 1; i < heap.size(); ++i)
        std::printf(" %.2f", mib(heap[i]));
    std::printf("\n");
    return true;
}

// Another thread posts a beat to the window's thread every millisecond, stamped with the time
// it was posted; the window's thread notes how late each one is when it gets to it. A beat
// posted as the thread turns to some work waits until that work is done, so the latest beat
// is the longest stretch the thread spent on anything without turning to its events.
class CHeartbeat {
public:
    explicit CHeartbeat(QObject* pReceiver) : m_pReceiver(pReceiver)
    {
        m_thread = std::thread([this] {
            while (!m_bStop.load()) {
                const auto sent = std::chrono::steady_clock::now();
                QMetaObject::invokeMethod(
                    m_pReceiver,
                    [this, sent] {
                        const auto late = std::chrono::steady_clock::now() - sent;
                        m_longest = std::max(m_longest, late);
                        ++m_nBeats;
                    },
                    Qt::QueuedConnection);
                std::this_thread::sleep_for(std::chrono::milliseconds(BEAT_INTERVAL_MS));
            }
        });
    }
    ~CHeartbeat() { Stop(); }
    CHeartbeat(const CHeartbeat&) = delete;
    CHeartbeat& operator=(const CHeartbeat&) = delete;

    // Stops the beats and takes the ones still on their way.
    void Stop()
    {
        if (!m_thread.joinable())
            return;
        m_bStop.store(true);
        m_thread.join();
        QCoreApplication::sendPostedEvents(m_pReceiver);
    }
    double LongestMs() const { return std::chrono::duration<double, std::milli>(m_longest).count(); }
    long long Beats() const { return m_nBeats; }

private:
    QObject* m_pReceiver;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::chrono::steady_clock::duration m_longest{}; // written on the window's thread only
    long long m_nBeats = 0;
};

// The session of (g) the way a screen reader's user has it: paced updates in a child of this
// benchmark on an X server of its own with Qt's bridge to a private accessibility bus on, and a
// listener on the bus that takes the events and asks their sources what a screen reader asks,
// so that the bridge sends every event and makes the objects a screen reader would see.
bool RunSessionOnAccessibilityBus(const char* program, const Options& options)
{
    // Orca itself when asked for (it says nothing without a speech server), else a listener
    // that asks what a screen reader asks of each event's source.
    const QString listener = options.bScreenReader
                                 ? QStringLiteral("orca -u \"$(mktemp -d)\" > /dev/null 2>&1")
                                 : QStringLiteral("/usr/bin/python3 " KX_ATSPI_LISTENER);
    const QString withListener =
        listener + QStringLiteral(" & listener=$!; sleep 3; \"$0\" \"$@\"; status=$?; "
                                  "kill $listener 2>/dev/null || echo 'kx-update-bench: the "
                                  "listener on the bus had ended before the session'; exit $status");
    const QStringList arguments{QStringLiteral("sh"), QStringLiteral("-c"), withListener,
                                QString::fromLocal8Bit(program), QStringLiteral("--platform"),
                                QStringLiteral("xcb"), QStringLiteral("--only"), QStringLiteral("g"),
                                QStringLiteral("--session-paced"), QStringLiteral("1"),
                                QStringLiteral("--session-updates"),
                                QString::number(options.nBusSessionUpdates),
                                QStringLiteral("--session-lines"),
                                QString::number(options.nBusSessionLines)};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QStringLiteral(KX_ON_ACCESSIBILITY_BUS), arguments);
    std::printf("(h) the session on Xvfb with the accessibility bridge on a private bus:\n");
    std::fflush(stdout);
    return child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit &&
           child.exitCode() == 0;
}

bool RunWeb(int lines)
{
    char pattern[] = "/tmp/kx-bench-web-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::string portFile = dir + "/port";
    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(QStringLiteral(KX410_WEBSIM_PATH),
                  {"--port", "0", "--port-file", QString::fromStdString(portFile), "--lines",
                   QString::number(lines)});
    int port = 0;
    CBenchSession::SpinUntil([&] { return (std::ifstream(portFile) >> port) && port > 0; }, 10000);
    CBenchSession session;
    bool bOk = port > 0 && session.Start(false);
    if (bOk) {
        CDownloaderDlg& dlg = session.Dialog();
        dlg.SetWebBaseUrl("http://127.0.0.1:" + std::to_string(port));
        QObject receiver;
        CHeartbeat beat(&receiver);
        bool bStarted = false;
        QTimer::singleShot(0, CWindowPage(dlg).GetFromWeb(), [&] {
            CWindowPage(dlg).GetFromWeb()->click();
            bStarted = !CWindowPage(dlg).GetFromWeb()->isEnabled(); // disabled while the request runs
        });
        // The request has ended when Get from Web is offered again; the image is in when the
        // list shows all its lines were read.
        bOk = CBenchSession::SpinUntil(
            [&] { return bStarted && CWindowPage(dlg).GetFromWeb()->isEnabled(); }, WEB_LIMIT_MS);
        const auto took = std::chrono::steady_clock::now();
        bOk = bOk && CWindowPage(dlg).Send()->isEnabled() &&
              static_cast<std::size_t>(dlg.Engine().LinesLeft()) >= static_cast<std::size_t>(lines);
        CBenchSession::SpinUntil([&] { return std::chrono::steady_clock::now() - took > 200ms; }, 1000);
        beat.Stop();
        std::printf("(d) Get from Web, %d lines: image %s; the window's thread was busy for at "
                    "most %.1f ms at a time (%lld beats)\n",
                    lines, bOk ? "accepted" : "NOT accepted", beat.LongestMs(), beat.Beats());
    }
    service.kill();
    service.waitForFinished();
    std::filesystem::remove_all(dir);
    return bOk;
}

bool ParseArguments(int argc, char** argv, Options* pOptions)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (name == "--only")
            pOptions->strOnly = argv[i + 1];
        else if (name == "--platform")
            pOptions->strPlatform = argv[i + 1];
        else if (name == "--usb-paced-lines" && value > 0)
            pOptions->nUsbPacedLines = value;
        else if (name == "--memory-lines" && value > 0)
            pOptions->nMemoryLines = value;
        else if (name == "--web-lines" && value > 0)
            pOptions->nWebLines = value;
        else if (name == "--unpaced-lines" && value > 0)
            pOptions->unpacedLines.push_back(value);
        else if (name == "--paced-lines" && value > 0)
            pOptions->nPacedLines = value;
        else if (name == "--session-updates" && value > 0)
            pOptions->nSessionUpdates = value;
        else if (name == "--session-lines" && value > 0)
            pOptions->nSessionLines = value;
        else if (name == "--session-paced")
            pOptions->bSessionPaced = value != 0;
        else if (name == "--bus-session-updates" && value > 0)
            pOptions->nBusSessionUpdates = value;
        else if (name == "--bus-session-lines" && value > 0)
            pOptions->nBusSessionLines = value;
        else if (name == "--bus-screen-reader")
            pOptions->bScreenReader = value != 0;
        else
            return false;
    }
    return argc % 2 == 1;
}
} // namespace

int main(int argc, char** argv)
{
    Options options;
    const std::vector<int> defaultUnpaced = options.unpacedLines;
    options.unpacedLines.clear();
    if (!ParseArguments(argc, argv, &options)) {
        std::fputs("usage: kx-update-bench [--only abcdefgh] [--unpaced-lines N]... [--paced-lines N]\n"
                   "                       [--usb-paced-lines N] [--memory-lines N] [--web-lines N]\n"
                   "                       [--session-updates N] [--session-lines N] [--session-paced 0|1]\n"
                   "                       [--bus-session-updates N] [--bus-session-lines N]\n"
                   "                       [--bus-screen-reader 0|1]\n"
                   "                       [--platform offscreen|xcb]\n",
                   stderr);
        return 2;
    }
    if (options.unpacedLines.empty())
        options.unpacedLines = defaultUnpaced;
    if (!options.strPlatform.empty())
        setenv("QT_QPA_PLATFORM", options.strPlatform.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    bool bOk = true;
    const auto wanted = [&](char part) { return options.strOnly.find(part) != std::string::npos; };
    // Memory first, while the process's peak is still its own: the peak of an earlier part
    // would hide a small update's growth.
    if (wanted('c')) {
        bOk = RunMemory(options.nMemorySmallLines) && bOk;
        bOk = RunMemory(options.nMemoryLines) && bOk;
    }
    if (wanted('a'))
        for (int lines : options.unpacedLines)
            bOk = RunUnpaced(lines) && bOk;
    if (wanted('e'))
        bOk = RunOnXvfb(argv[0], options) && bOk;
    if (wanted('b'))
        bOk = RunPaced(options.nPacedLines) && bOk;
    if (wanted('f')) {
        bOk = RunPacedUsb(options.nUsbPacedLines, false) && bOk;
        bOk = RunPacedUsb(options.nUsbPacedLines, true) && bOk;
    }
    if (wanted('d'))
        bOk = RunWeb(options.nWebLines) && bOk;
    if (wanted('g'))
        bOk = RunManyUpdates(options.nSessionUpdates, options.nSessionLines,
                             options.bSessionPaced) && bOk;
    if (wanted('h'))
        bOk = RunSessionOnAccessibilityBus(argv[0], options) && bOk;
    std::fflush(stdout);
    return bOk ? 0 : 1;
}
