#include "PtyUnitRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
constexpr std::size_t READ_CHUNK_BYTES = 4096;
constexpr std::size_t PATH_BYTES = 128;
// While nobody has the slave open the master reports a hang-up at once: look again after.
constexpr long NO_SLAVE_RETRY_MS = 20;
constexpr long long NANOS_PER_SECOND = 1000000000LL;
constexpr long NANOS_PER_MS = 1000000L;

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool MakeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}
} // namespace

CPtyUnitRunner::CPtyUnitRunner(UnitSimulator& unit, PtyRunnerOptions options)
    : m_unit(unit), m_options(options)
{
}

CPtyUnitRunner::~CPtyUnitRunner()
{
    if (m_masterFd >= 0)
        close(m_masterFd);
}

bool CPtyUnitRunner::Open(std::string* pSlavePath, std::string* pError)
{
    m_masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_masterFd < 0 || grantpt(m_masterFd) != 0 || unlockpt(m_masterFd) != 0) {
        *pError = ErrnoText("posix_openpt");
        return false;
    }
    char path[PATH_BYTES] = {};
    if (ptsname_r(m_masterFd, path, sizeof path) != 0) {
        *pError = ErrnoText("ptsname");
        return false;
    }
    const int slaveFd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd < 0 || !MakeRaw(slaveFd)) {
        *pError = ErrnoText("raw mode");
        if (slaveFd >= 0)
            close(slaveFd);
        return false;
    }
    // The slave is not kept open here: a program that checks whether anyone else has the port
    // open before it opens it must find it free, as it would a real cable's port.
    close(slaveFd);
    fcntl(m_masterFd, F_SETFL, fcntl(m_masterFd, F_GETFL) | O_NONBLOCK);
    *pSlavePath = path;
    return true;
}

void CPtyUnitRunner::Run(const volatile std::sig_atomic_t* pStop, const sigset_t& waitMask)
{
    // Paced, every byte is timed: the waits end when asked, not up to 50 us later.
    if (m_options.bBaudPace)
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!*pStop) {
        timespec wait{};
        const bool bLimited = NextWait(Clock::now(), &wait);
        pollfd pfd{m_masterFd, static_cast<short>(POLLIN | (m_bOutputBlocked ? POLLOUT : 0)), 0};
        const int ready = ppoll(&pfd, 1, bLimited ? &wait : nullptr, &waitMask);
        if (ready < 0 && errno != EINTR)
            return;
        if (ready < 0)
            continue;
        const bool bHungUp = (pfd.revents & POLLHUP) != 0;
        if (bHungUp && !(pfd.revents & POLLIN)) {
            if (m_options.bExitOnClose && m_bSlaveSeen)
                return;
            timespec retry{0, NO_SLAVE_RETRY_MS * NANOS_PER_MS};
            ppoll(nullptr, 0, &retry, &waitMask);
            continue;
        }
        m_bSlaveSeen = m_bSlaveSeen || !bHungUp;
        if (pfd.revents & POLLOUT)
            m_bOutputBlocked = false;
        const Clock::time_point now = Clock::now();
        if ((pfd.revents & POLLIN) && !ReadFromSlave(now))
            return;
        DeliverDueInput(now);
        WriteDueOutput(now);
    }
}

CPtyUnitRunner::Clock::duration CPtyUnitRunner::LineTime(std::size_t bytes) const
{
    const auto seconds = std::chrono::duration<double>(bytes / LINE_BYTES_PER_SECOND);
    return std::chrono::duration_cast<Clock::duration>(seconds);
}

// Takes what the downloader has written. Paced, the unit sees it only when a 9600-baud
// line would have carried it.
bool CPtyUnitRunner::ReadFromSlave(Clock::time_point now)
{
    char buffer[READ_CHUNK_BYTES];
    const ssize_t got = read(m_masterFd, buffer, sizeof buffer);
    if (got < 0)
        return errno == EAGAIN || errno == EINTR || errno == EIO;
    if (m_bAckOutstanding && got > 0) {
        m_turnarounds.push_back(now - m_ackWrittenAt);
        m_bAckOutstanding = false;
    }
    Clock::time_point due = now;
    if (m_options.bBaudPace) {
        m_inputFree = std::max(now, m_inputFree) + LineTime(static_cast<std::size_t>(got));
        due = m_inputFree;
    }
    m_inbox.push_back({std::string(buffer, static_cast<std::size_t>(got)), due});
    return true;
}

void CPtyUnitRunner::DeliverDueInput(Clock::time_point now)
{
    while (!m_inbox.empty() && m_inbox.front().due <= now) {
        // The unit answers from the moment the text reached it, however late this process
        // woke up to see that.
        const Clock::time_point reached = m_inbox.front().due;
        const std::vector<UnitSimulator::Reply> replies = m_unit.Receive(m_inbox.front().text);
        m_inbox.pop_front();
        for (const UnitSimulator::Reply& reply : replies) {
            Clock::time_point due = reached + std::chrono::milliseconds(reply.delayMs);
            if (!m_outbox.empty())
                due = std::max(due, m_outbox.back().due);
            m_outbox.push_back({reply.text, due});
        }
    }
}

// When the first waiting byte reaches the downloader. Paced, a byte starts once the line is
// free and arrives a byte time later, as the last of its bits leaves the unit.
CPtyUnitRunner::Clock::time_point CPtyUnitRunner::NextOutputArrival() const
{
    const Clock::time_point due = m_outbox.front().due;
    if (!m_options.bBaudPace)
        return due;
    return std::max(due, m_outputFree) + LineTime(1);
}

// Writes the replies whose time has come, in order; paced, one byte per byte time.
void CPtyUnitRunner::WriteDueOutput(Clock::time_point now)
{
    while (!m_bOutputBlocked && !m_outbox.empty() && NextOutputArrival() <= now) {
        const Clock::time_point arrival = NextOutputArrival();
        std::string& text = m_outbox.front().text;
        const std::size_t count = m_options.bBaudPace ? std::min<std::size_t>(1, text.size())
                                                      : text.size();
        const ssize_t put = count == 0 ? 0 : write(m_masterFd, text.data(), count);
        if (put < 0 && errno == EAGAIN) {
            m_bOutputBlocked = true;
            return;
        }
        if (put < 0) {
            m_outbox.pop_front(); // nobody can take it
            continue;
        }
        if (m_options.bRecordTurnaround && text == UnitSimulator::ACK_TEXT && put > 0) {
            m_ackWrittenAt = Clock::now();
            m_bAckOutstanding = true;
        }
        text.erase(0, static_cast<std::size_t>(put));
        if (m_options.bBaudPace)
            m_outputFree = arrival; // the schedule, not the moment of writing: no drift
        if (text.empty())
            m_outbox.pop_front();
    }
}

// How long until the next input or output falls due; false when nothing is waiting.
bool CPtyUnitRunner::NextWait(Clock::time_point now, timespec* pWait) const
{
    Clock::time_point next = Clock::time_point::max();
    if (!m_inbox.empty())
        next = m_inbox.front().due;
    if (!m_outbox.empty() && !m_bOutputBlocked)
        next = std::min(next, NextOutputArrival());
    if (next == Clock::time_point::max())
        return false;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(next - now).count();
    const long long ns = std::max<long long>(left, 0);
    pWait->tv_sec = static_cast<time_t>(ns / NANOS_PER_SECOND);
    pWait->tv_nsec = static_cast<long>(ns % NANOS_PER_SECOND);
    return true;
}
