// One reader thread of the USB cable with its own receive event: waits for the driver's signal
// (bounded, as a condition variable forgets unseen signals) and notifies the owner's window.
#pragma once

#include "link/D2xx.h"
#include "platform/WindowMessage.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class CUsbReader {
public:
    // Longest single wait for the receive signal; the window is notified after every wait, so
    // that its status query decides whether anything arrived.
    static constexpr int READER_WAIT_MS = 100;

    static constexpr std::uint8_t STATE_NONE = 0;
    static constexpr std::uint8_t STATE_RUNNING = 1;
    static constexpr std::uint8_t STATE_STOP = 2;

    CUsbReader(QObject* pWindow, QEvent::Type messageType);
    // Stops the thread if it still runs and waits for it; never hangs, since the wait is bounded
    // and a notification in flight is cancelled.
    ~CUsbReader();
    CUsbReader(const CUsbReader&) = delete;
    CUsbReader& operator=(const CUsbReader&) = delete;

    // The event to hand to FT_SetEventNotification; valid for the life of this object.
    EVENT_HANDLE* RxEvent() { return &m_rxEvent; }

    // Sets the state to running and starts the thread.
    void Start();
    // Asks the thread to end (state 2) and cancels a notification it is waiting in; does not
    // wake a wait on the receive event (see Wake).
    void RequestStop();
    // Signals the receive event, as the driver does on reception.
    void Wake();
    // 0 no thread (or it has ended), 1 running, 2 stop requested.
    std::uint8_t State() const { return m_nState.load(); }

private:
    void ReaderMain();
    bool WaitForReception();
    bool NotifyWindow();
    void SetState(std::uint8_t nState);

    QObject* const m_pWindow;
    const QEvent::Type m_messageType;
    EVENT_HANDLE m_rxEvent;
    std::atomic<std::uint8_t> m_nState{STATE_NONE};
    // The notification in flight; guarded by m_rxEvent.eMutex.
    std::shared_ptr<CSendCompletion> m_pPendingSend;
    std::thread m_thread;
};
