// The line of the simulated cable: bytes from the far end wait in a schedule until they are due
// and reach the receive queue whole or, when paced, a few bytes at a time at 960 bytes/s.
#include "SimCable.h"

#include <algorithm>

void CSimCable::Schedule(const std::string& bytes, int delayMs)
{
    if (bytes.empty())
        return;
    Clock::time_point due = Clock::now() + std::chrono::milliseconds(std::max(delayMs, 0));
    if (!m_line.empty())
        due = std::max(due, m_line.back().due);
    m_line.push_back({due, bytes});
    m_lineCv.notify_all();
}

// Called with the lock held; releases it while the thread ends.
void CSimCable::StopLine(std::unique_lock<std::mutex>& lock)
{
    if (!m_lineThread.joinable())
        return;
    m_bStopLine = true;
    m_lineCv.notify_all();
    std::thread thread = std::move(m_lineThread);
    lock.unlock();
    thread.join();
    lock.lock();
}

void CSimCable::LineMain()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bStopLine) {
        if (m_line.empty()) {
            m_lineCv.wait(lock);
            continue;
        }
        Clock::time_point next = m_line.front().due;
        if (m_config.bPaced)
            next = std::max(next, m_lineFreeAt);
        if (Clock::now() < next) {
            m_lineCv.wait_until(lock, next);
            continue;
        }
        DeliverDue();
    }
}

void CSimCable::DeliverDue()
{
    Scheduled& front = m_line.front();
    if (!m_config.bPaced) {
        const std::string bytes = std::move(front.bytes);
        m_line.pop_front();
        Receive(bytes);
        return;
    }
    const std::size_t count = std::min(PACED_CHUNK_BYTES, front.bytes.size());
    const std::string chunk = front.bytes.substr(0, count);
    front.bytes.erase(0, count);
    if (front.bytes.empty())
        m_line.pop_front();
    const auto busyUs = static_cast<long long>(count) * 1000000LL / PACED_BYTES_PER_S;
    m_lineFreeAt = Clock::now() + std::chrono::microseconds(busyUs);
    Receive(chunk);
}
