// A serial port with a watcher thread: the thread waits for line events on the open port
// and hands each completed wait to OnLineEvent. A class that implements OnLineEvent closes
// the port in its own destructor, so the thread never calls into a half-destroyed object.
#pragma once

#include "link/SerialLine.h"
#include "platform/SyncEvent.h"

#include <atomic>
#include <memory>
#include <thread>

class CSerialWatcher : public CSerialLine {
public:
    CSerialWatcher();
    ~CSerialWatcher() override;

    // Always opens for overlapped use; starts the watcher when `bStartWatcher` is set.
    DWORD OpenPort(const char* device, DWORD inQueue = 0, DWORD outQueue = 0,
                   bool bStartWatcher = false) override;
    // Stops the watcher, then closes the port.
    DWORD ClosePort() override;

    // Starts the watcher unless one runs; 0 also when one already runs.
    virtual DWORD StartWatcher();
    // Stops the watcher and waits up to `timeoutMs` for it; always 0. A watcher that has not
    // ended within the time is kept, still asked to stop, and collected by the next
    // StopWatcher or ClosePort.
    virtual DWORD StopWatcher(DWORD timeoutMs = INFINITE);

    // A watcher thread exists (also one that ended by itself and is not yet collected).
    bool HasWatcher() const;
    // A watcher thread exists and is still running.
    bool IsWatcherRunning() const;
    // How the last watcher ended: 0 when stopped, else the code of the failed wait.
    DWORD WatcherExitCode() const;

protected:
    // Called on the watcher thread for each completed wait with events in the watch mask.
    virtual void OnLineEvent(DWORD events, DWORD lineErrors) = 0;

private:
    void WatcherMain();
    bool WatchOnce(DWORD* pExitCode);

    std::atomic<bool> m_bStopRequested{false};
    std::unique_ptr<std::thread> m_pWatcherThread;
    std::unique_ptr<CSyncEvent> m_pWakeEvent;
    CSyncEvent m_watcherEnded{CSyncEvent::Reset::Manual};
    std::atomic<DWORD> m_watcherExitCode{0};
};
