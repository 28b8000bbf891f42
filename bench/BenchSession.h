// One benchmark session: a kx410-sim process on a pseudo-terminal and the real main dialog
// (offscreen) connected to it, with the means to time an update and the window's thread.
#pragma once

#include "SimCableClient.h"
#include "app/DownloaderDlg.h"
#include "platform/SupportLog.h"

#include <QProcess>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class CBenchSession {
public:
    using Clock = std::chrono::steady_clock;

    CBenchSession();
    ~CBenchSession();
    CBenchSession(const CBenchSession&) = delete;
    CBenchSession& operator=(const CBenchSession&) = delete;

    // Starts the unit (paced like a 9600-baud line or not) and the dialog, and waits for the
    // identification; false with a reason on stderr.
    bool Start(bool bPaced);
    // The same over the USB link: the simulated D2XX library with the unit behind its chip,
    // paced; with `bLatencyPinned` the chip keeps its 16 ms latency timer whatever it is asked.
    bool StartUsb(bool bLatencyPinned);
    // Loads an image of `dataLines` lines as a download would; false when it is not accepted.
    bool LoadImage(int dataLines);
    // Presses Send and runs the event loop until the success line appears; returns the time
    // from the press to that line, or a negative duration on failure or after `limit`.
    Clock::duration SendAndWait(Clock::duration limit);
    // Stops the unit and returns the turnarounds it recorded, in microseconds.
    std::vector<double> StopUnitAndReadTurnarounds();
    // Bytes that crossed the line for the image loaded last: each line, its "aa" and a ".".
    long long ExchangedBytes() const { return m_exchangedBytes; }
    CDownloaderDlg& Dialog() { return *m_dlg; }
    CSupportLog& SupportLog() { return *m_supportLog; }
    // Bytes of the support log's files on disk (everything buffered written first).
    long long SupportLogFileBytes();

    static constexpr int CHECK_INTERVAL_MS = 10;

    // Runs the event loop until `done` holds or `limitMs` has passed.
    template <typename F>
    static bool SpinUntil(F done, int limitMs);

private:
    bool StartDialog(const std::string& port);

    QProcess m_unit;
    std::string m_dir;
    std::string m_timingPath;
    std::unique_ptr<CSupportLog> m_supportLog; // as the program keeps one, in the temporary folder
    std::unique_ptr<CDownloaderDlg> m_dlg;
    std::unique_ptr<CSimCableClient> m_pCable;
    long long m_exchangedBytes = 0;
};

#include <QCoreApplication>
#include <QTimer>

// The thread sleeps until an event comes, as the program's own event loop does: a loop that
// only polled would keep a processor busy and slow down the unit and the link it measures.
// A timer wakes it now and then to look at `done` and the time.
template <typename F>
bool CBenchSession::SpinUntil(F done, int limitMs)
{
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(limitMs);
    QTimer wake;
    wake.start(CHECK_INTERVAL_MS);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}
