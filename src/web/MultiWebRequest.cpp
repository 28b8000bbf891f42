#include "web/MultiWebRequest.h"

#include "web/MultiTransfer.h"

void CMultiWebRequest::CDiscard::operator()(CMultiTransfer* pTransfer) const
{
    CMultiTransfer::Discard(pTransfer);
}

CMultiWebRequest::CMultiWebRequest(StatusFn fnStatus, DoneFn fnDone)
    : m_fnStatus(std::move(fnStatus)), m_fnDone(std::move(fnDone))
{
    CMultiTransfer::StatusFn fnTransferStatus;
    if (m_fnStatus)
        fnTransferStatus = [this](const std::string& text) { m_fnStatus(text); };
    m_pTransfer.reset(new CMultiTransfer(std::move(fnTransferStatus),
                                         [this](bool bDownloaded) { OnDone(bDownloaded); }));
}

CMultiWebRequest::~CMultiWebRequest() = default;

void CMultiWebRequest::Start(const std::string& strUrl)
{
    m_pTransfer->Start(strUrl);
}

void CMultiWebRequest::Cancel()
{
    m_bDone = true;
    m_pTransfer->Cancel();
}

bool CMultiWebRequest::IsFinished() const
{
    return !m_pTransfer->IsRunning();
}

void CMultiWebRequest::SetLimits(const WebLimits& limits)
{
    m_pTransfer->Downloader().SetLimits(limits);
}

void CMultiWebRequest::SetClock(CWebDownloader::ClockFn fnNow)
{
    m_pTransfer->Downloader().SetClock(std::move(fnNow));
}

// The last thing done for the request: the owner may destroy it from inside fnDone.
void CMultiWebRequest::OnDone(bool bDownloaded)
{
    if (m_bDone)
        return;
    m_bDone = true;
    m_outcome = m_pTransfer->Downloader().Outcome();
    if (m_fnDone)
        m_fnDone(bDownloaded, m_pTransfer->Downloader().Body());
}
