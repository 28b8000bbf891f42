// kx-bench-window-bench: the service bench window updating paced simulated units at once (by
// default 8: 7 kx410-sim on pseudo-terminals and one behind the simulated D2XX cable) against
// the same update of one unit alone on each kind of link. Prints each unit's update time next
// to the time alone, and how soon the window answered a click posted every 100 ms throughout.
// A measurement, never a test verdict.
#include "SimCableClient.h"
#include "SimProcess.h"

#include "GeneratedImage.h"
#include "app/bench/BenchWindow.h"
#include "link/UsbCableLink.h"

#include <QApplication>
#include <QLabel>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr int DEFAULT_UNITS = 8;
constexpr int DEFAULT_LINES = 1500;
constexpr int CLICK_INTERVAL_MS = 100;
constexpr qint64 RUN_LIMIT_MS = 30 * 60 * 1000;

// Times every click posted to the widget, from its posting to its handling.
class CClickTimer : public QObject {
public:
    explicit CClickTimer(QWidget* target) : m_target(target)
    {
        target->installEventFilter(this);
        m_clock.start();
        connect(&m_timer, &QTimer::timeout, this, [this] { Post(); });
        m_timer.start(CLICK_INTERVAL_MS);
    }
    std::vector<double>& Latencies() { return m_latencies; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_target && event->type() == QEvent::MouseButtonRelease && m_postedAt >= 0) {
            m_latencies.push_back(static_cast<double>(m_clock.nsecsElapsed() - m_postedAt) / 1e6);
            m_postedAt = -1;
        }
        return false;
    }

private:
    void Post()
    {
        if (m_postedAt >= 0)
            return; // the last click is not handled yet: its latency grows
        const QPointF at(2, 2);
        m_postedAt = m_clock.nsecsElapsed();
        // Press and release on the widget's corner, as a user's click arrives.
        QApplication::postEvent(m_target, new QMouseEvent(QEvent::MouseButtonPress, at,
                                                          m_target->mapToGlobal(at), Qt::LeftButton,
                                                          Qt::LeftButton, Qt::NoModifier));
        QApplication::postEvent(m_target, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                          m_target->mapToGlobal(at), Qt::LeftButton,
                                                          Qt::NoButton, Qt::NoModifier));
    }

    QWidget* m_target;
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_postedAt = -1;
    std::vector<double> m_latencies;
};

struct RunTimes {
    std::vector<std::string> ports;
    std::vector<double>
        seconds; // each unit's update, from its first line to its verdict; <0: failed
    std::vector<double> clicksMs;
};

// Runs the bench over `ptys` paced pseudo-terminal units and (bUsb) the simulated cable.
RunTimes Run(int ptys, bool bUsb, const std::string& image, CSimCableClient* pCable)
{
    RunTimes times;
    std::vector<std::unique_ptr<CSimProcess>> sims;
    for (int i = 0; i < ptys; ++i) {
        sims.push_back(std::make_unique<CSimProcess>(
            std::vector<std::string>{"--baud-pace", "--serial", std::to_string(2000 + i)}));
        if (!sims.back()->IsStarted())
            return times;
    }
    if (bUsb) {
        pCable->Reset();
        pCable->SetMode("unit");
        pCable->SetPaced(true);
        pCable->SetSerialNumber(2999);
    }
    CBenchWindow bench;
    bench.SetAutoStart(true);
    bench.SetImageFile(image);
    for (const auto& sim : sims)
        bench.AddChannel(sim->SlavePath());
    if (bUsb)
        bench.AddChannel(CUpdateEngine::USB_PORT_NAME);
    bench.show();
    CClickTimer clicks(bench.findChild<QLabel*>(QStringLiteral("summary")));

    const int n = bench.ChannelCount();
    std::vector<qint64> startedAt(n, -1), endedAt(n, -1);
    QElapsedTimer clock;
    clock.start();
    int ended = 0;
    while (ended < n && clock.elapsed() < RUN_LIMIT_MS) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (int i = 0; i < n; ++i) {
            const CBenchRow& row = bench.RowAt(i);
            if (startedAt[i] < 0 && row.State() == CBenchRow::EState::Sending)
                startedAt[i] = clock.nsecsElapsed();
            if (endedAt[i] < 0 && row.HasResult()) {
                endedAt[i] = clock.nsecsElapsed();
                ++ended;
            }
        }
    }
    for (int i = 0; i < n; ++i) {
        const CBenchRow& row = bench.RowAt(i);
        times.ports.push_back(row.Port());
        const bool bVerified = row.State() == CBenchRow::EState::Verified && startedAt[i] >= 0;
        times.seconds.push_back(bVerified ? static_cast<double>(endedAt[i] - startedAt[i]) / 1e9
                                          : -1);
        if (!bVerified)
            std::fprintf(stderr, "kx-bench-window-bench: %s\n", row.Sentence().c_str());
    }
    times.clicksMs = clicks.Latencies();
    return times;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}
} // namespace

int main(int argc, char** argv)
{
    int units = DEFAULT_UNITS;
    int lines = DEFAULT_LINES;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--units") == 0)
            units = std::max(2, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--lines") == 0)
            lines = std::max(1, std::atoi(argv[i + 1]));
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    char dir[] = "/tmp/kx-bench-window-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string image = std::string(dir) + "/bench.fwr";
    std::ofstream(image, std::ios::binary) << GenerateImageText(lines);
    // The hold keeps the simulated cable's settings while the engine loads and unloads it.
    CSimCableClient cable(KX_SIM_FTD2XX);
    if (!cable.IsLoaded())
        return 1;
    CUsbCableLink::SetDriverLibraryName(KX_SIM_FTD2XX);

    const RunTimes ptyAlone = Run(1, false, image, &cable);
    const RunTimes usbAlone = Run(0, true, image, &cable);
    const RunTimes many = Run(units - 1, true, image, &cable);
    std::remove(image.c_str());
    rmdir(dir);
    if (ptyAlone.seconds.empty() || usbAlone.seconds.empty() || ptyAlone.seconds[0] <= 0 ||
        usbAlone.seconds[0] <= 0)
        return 1;
    std::printf("bench window, %d-line image paced at 9600 baud; alone: pseudo-terminal %.2f s, "
                "USB %.2f s\n",
                lines, ptyAlone.seconds[0], usbAlone.seconds[0]);
    double worst = 0;
    for (std::size_t i = 0; i < many.seconds.size(); ++i) {
        const bool bUsb = many.ports[i] == CUpdateEngine::USB_PORT_NAME;
        const double alone = bUsb ? usbAlone.seconds[0] : ptyAlone.seconds[0];
        const double ratio = many.seconds[i] > 0 ? many.seconds[i] / alone : 0;
        worst = std::max(worst, many.seconds[i] > 0 ? ratio : 99.0);
        std::printf("  %-10s %8.2f s  %+.1f %% against alone\n", many.ports[i].c_str(),
                    many.seconds[i], (ratio - 1) * 100);
    }
    std::printf("%d units at once: worst %+.1f %% against alone (aim: within 5 %%)\n", units,
                (worst - 1) * 100);
    std::printf(
        "click answered: %zu clicks, median %.1f ms, 99th percentile %.1f ms, worst %.1f ms (aim: "
        "within 100 ms)\n",
        many.clicksMs.size(), Percentile(many.clicksMs, 0.5), Percentile(many.clicksMs, 0.99),
        Percentile(many.clicksMs, 1.0));
    return worst > 0 && worst < 99 ? 0 : 1;
}
