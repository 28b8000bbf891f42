#include "platform/CommDevice.h"

#include "platform/ErrorCodes.h"
#include "platform/LowLatency.h"
#include "platform/SyncEvent.h"
#include "platform/TermiosMap.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>

namespace {
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr std::uint32_t PORT_TAG = 0;
constexpr std::uint32_t KICK_TAG = 1;
constexpr int MAX_EPOLL_EVENTS = 2;
constexpr short GONE_FLAGS = POLLHUP | POLLERR | POLLNVAL;

DWORD Errno() { return static_cast<DWORD>(errno); }

// Modem-line requests that a pseudo-terminal or an older driver does not offer.
bool IsRefusedByDriver(int err) { return err == ENOTTY || err == EINVAL; }

// Milliseconds left until `deadline`, rounded up, never negative.
int MsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<Ms>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

// The shorter of two poll waits, where -1 means no limit.
int ShorterWait(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

Clock::time_point DeadlineAfter(DWORD multiplier, DWORD constant, DWORD length)
{
    const std::uint64_t totalMs = std::uint64_t{multiplier} * length + constant;
    return Clock::now() + Ms(std::min<std::uint64_t>(totalMs, INT_MAX));
}

DWORD AddToEpoll(int epollFd, int fd, std::uint32_t events, std::uint32_t tag)
{
    epoll_event ev{};
    ev.events = events;
    ev.data.u32 = tag;
    return epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev) == 0 ? ERROR_SUCCESS : Errno();
}

void CloseIfOpen(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

// Exclusive use: an advisory lock refuses every second opener (root included); TIOCEXCL
// additionally refuses unprivileged openers at open().
DWORD LockForExclusiveUse(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? DWORD{EBUSY} : Errno();
    ::ioctl(fd, TIOCEXCL);
    return ERROR_SUCCESS;
}
} // namespace

DWORD CCommDevice::Open(const char* path, std::unique_ptr<CCommDevice>* ppDevice)
{
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Errno();
    DWORD code = LockForExclusiveUse(fd);
    if (code != ERROR_SUCCESS) {
        ::close(fd);
        return code;
    }
    const int epollFd = epoll_create1(EPOLL_CLOEXEC);
    const int kickFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epollFd < 0 || kickFd < 0)
        code = Errno();
    if (code == ERROR_SUCCESS)
        code = AddToEpoll(epollFd, fd, EPOLLIN | EPOLLET, PORT_TAG);
    if (code == ERROR_SUCCESS)
        code = AddToEpoll(epollFd, kickFd, EPOLLIN, KICK_TAG);
    if (code == ERROR_SUCCESS) {
        ppDevice->reset(new (std::nothrow) CCommDevice(fd, epollFd, kickFd));
        if (*ppDevice)
            return ERROR_SUCCESS;
        code = ENOMEM;
    }
    ::ioctl(fd, TIOCNXCL);
    CloseIfOpen(kickFd);
    CloseIfOpen(epollFd);
    ::close(fd);
    return code;
}

CCommDevice::CCommDevice(int fd, int epollFd, int kickFd)
    : m_fd(fd), m_epollFd(epollFd), m_kickFd(kickFd)
{
    // Bytes queued before this open belong to nobody: start with empty queues.
    ::tcflush(m_fd, TCIOFLUSH);
    if (::ioctl(m_fd, TIOCGICOUNT, &m_eventCounters) == 0) {
        m_errorCounters = m_eventCounters;
        m_bHasCounters = true;
    }
}

CCommDevice::~CCommDevice()
{
    // The exclusive flag belongs to the terminal, not to this descriptor: clear it so the
    // port can be opened again while another descriptor (a pseudo-terminal's peer) stays.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_kickFd);
    ::close(m_epollFd);
    ::close(m_fd);
}

DWORD CCommDevice::SetQueueSizes(DWORD, DWORD) { return ERROR_SUCCESS; }

DWORD CCommDevice::GetLineState(SerialLineState* pState)
{
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0)
        return Errno();
    SerialLineState state = m_lineState;
    TermiosToLineState(tio, &state);
    *pState = state;
    return ERROR_SUCCESS;
}

DWORD CCommDevice::SetLineState(const SerialLineState& state)
{
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0)
        return Errno();
    DWORD code = LineStateToTermios(state, &tio);
    if (code != ERROR_SUCCESS)
        return code;
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
        return Errno();
    code = ApplyModemLines(state);
    if (code == ERROR_SUCCESS)
        m_lineState = state;
    return code;
}

DWORD CCommDevice::ApplyModemLines(const SerialLineState& state)
{
    struct LineRequest {
        int bit;
        bool bHandshake;
        bool bOn;
    };
    const LineRequest requests[] = {
        {TIOCM_DTR, false, state.fDtrControl != DTR_CONTROL_DISABLE},
        {TIOCM_RTS, state.fRtsControl == RTS_CONTROL_HANDSHAKE,
         state.fRtsControl != RTS_CONTROL_DISABLE},
    };
    for (const LineRequest& request : requests) {
        if (request.bHandshake)
            continue; // the driver drives RTS itself
        int bit = request.bit;
        if (::ioctl(m_fd, request.bOn ? TIOCMBIS : TIOCMBIC, &bit) != 0 &&
            !IsRefusedByDriver(errno))
            return Errno();
    }
    return ERROR_SUCCESS;
}

DWORD CCommDevice::GetTimeouts(SerialTimeouts* pTimeouts) const
{
    *pTimeouts = m_timeouts;
    return ERROR_SUCCESS;
}

DWORD CCommDevice::SetTimeouts(const SerialTimeouts& timeouts)
{
    m_timeouts = timeouts;
    return ERROR_SUCCESS;
}

DWORD CCommDevice::RequestLowLatency()
{
    return static_cast<DWORD>(::RequestLowLatency(m_fd));
}

DWORD CCommDevice::ApplyDefaultConfig()
{
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0)
        return Errno();
    MakeDefaultTermios(&tio);
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
        return Errno();
    m_lineState = SerialLineState{};
    return ERROR_SUCCESS;
}

DWORD CCommDevice::SetEventMask(DWORD mask)
{
    m_eventMask.store(mask);
    m_maskGeneration.fetch_add(1);
    const std::uint64_t one = 1;
    if (::write(m_kickFd, &one, sizeof one) < 0 && errno != EAGAIN)
        return Errno();
    return ERROR_SUCCESS;
}

DWORD CCommDevice::StartLineEventWait(std::atomic<DWORD>* pEvents, SerialOverlapped* pOv)
{
    if (CheckHangUp())
        return EIO;
    if (m_bLineWaitPending.exchange(true))
        return ERROR_INVALID_PARAMETER; // one line-event wait at a time
    SerialPendingIo& io = pOv->io;
    io = SerialPendingIo{};
    io.kind = SerialPendingIo::Kind::LineEvent;
    io.pEvents = pEvents;
    io.maskGeneration = m_maskGeneration.load();
    if (pOv->hEvent)
        pOv->hEvent->ResetEvent();
    if (!StepLineEvent(io, 0))
        return ERROR_IO_PENDING;
    const DWORD result = io.result;
    Finish(pOv);
    return result;
}

DWORD CCommDevice::StartRead(void* pBuffer, DWORD length, DWORD* pDone, SerialOverlapped* pOv)
{
    SerialPendingIo& io = pOv->io;
    io = SerialPendingIo{};
    io.kind = SerialPendingIo::Kind::Read;
    io.pData = static_cast<std::uint8_t*>(pBuffer);
    io.length = length;
    if (pOv->hEvent)
        pOv->hEvent->ResetEvent();
    const SerialTimeouts& t = m_timeouts;
    const bool bImmediate = t.ReadIntervalTimeout == MAXDWORD &&
                            t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    if (!ReadAvailable(io) || bImmediate || io.done == length) {
        const DWORD result = io.result;
        if (pDone && result == ERROR_SUCCESS)
            *pDone = io.done;
        Finish(pOv);
        return result;
    }
    if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        io.bHasTotalDeadline = true;
        io.totalDeadline =
            DeadlineAfter(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, length);
    }
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD)
        io.intervalMs = t.ReadIntervalTimeout;
    return ERROR_IO_PENDING;
}

DWORD CCommDevice::StartWrite(const void* pData, DWORD length, DWORD* pDone,
                              SerialOverlapped* pOv)
{
    SerialPendingIo& io = pOv->io;
    io = SerialPendingIo{};
    io.kind = SerialPendingIo::Kind::Write;
    io.pData = static_cast<std::uint8_t*>(const_cast<void*>(pData));
    io.length = length;
    if (pOv->hEvent)
        pOv->hEvent->ResetEvent();
    if (!WriteAvailable(io) || io.done == length) {
        const DWORD result = io.result;
        if (pDone && result == ERROR_SUCCESS)
            *pDone = io.done;
        Finish(pOv);
        return result;
    }
    const SerialTimeouts& t = m_timeouts;
    if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0) {
        io.bHasTotalDeadline = true;
        io.totalDeadline =
            DeadlineAfter(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, length);
    }
    return ERROR_IO_PENDING;
}

DWORD CCommDevice::WaitForCompletion(SerialOverlapped* pOv, DWORD timeoutMs)
{
    SerialPendingIo& io = pOv->io;
    if (io.kind == SerialPendingIo::Kind::None) {
        if (!pOv->hEvent)
            return WAIT_OBJECT_0;
        const bool bSet = timeoutMs == INFINITE ? pOv->hEvent->Wait()
                                                : pOv->hEvent->Wait(Ms(timeoutMs));
        return bSet ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    const bool bLimited = timeoutMs != INFINITE;
    const Clock::time_point deadline = Clock::now() + Ms(bLimited ? timeoutMs : 0);
    for (;;) {
        if (Step(io, bLimited ? MsUntil(deadline) : -1)) {
            Finish(pOv);
            return WAIT_OBJECT_0;
        }
        if (bLimited && Clock::now() >= deadline)
            return WAIT_TIMEOUT;
    }
}

DWORD CCommDevice::GetResult(const SerialOverlapped& ov, DWORD* pTransferred) const
{
    if (ov.io.kind != SerialPendingIo::Kind::None)
        return ERROR_IO_INCOMPLETE;
    if (pTransferred)
        *pTransferred = ov.io.done;
    return ov.io.result;
}

void CCommDevice::Cancel(SerialOverlapped* pOv)
{
    SerialPendingIo& io = pOv->io;
    if (io.kind == SerialPendingIo::Kind::None)
        return;
    if (io.kind == SerialPendingIo::Kind::LineEvent)
        m_bLineWaitPending.store(false);
    io.kind = SerialPendingIo::Kind::None;
    io.result = ERROR_OPERATION_ABORTED;
}

DWORD CCommDevice::ClearLineErrors(DWORD* pErrors)
{
    *pErrors = 0;
    std::lock_guard<std::mutex> lock(m_counterMutex);
    if (!m_bHasCounters)
        return ERROR_SUCCESS;
    serial_icounter_struct now{};
    if (::ioctl(m_fd, TIOCGICOUNT, &now) != 0)
        return IsRefusedByDriver(errno) ? ERROR_SUCCESS : Errno();
    const serial_icounter_struct& was = m_errorCounters;
    DWORD errors = 0;
    if (now.buf_overrun != was.buf_overrun)
        errors |= CE_RXOVER;
    if (now.overrun != was.overrun)
        errors |= CE_OVERRUN;
    if (now.parity != was.parity)
        errors |= CE_RXPARITY;
    if (now.frame != was.frame)
        errors |= CE_FRAME;
    if (now.brk != was.brk)
        errors |= CE_BREAK;
    m_errorCounters = now;
    *pErrors = errors;
    return ERROR_SUCCESS;
}

DWORD CCommDevice::CounterEvents()
{
    std::lock_guard<std::mutex> lock(m_counterMutex);
    serial_icounter_struct now{};
    if (!m_bHasCounters || ::ioctl(m_fd, TIOCGICOUNT, &now) != 0)
        return 0;
    const serial_icounter_struct& was = m_eventCounters;
    DWORD events = 0;
    if (now.brk != was.brk)
        events |= EV_BREAK;
    if (now.frame != was.frame || now.parity != was.parity || now.overrun != was.overrun ||
        now.buf_overrun != was.buf_overrun)
        events |= EV_ERR;
    m_eventCounters = now;
    return events;
}

bool CCommDevice::Step(SerialPendingIo& io, int waitMs)
{
    switch (io.kind) {
    case SerialPendingIo::Kind::LineEvent: return StepLineEvent(io, waitMs);
    case SerialPendingIo::Kind::Read: return StepRead(io, waitMs);
    case SerialPendingIo::Kind::Write: return StepWrite(io, waitMs);
    case SerialPendingIo::Kind::None: break;
    }
    return true;
}

bool CCommDevice::StepLineEvent(SerialPendingIo& io, int waitMs)
{
    epoll_event ready[MAX_EPOLL_EVENTS];
    const int count = epoll_wait(m_epollFd, ready, MAX_EPOLL_EVENTS, waitMs);
    if (count < 0) {
        if (errno == EINTR)
            return false;
        io.result = Errno();
        return true;
    }
    DWORD events = 0;
    for (int i = 0; i < count; ++i) {
        if (ready[i].data.u32 == KICK_TAG) {
            std::uint64_t drained = 0;
            (void)!::read(m_kickFd, &drained, sizeof drained);
            continue;
        }
        if (ready[i].events & (EPOLLHUP | EPOLLERR)) {
            m_bGone.store(true);
            io.result = EIO;
            return true;
        }
        if (ready[i].events & EPOLLIN)
            events |= EV_RXCHAR | CounterEvents();
    }
    events &= m_eventMask.load();
    const bool bMaskChanged = m_maskGeneration.load() != io.maskGeneration;
    if (events == 0 && !bMaskChanged)
        return false;
    io.pEvents->store(events);
    io.result = ERROR_SUCCESS;
    return true;
}

bool CCommDevice::StepRead(SerialPendingIo& io, int waitMs)
{
    int wait = waitMs;
    if (io.bHasTotalDeadline)
        wait = ShorterWait(wait, MsUntil(io.totalDeadline));
    if (io.intervalMs != 0 && io.done > 0)
        wait = ShorterWait(wait, MsUntil(io.lastByte + Ms(io.intervalMs)));
    bool bReady = false;
    if (PollEnded(io, POLLIN, wait, &bReady))
        return true;
    if (bReady && !ReadAvailable(io))
        return true;
    return FinishIfDone(io);
}

bool CCommDevice::StepWrite(SerialPendingIo& io, int waitMs)
{
    int wait = waitMs;
    if (io.bHasTotalDeadline)
        wait = ShorterWait(wait, MsUntil(io.totalDeadline));
    bool bReady = false;
    if (PollEnded(io, POLLOUT, wait, &bReady))
        return true;
    if (bReady && !WriteAvailable(io))
        return true;
    return FinishIfDone(io);
}

// Waits up to waitMs for the device to be ready for `events`. True when the operation has
// ended there: the wait failed or the device has gone (its result is set).
bool CCommDevice::PollEnded(SerialPendingIo& io, short events, int waitMs, bool* pReady)
{
    pollfd pfd{m_fd, events, 0};
    const int ready = ::poll(&pfd, 1, waitMs);
    if (ready < 0 && errno != EINTR) {
        io.result = Errno();
        return true;
    }
    if (ready > 0 && (pfd.revents & GONE_FLAGS)) {
        m_bGone.store(true);
        io.result = EIO;
        return true;
    }
    *pReady = ready > 0;
    return false;
}

// A read or write is done when every byte has moved or one of its time-outs has passed;
// a time-out is no failure, the count says how far it got.
bool CCommDevice::FinishIfDone(SerialPendingIo& io)
{
    const Clock::time_point now = Clock::now();
    bool bDone = io.done == io.length;
    if (io.bHasTotalDeadline && now >= io.totalDeadline)
        bDone = true;
    if (io.kind == SerialPendingIo::Kind::Read && io.intervalMs != 0 && io.done > 0 &&
        now >= io.lastByte + Ms(io.intervalMs))
        bDone = true;
    if (bDone)
        io.result = ERROR_SUCCESS;
    return bDone;
}

void CCommDevice::Finish(SerialOverlapped* pOv)
{
    if (pOv->io.kind == SerialPendingIo::Kind::LineEvent)
        m_bLineWaitPending.store(false);
    pOv->io.kind = SerialPendingIo::Kind::None;
    if (pOv->hEvent)
        pOv->hEvent->Set();
}

// Reads what has arrived into the operation's buffer. False (with io.result) on failure.
bool CCommDevice::ReadAvailable(SerialPendingIo& io)
{
    while (io.done < io.length) {
        const ssize_t got = ::read(m_fd, io.pData + io.done, io.length - io.done);
        if (got > 0) {
            io.done += static_cast<DWORD>(got);
            io.lastByte = Clock::now();
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0 || errno == EAGAIN) {
            // A raw terminal read returns 0 both when nothing has arrived and after a
            // hang-up; only the latter is a failure.
            if (!CheckHangUp())
                return true;
            errno = EIO;
        }
        if (errno == EIO)
            m_bGone.store(true);
        io.result = Errno();
        return false;
    }
    return true;
}

// Hands as many of the remaining bytes to the driver as it takes. False on failure.
bool CCommDevice::WriteAvailable(SerialPendingIo& io)
{
    while (io.done < io.length) {
        const ssize_t put = ::write(m_fd, io.pData + io.done, io.length - io.done);
        if (put > 0) {
            io.done += static_cast<DWORD>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno == EAGAIN)
            return true;
        if (put == 0 || errno == EIO) {
            m_bGone.store(true);
            errno = EIO;
        }
        io.result = Errno();
        return false;
    }
    return true;
}

bool CCommDevice::CheckHangUp()
{
    if (m_bGone.load())
        return true;
    pollfd pfd{m_fd, POLLIN, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & GONE_FLAGS))
        m_bGone.store(true);
    return m_bGone.load();
}
