#include "link/SerialWatcher.h"

#include <chrono>
#include <new>
#include <system_error>

CSerialWatcher::CSerialWatcher() = default;

CSerialWatcher::~CSerialWatcher()
{
    if (m_pWatcherThread)
        CSerialWatcher::ClosePort();
}

DWORD CSerialWatcher::OpenPort(const char* device, DWORD inQueue, DWORD outQueue,
                               bool bStartWatcher)
{
    DWORD code = CSerialLine::OpenPort(device, inQueue, outQueue, true);
    if (code != ERROR_SUCCESS)
        return code;
    m_pWakeEvent.reset(new (std::nothrow) CSyncEvent(CSyncEvent::Reset::Manual));
    if (!m_pWakeEvent) {
        CSerialLine::ClosePort();
        return SetResult(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (bStartWatcher) {
        code = StartWatcher();
        if (code != ERROR_SUCCESS)
            return code;
    }
    return LastErrorCode();
}

DWORD CSerialWatcher::ClosePort()
{
    StopWatcher(INFINITE);
    m_pWakeEvent.reset();
    return CSerialLine::ClosePort();
}

DWORD CSerialWatcher::StartWatcher()
{
    if (m_pWatcherThread)
        return SetResult(ERROR_SUCCESS);
    m_watcherEnded.ResetEvent();
    try {
        m_pWatcherThread = std::make_unique<std::thread>(&CSerialWatcher::WatcherMain, this);
    } catch (const std::system_error& error) {
        return SetResult(static_cast<DWORD>(error.code().value()));
    } catch (const std::bad_alloc&) {
        return SetResult(ERROR_NOT_ENOUGH_MEMORY);
    }
    return SetResult(ERROR_SUCCESS);
}

DWORD CSerialWatcher::StopWatcher(DWORD timeoutMs)
{
    if (m_pWatcherThread) {
        m_bStopRequested.store(true);
        // Setting the mask again completes the watcher's pending wait with no events.
        SetWatchMask(QueryWatchMask());
        const bool bEnded = timeoutMs == INFINITE
                                ? m_watcherEnded.Wait()
                                : m_watcherEnded.Wait(std::chrono::milliseconds(timeoutMs));
        if (bEnded) {
            m_pWatcherThread->join();
            m_pWatcherThread.reset();
            m_bStopRequested.store(false);
        }
    }
    return SetResult(ERROR_SUCCESS);
}

bool CSerialWatcher::HasWatcher() const { return m_pWatcherThread != nullptr; }

bool CSerialWatcher::IsWatcherRunning() const
{
    return m_pWatcherThread != nullptr && !m_watcherEnded.IsSet();
}

DWORD CSerialWatcher::WatcherExitCode() const { return m_watcherExitCode.load(); }

void CSerialWatcher::WatcherMain()
{
    DWORD exitCode = ERROR_SUCCESS;
    while (WatchOnce(&exitCode)) {
    }
    m_watcherExitCode.store(exitCode);
    m_watcherEnded.Set();
}

// One wait for line events and its notification; false when the thread is to end. A wait
// that fails (the device went away) ends the thread without a notification.
bool CSerialWatcher::WatchOnce(DWORD* pExitCode)
{
    CSyncEvent* pWake = m_pWakeEvent.get();
    if (!pWake) {
        *pExitCode = ERROR_INVALID_HANDLE;
        return false;
    }
    pWake->ResetEvent();
    SerialOverlapped ov;
    ov.hEvent = pWake;
    if (WaitForLineEvent(&ov, INFINITE) != ERROR_SUCCESS) {
        *pExitCode = LastErrorCode();
        return false;
    }
    // A stop requested just before the wait began may have changed the mask too early to
    // complete it: look at the flag once more before blocking.
    if (m_bStopRequested.load()) {
        CancelOverlapped(&ov);
        return false;
    }
    if (WaitForOverlapped(&ov, INFINITE) != ERROR_SUCCESS) {
        *pExitCode = LastErrorCode();
        return false;
    }
    if (m_bStopRequested.load())
        return false;
    const DWORD events = TakeLineEvents();
    DWORD lineErrors = 0;
    const DWORD code = ClearLineErrors(&lineErrors);
    if (code != ERROR_SUCCESS) {
        SetResult(code);
        lineErrors = 0;
    }
    if (events != 0)
        OnLineEvent(events, lineErrors);
    return !m_bStopRequested.load();
}
