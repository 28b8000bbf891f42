#include "PtyUnit.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <string>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int POLL_MS = 10;
constexpr std::size_t READ_BYTES = 512;

struct DueReply {
    std::string text;
    Clock::time_point due;
};
} // namespace

CPtyUnit::CPtyUnit(int unitSideFd) : m_fd(unitSideFd), m_thread(&CPtyUnit::Run, this) {}

void CPtyUnit::Stop()
{
    m_bStop.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

void CPtyUnit::Run()
{
    std::deque<DueReply> outbox;
    while (!m_bStop.load()) {
        pollfd pfd{m_fd, POLLIN, 0};
        // Until the port is opened the pseudo-terminal reports a hang-up: the wait goes on.
        if (poll(&pfd, 1, POLL_MS) > 0 && (pfd.revents & POLLIN)) {
            char buffer[READ_BYTES];
            const ssize_t got = read(m_fd, buffer, sizeof buffer);
            const Clock::time_point now = Clock::now();
            for (const auto& reply : got > 0 ? m_unit.Receive({buffer, std::size_t(got)})
                                             : std::vector<UnitSimulator::Reply>{}) {
                // Replies leave in the order the unit made them.
                Clock::time_point due = now + std::chrono::milliseconds(reply.delayMs);
                if (!outbox.empty() && outbox.back().due > due)
                    due = outbox.back().due;
                outbox.push_back({reply.text, due});
            }
        } else if (pfd.revents & POLLHUP) {
            usleep(POLL_MS * 1000);
        }
        while (!outbox.empty() && outbox.front().due <= Clock::now()) {
            if (write(m_fd, outbox.front().text.data(), outbox.front().text.size()) < 0) {
                // Nobody has the port open: the reply is lost, as on a real line.
            }
            outbox.pop_front();
        }
    }
}
