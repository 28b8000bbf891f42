// Kernel-style events for the worker threads: a manual-reset event stays signalled until it
// is reset; an auto-reset event releases one waiter and then clears itself. A signal sent
// while nobody waits is kept until the next wait.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class CSyncEvent {
public:
    enum class Reset { Manual, Auto };

    explicit CSyncEvent(Reset mode, bool bInitiallySet = false)
        : m_mode(mode), m_bSet(bInitiallySet) {}

    void Set()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bSet = true;
        }
        m_cv.notify_all();
    }

    void ResetEvent()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bSet = false;
    }

    bool IsSet() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bSet;
    }

    // Waits until the event is set or the time-out passes; true when it was set.
    bool Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds::max())
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        bool bSet;
        if (timeout == std::chrono::milliseconds::max()) {
            m_cv.wait(lock, [this] { return m_bSet; });
            bSet = true;
        } else {
            bSet = m_cv.wait_for(lock, timeout, [this] { return m_bSet; });
        }
        if (bSet && m_mode == Reset::Auto)
            m_bSet = false;
        return bSet;
    }

private:
    const Reset m_mode;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bSet;
};
