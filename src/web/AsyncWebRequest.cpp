#include "web/AsyncWebRequest.h"

#include "platform/ThreadHandoff.h"
#include "web/WebDownloader.h"

#include <QEvent>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
// How long destruction waits for a cancelled request's thread before leaving it to end alone.
constexpr auto CANCEL_GRACE = std::chrono::milliseconds(1500);

const QEvent::Type WEB_STATUS_EVENT = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type WEB_DONE_EVENT = static_cast<QEvent::Type>(QEvent::registerEventType());

class CWebEvent : public QEvent {
public:
    CWebEvent(QEvent::Type type, std::string text, bool bOk = false, WebFailure outcome = {})
        : QEvent(type), m_strText(std::move(text)), m_bOk(bOk), m_outcome(std::move(outcome))
    {
    }
    // One that was never delivered (its receiver went first) is destroyed on the receiving
    // thread all the same.
    ~CWebEvent() override { AcceptHandoffEvent(this); }
    std::string m_strText;
    bool m_bOk;
    WebFailure m_outcome;
};
} // namespace

// What the request's thread and its owner share: the owner may go away while the thread runs.
struct CAsyncWebRequest::Shared {
    std::mutex mutex;
    std::condition_variable finished;
    QObject* pReceiver = nullptr; // null once the owner has gone
    bool bFinished = false;
    std::atomic<bool> bCancel{false};

    void Post(QEvent::Type type, std::string text, bool bOk = false, WebFailure outcome = {})
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (pReceiver != nullptr)
            PostHandoffEvent(
                pReceiver, new CWebEvent(type, std::move(text), bOk, std::move(outcome)));
    }
};

// Lives on the starting thread and turns the posted events back into calls.
class CAsyncWebRequest::CReceiver : public QObject {
public:
    explicit CReceiver(CAsyncWebRequest& request) : m_request(request) {}

protected:
    bool event(QEvent* e) override
    {
        AcceptHandoffEvent(e);
        if (e->type() != WEB_STATUS_EVENT && e->type() != WEB_DONE_EVENT)
            return QObject::event(e);
        auto* pEvent = static_cast<CWebEvent*>(e);
        if (m_request.m_bDone)
            return true; // cancelled: what was already on its way is not delivered
        if (e->type() == WEB_STATUS_EVENT) {
            if (m_request.m_fnStatus)
                m_request.m_fnStatus(pEvent->m_strText);
        } else {
            m_request.m_bDone = true;
            m_request.m_outcome = pEvent->m_outcome;
            if (m_request.m_fnDone)
                m_request.m_fnDone(pEvent->m_bOk, pEvent->m_strText);
        }
        return true;
    }

private:
    CAsyncWebRequest& m_request;
};

CAsyncWebRequest::CAsyncWebRequest(StatusFn fnStatus, DoneFn fnDone)
    : m_pShared(std::make_shared<Shared>()), m_pReceiver(std::make_unique<CReceiver>(*this)),
      m_fnStatus(std::move(fnStatus)), m_fnDone(std::move(fnDone))
{
    m_pShared->pReceiver = m_pReceiver.get();
}

CAsyncWebRequest::~CAsyncWebRequest()
{
    std::unique_lock<std::mutex> lock(m_pShared->mutex);
    m_pShared->pReceiver = nullptr;
    m_pShared->bCancel = true;
    m_pShared->finished.wait_for(lock, CANCEL_GRACE, [this] { return m_pShared->bFinished; });
}

void CAsyncWebRequest::Cancel()
{
    std::lock_guard<std::mutex> lock(m_pShared->mutex);
    m_pShared->pReceiver = nullptr;
    m_pShared->bCancel = true;
    m_bDone = true;
}

bool CAsyncWebRequest::IsFinished() const
{
    std::lock_guard<std::mutex> lock(m_pShared->mutex);
    return m_pShared->bFinished;
}

void CAsyncWebRequest::Start(const std::string& strUrl)
{
    const bool bWantStatus = static_cast<bool>(m_fnStatus);
    std::thread([pShared = m_pShared, strUrl, bWantStatus] {
        std::string strBody;
        bool bOk = false;
        WebFailure outcome;
        {
            CWebDownloader downloader;
            downloader.m_bReload = true;
            downloader.m_pCancel = &pShared->bCancel;
            if (bWantStatus)
                downloader.m_fnStatusSink = [&pShared](const std::string& text) {
                    pShared->Post(WEB_STATUS_EVENT, text);
                };
            bOk = downloader.Download(strUrl, strBody);
            outcome = downloader.Outcome();
        }
        pShared->Post(WEB_DONE_EVENT, std::move(strBody), bOk, std::move(outcome));
        std::lock_guard<std::mutex> lock(pShared->mutex);
        pShared->bFinished = true;
        pShared->finished.notify_all();
    }).detach();
}
