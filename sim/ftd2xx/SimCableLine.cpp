// The line of the simulated cable: bytes from the far end wait in a schedule until they are due
// and reach the chip whole or, when paced, a few bytes at a time at 960 bytes/s. The chip hands
// them to the host's receive queue when a packet is full or its latency timer runs out.
#include "SimCable.h"

#include <algorithm>

void CSimCable::Schedule(const std::string& bytes, Clock::duration delay)
{
    if (bytes.empty())
        return;
    Clock::time_point due = Clock::now() + std::max(delay, Clock::duration::zero());
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
        DeliverChipDue();
        const bool bLineWaits = !m_line.empty();
        if (!bLineWaits && m_chip.empty()) {
            m_lineCv.wait(lock);
            continue;
        }
        Clock::time_point next = Clock::time_point::max();
        if (bLineWaits) {
            next = m_line.front().due;
            if (m_config.bPaced)
                next = std::max(next, m_lineFreeAt);
        }
        if (!m_chip.empty())
            next = std::min(next, m_chipDue);
        if (Clock::now() < next) {
            m_lineCv.wait_until(lock, next);
            continue;
        }
        if (bLineWaits && Clock::now() >= m_line.front().due &&
            (!m_config.bPaced || Clock::now() >= m_lineFreeAt))
            DeliverDue();
    }
}

// The timer runs from its last restart in whole periods: the bytes waiting go to the host at
// the first period's end after they came. Without them the chip would still send its status
// at each period's end, which restarts the timer all the same.
CSimCable::Clock::time_point CSimCable::ChipTimerDue() const
{
    const auto period = std::chrono::milliseconds(m_nLatencyMs);
    const auto elapsed = Clock::now() - m_chipTimerStart;
    const auto periods = std::max<long long>(1, (elapsed + period - Clock::duration(1)) / period);
    return m_chipTimerStart + period * periods;
}

void CSimCable::DeliverChipDue()
{
    if (m_chip.empty() || Clock::now() < m_chipDue)
        return;
    TransferFromChip(m_chip.size());
}

void CSimCable::IntoChip(const std::string& bytes)
{
    if (m_chip.empty())
        m_chipDue = ChipTimerDue();
    m_chip += bytes;
    while (m_chip.size() >= CHIP_PACKET_BYTES)
        TransferFromChip(CHIP_PACKET_BYTES);
}

// One transfer to the host: it restarts the latency timer.
void CSimCable::TransferFromChip(std::size_t count)
{
    const std::string packet = m_chip.substr(0, count);
    m_chip.erase(0, count);
    m_chipTimerStart = Clock::now();
    if (!m_chip.empty())
        m_chipDue = ChipTimerDue();
    ++m_counters.nTransfers;
    Receive(packet);
}

void CSimCable::DeliverDue()
{
    Scheduled& front = m_line.front();
    if (!m_config.bPaced) {
        const std::string bytes = std::move(front.bytes);
        m_line.pop_front();
        IntoChip(bytes);
        return;
    }
    const std::size_t count = std::min(PACED_CHUNK_BYTES, front.bytes.size());
    const std::string chunk = front.bytes.substr(0, count);
    front.bytes.erase(0, count);
    if (front.bytes.empty())
        m_line.pop_front();
    const auto busyUs = static_cast<long long>(count) * 1000000LL / PACED_BYTES_PER_S;
    m_lineFreeAt = Clock::now() + std::chrono::microseconds(busyUs);
    IntoChip(chunk);
}
