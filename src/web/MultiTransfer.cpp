#include "web/MultiTransfer.h"

#include <QSocketNotifier>

#include <curl/curl.h>

// The C callbacks of the multi handle. They only change what is watched; libcurl is never
// called from inside them.
struct CMultiHooks {
    static int OnSocket(CURL*, curl_socket_t fd, int nWhat, void* pUser, void*) noexcept
    {
        auto* pTransfer = static_cast<CMultiTransfer*>(pUser);
        try {
            if (nWhat == CURL_POLL_REMOVE)
                pTransfer->UnwatchSocket(fd);
            else
                pTransfer->WatchSocket(fd, (nWhat & CURL_POLL_IN) != 0, (nWhat & CURL_POLL_OUT) != 0);
            return 0;
        } catch (...) {
            return -1;
        }
    }

    static int OnTimer(CURLM*, long nTimeoutMs, void* pUser) noexcept
    {
        auto* pTransfer = static_cast<CMultiTransfer*>(pUser);
        if (nTimeoutMs < 0)
            pTransfer->m_timer.stop();
        else
            pTransfer->m_timer.start(static_cast<int>(nTimeoutMs));
        return 0;
    }
};

CMultiTransfer::CMultiTransfer(StatusFn fnStatus, DoneFn fnDone)
    : m_fnStatus(std::move(fnStatus)), m_fnDone(std::move(fnDone))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimeout(); });
    if (m_fnStatus)
        m_downloader.m_fnStatusSink = [this](const std::string& text) {
            if (!m_bCancelled)
                m_fnStatus(text);
        };
    m_downloader.m_bReload = true;
}

CMultiTransfer::~CMultiTransfer()
{
    m_bCancelled = true;
    m_timer.stop();
    m_downloader.Cancel();
    Detach();
    if (m_pMulti != nullptr) {
        // The connections it still holds are closed now, through the session's hooks.
        curl_multi_setopt(m_pMulti, CURLMOPT_SOCKETFUNCTION, static_cast<curl_socket_callback>(nullptr));
        curl_multi_setopt(m_pMulti, CURLMOPT_TIMERFUNCTION, static_cast<curl_multi_timer_callback>(nullptr));
        curl_multi_cleanup(m_pMulti);
        m_pMulti = nullptr;
    }
    for (const auto& [fd, watch] : m_watches) {
        delete watch.pRead;
        delete watch.pWrite;
    }
}

void CMultiTransfer::Discard(CMultiTransfer* pTransfer)
{
    if (pTransfer == nullptr)
        return;
    pTransfer->Cancel();
    if (pTransfer->m_nBusy > 0)
        pTransfer->m_bDiscarded = true;
    else
        delete pTransfer;
}

template <typename Fn> bool CMultiTransfer::Busy(Fn fn)
{
    ++m_nBusy;
    fn();
    --m_nBusy;
    if (m_nBusy > 0)
        return !m_bCancelled;
    if (m_bDiscarded) {
        deleteLater();
        return false;
    }
    if (m_bCancelled) {
        Detach();
        return false;
    }
    return true;
}

void CMultiTransfer::Start(const std::string& strUrl)
{
    if (m_bAdded || m_bStartFailed || m_bCancelled)
        return;
    bool bBegun = false;
    if (!Busy([&] { bBegun = m_downloader.BeginDownload(strUrl); }))
        return;
    // The multi handle is made after the easy handle, whose making sets libcurl up.
    if (bBegun && m_pMulti == nullptr) {
        m_pMulti = curl_multi_init();
        if (m_pMulti != nullptr) {
            curl_multi_setopt(m_pMulti, CURLMOPT_SOCKETFUNCTION, &CMultiHooks::OnSocket);
            curl_multi_setopt(m_pMulti, CURLMOPT_SOCKETDATA, this);
            curl_multi_setopt(m_pMulti, CURLMOPT_TIMERFUNCTION, &CMultiHooks::OnTimer);
            curl_multi_setopt(m_pMulti, CURLMOPT_TIMERDATA, this);
        }
    }
    // Adding asks for a time-out of 0: the transfer begins on the event loop's next turn.
    if (bBegun && m_pMulti != nullptr &&
        curl_multi_add_handle(m_pMulti, m_downloader.EasyHandle()) == CURLM_OK) {
        m_bAdded = true;
        return;
    }
    if (bBegun)
        Busy([this] { m_downloader.EndDownload(CURLE_FAILED_INIT); });
    if (m_bCancelled)
        return;
    // The outcome is delivered from the event loop, as every other outcome is.
    m_bStartFailed = true;
    m_timer.start(0);
}

void CMultiTransfer::Cancel()
{
    m_bCancelled = true;
    m_downloader.Cancel();
    if (m_nBusy == 0) {
        m_timer.stop();
        Detach();
    }
    m_bStartFailed = false;
}

void CMultiTransfer::OnTimeout()
{
    if (m_bStartFailed) {
        m_bStartFailed = false;
        if (!m_bCancelled && m_fnDone)
            Busy([this] { m_fnDone(false); });
        return;
    }
    Act(CURL_SOCKET_TIMEOUT, 0);
}

void CMultiTransfer::Act(int fd, int nEvents)
{
    // A nested event loop inside one of the owner's callbacks would call libcurl from inside
    // itself: the socket stays ready and is served once that callback has returned.
    if (!m_bAdded || m_bCancelled || m_nBusy > 0)
        return;
    int nRunning = 0;
    if (!Busy([&] { curl_multi_socket_action(m_pMulti, fd, nEvents, &nRunning); }))
        return;
    int nLeft = 0;
    while (CURLMsg* pMessage = curl_multi_info_read(m_pMulti, &nLeft)) {
        if (pMessage->msg == CURLMSG_DONE && pMessage->easy_handle == m_downloader.EasyHandle()) {
            const CURLcode code = pMessage->data.result;
            Finish(code);
            return;
        }
    }
}

// The transfer has ended: its handle leaves the multi handle before the outcome is delivered,
// so that nothing runs for it once the owner hears of it.
void CMultiTransfer::Finish(int nCurlCode)
{
    Detach();
    m_timer.stop();
    bool bDownloaded = false;
    if (!Busy([&] { bDownloaded = m_downloader.EndDownload(nCurlCode); }))
        return;
    if (m_fnDone)
        Busy([&] { m_fnDone(bDownloaded); });
}

void CMultiTransfer::Detach()
{
    if (!m_bAdded)
        return;
    m_bAdded = false;
    curl_multi_remove_handle(m_pMulti, m_downloader.EasyHandle());
}

void CMultiTransfer::WatchSocket(int fd, bool bRead, bool bWrite)
{
    Watch& watch = m_watches[fd];
    const auto make = [this, fd](QSocketNotifier::Type type, int nEvents) {
        auto* pNotifier = new QSocketNotifier(fd, type, this);
        connect(pNotifier, &QSocketNotifier::activated, this, [this, fd, nEvents] { Act(fd, nEvents); });
        return pNotifier;
    };
    if (bRead && watch.pRead == nullptr)
        watch.pRead = make(QSocketNotifier::Read, CURL_CSELECT_IN);
    if (bWrite && watch.pWrite == nullptr)
        watch.pWrite = make(QSocketNotifier::Write, CURL_CSELECT_OUT);
    if (watch.pRead != nullptr)
        watch.pRead->setEnabled(bRead);
    if (watch.pWrite != nullptr)
        watch.pWrite->setEnabled(bWrite);
}

// libcurl is done with the socket (it may close it next): its notifiers stop at once and go
// once the event loop is back, since one of them may be the one being served right now.
void CMultiTransfer::UnwatchSocket(int fd)
{
    const auto it = m_watches.find(fd);
    if (it == m_watches.end())
        return;
    for (QSocketNotifier* pNotifier : {it->second.pRead, it->second.pWrite}) {
        if (pNotifier != nullptr) {
            pNotifier->setEnabled(false);
            pNotifier->deleteLater();
        }
    }
    m_watches.erase(it);
}
