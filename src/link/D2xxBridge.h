// The one thread of an open USB cable: it waits on the event that the D2XX library signals and
// wakes the engine's thread through an eventfd, whose notifier calls back there. It never calls
// the engine itself.
#pragma once

#include "link/D2xx.h"
#include "link/LinkError.h"

#include <functional>
#include <memory>
#include <thread>

class QSocketNotifier;

class CD2xxBridge {
public:
    // Longest single wait on the event: a condition variable forgets a signal that nobody
    // waited for, so the engine is woken after every wait and its status query decides.
    static constexpr int WAIT_BOUND_MS = 100;

    CD2xxBridge();
    // Stops the thread and waits for it (it ends within one bounded wait).
    ~CD2xxBridge();
    CD2xxBridge(const CD2xxBridge&) = delete;
    CD2xxBridge& operator=(const CD2xxBridge&) = delete;

    // The event to hand to FT_SetEventNotification; valid for the life of this object.
    EVENT_HANDLE* Event() { return &m_event; }

    // Starts the thread; `onWake` is then called on the calling thread (through its event
    // loop) whenever the event may have been signalled.
    LinkError Start(std::function<void()> onWake);
    // Tells the thread to end, wakes it and joins it; `onWake` is not called afterwards.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

private:
    void ThreadMain();
    void OnEventFdReadable();
    void Drain();

    EVENT_HANDLE m_event;
    bool m_bStop = false; // guarded by m_event.eMutex
    int m_wakeFd = -1;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    std::function<void()> m_onWake;
    std::thread m_thread;
};
