#include "link/UsbReader.h"

#include <ctime>

namespace {

// Holds an EVENT_HANDLE's mutex for one scope.
class CEventLock {
public:
    explicit CEventLock(EVENT_HANDLE& event) : m_event(event)
    {
        pthread_mutex_lock(&m_event.eMutex);
    }
    ~CEventLock() { pthread_mutex_unlock(&m_event.eMutex); }
    CEventLock(const CEventLock&) = delete;
    CEventLock& operator=(const CEventLock&) = delete;

private:
    EVENT_HANDLE& m_event;
};

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

CUsbReader::CUsbReader(QObject* pWindow, QEvent::Type messageType)
    : m_pWindow(pWindow), m_messageType(messageType)
{
    pthread_cond_init(&m_rxEvent.eCondVar, nullptr);
    pthread_mutex_init(&m_rxEvent.eMutex, nullptr);
    m_rxEvent.iVar = 0;
}

CUsbReader::~CUsbReader()
{
    if (m_thread.joinable()) {
        RequestStop();
        Wake();
        m_thread.join();
    }
    pthread_cond_destroy(&m_rxEvent.eCondVar);
    pthread_mutex_destroy(&m_rxEvent.eMutex);
}

void CUsbReader::Start()
{
    SetState(STATE_RUNNING);
    m_thread = std::thread(&CUsbReader::ReaderMain, this);
}

void CUsbReader::RequestStop()
{
    CEventLock lock(m_rxEvent);
    if (m_nState.load() == STATE_RUNNING)
        m_nState.store(STATE_STOP);
    if (m_pPendingSend)
        m_pPendingSend->Cancel();
}

void CUsbReader::Wake()
{
    CEventLock lock(m_rxEvent);
    pthread_cond_signal(&m_rxEvent.eCondVar);
}

void CUsbReader::SetState(std::uint8_t nState)
{
    CEventLock lock(m_rxEvent);
    m_nState.store(nState);
}

// Waits for the receive signal, notifies the window, and again, until a stop is requested.
void CUsbReader::ReaderMain()
{
    while (WaitForReception() && NotifyWindow()) {
    }
    SetState(STATE_NONE);
}

// One bounded wait on the receive event; false when a stop has been requested.
bool CUsbReader::WaitForReception()
{
    CEventLock lock(m_rxEvent);
    if (m_nState.load() == STATE_RUNNING) {
        const timespec deadline = DeadlineAfterMs(READER_WAIT_MS);
        pthread_cond_clockwait(&m_rxEvent.eCondVar, &m_rxEvent.eMutex, WAIT_CLOCK, &deadline);
    }
    return m_nState.load() == STATE_RUNNING;
}

// Sends the notification and waits until the window has handled it or the send is cancelled;
// false when a stop has been requested.
bool CUsbReader::NotifyWindow()
{
    auto pCompletion = std::make_shared<CSendCompletion>();
    {
        CEventLock lock(m_rxEvent);
        if (m_nState.load() != STATE_RUNNING)
            return false;
        m_pPendingSend = pCompletion;
    }
    SendWindowMessageSync(m_pWindow, m_messageType, 0, 0, pCompletion);
    CEventLock lock(m_rxEvent);
    m_pPendingSend.reset();
    return m_nState.load() == STATE_RUNNING;
}
