#include "link/D2xxBridge.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <system_error>

namespace {

constexpr long NS_PER_MS = 1000000L;
constexpr long NS_PER_S = 1000000000L;

// Waits are measured on the monotonic clock, which a change of the date and time never moves.
constexpr clockid_t WAIT_CLOCK = CLOCK_MONOTONIC;

timespec DeadlineAfterMs(int ms)
{
    timespec deadline{};
    clock_gettime(WAIT_CLOCK, &deadline);
    deadline.tv_nsec += ms * NS_PER_MS;
    deadline.tv_sec += deadline.tv_nsec / NS_PER_S;
    deadline.tv_nsec %= NS_PER_S;
    return deadline;
}

} // namespace

CD2xxBridge::CD2xxBridge()
{
    pthread_cond_init(&m_event.eCondVar, nullptr);
    pthread_mutex_init(&m_event.eMutex, nullptr);
    m_event.iVar = 0;
}

CD2xxBridge::~CD2xxBridge()
{
    Stop();
    m_pNotifier.reset();
    if (m_wakeFd >= 0)
        close(m_wakeFd);
    pthread_cond_destroy(&m_event.eCondVar);
    pthread_mutex_destroy(&m_event.eMutex);
}

LinkError CD2xxBridge::Start(std::function<void()> onWake)
{
    Stop();
    if (m_wakeFd < 0) {
        m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (m_wakeFd < 0)
            return LinkError::FromErrno(errno, "eventfd");
        m_pNotifier = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
        QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, m_pNotifier.get(),
                         [this] { OnEventFdReadable(); });
    }
    m_onWake = std::move(onWake);
    pthread_mutex_lock(&m_event.eMutex);
    m_bStop = false;
    pthread_mutex_unlock(&m_event.eMutex);
    // A thread that cannot be had (the process's limit) fails the open, like any other call.
    try {
        m_thread = std::thread(&CD2xxBridge::ThreadMain, this);
    } catch (const std::system_error& error) {
        return LinkError::FromErrno(error.code().value(), "pthread_create");
    }
    m_pNotifier->setEnabled(true);
    return {};
}

void CD2xxBridge::Stop()
{
    if (m_pNotifier)
        m_pNotifier->setEnabled(false);
    if (!m_thread.joinable())
        return;
    pthread_mutex_lock(&m_event.eMutex);
    m_bStop = true;
    pthread_cond_signal(&m_event.eCondVar);
    pthread_mutex_unlock(&m_event.eMutex);
    m_thread.join();
    // A wake the engine has not taken must not reach the next open.
    Drain();
}

// One bounded wait on the event, then a wake of the engine's thread, until told to stop. The
// event's mutex is not held while waking, so the library can signal meanwhile.
void CD2xxBridge::ThreadMain()
{
    pthread_mutex_lock(&m_event.eMutex);
    while (!m_bStop) {
        const timespec deadline = DeadlineAfterMs(WAIT_BOUND_MS);
        pthread_cond_clockwait(&m_event.eCondVar, &m_event.eMutex, WAIT_CLOCK, &deadline);
        if (m_bStop)
            break;
        pthread_mutex_unlock(&m_event.eMutex);
        const std::uint64_t one = 1;
        // The counter cannot overflow in practice; a failed write is made good by the next.
        [[maybe_unused]] const ssize_t n = write(m_wakeFd, &one, sizeof one);
        pthread_mutex_lock(&m_event.eMutex);
    }
    pthread_mutex_unlock(&m_event.eMutex);
}

void CD2xxBridge::Drain()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(m_wakeFd, &count, sizeof count);
}

void CD2xxBridge::OnEventFdReadable()
{
    Drain();
    // Copied: the callback may stop or destroy this bridge.
    const std::function<void()> onWake = m_onWake;
    if (onWake)
        onWake();
}
