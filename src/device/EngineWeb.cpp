// The engine's requests to the firmware web service: fetching the image that suits the unit and
// reporting an update made with such an image. Neither holds the engine's thread, so the unit is
// kept talking while the service answers. A fetch carries a ticket: its answer is used only for
// the unit and moment it was asked for.
#include "device/UpdateEngine.h"

#include "web/WebBody.h"
#include "web/WebFailure.h"
#include "web/WebQuery.h"

#include <algorithm>

namespace {
constexpr const char* TEXT_CANNOT_DOWNLOAD = "Cannot download firmware.  Check firewall";
constexpr const char* TEXT_NO_SERVICE =
    "No firmware service is set: choose Firmware Service\u2026 in the window menu, set FIRMWARE "
    "SERVICE= in Kestova.ini, or pass --service.";
}

void CUpdateEngine::GetFromWeb()
{
    // Nothing is asked of a service that was never named; the user is told how to name one.
    if (m_strWebBaseUrl.empty()) {
        ShowNotice(NoticeKind::NoService, TEXT_NO_SERVICE);
        m_events.OnImageRefused(ImageRefusal::NotFetched, TEXT_NO_SERVICE);
        return;
    }
    // Enabled means it works: a request still running gives way to the new one.
    CancelFetch("Get from Web was pressed again");
    m_bFetchDropped = false;
    // The line that every status text of the request replaces.
    m_events.OnWebStatus(std::string(), true);
    const std::string strUrl =
        BuildFirmwareUrl(m_strWebBaseUrl, Identity().m_strSerialNumber, Identity().m_strAppVersion,
                         Identity().m_strLoaderVersion, false);
    const EngineTicket ticket = Ticket();
    m_fetchTicket = ticket;
    m_pWebRequest = m_webFactory(
        [this, ticket](const std::string& text) {
            if (TicketHolds(ticket))
                m_events.OnWebStatus(text, false);
        },
        [this, ticket, strUrl](bool bDownloaded, std::string& body) {
            OnWebAnswer(ticket, bDownloaded, body, strUrl);
        });
    // Nothing that would start another conversation with the unit while the request runs.
    Publish();
    m_pWebRequest->Start(strUrl);
}

void CUpdateEngine::OnWebAnswer(const EngineTicket& ticket, bool bDownloaded, std::string& body,
                                const std::string& strUrl)
{
    // This handler runs inside the request's own delivery: the request is kept (until the next
    // one ends, or the engine goes) rather than destroyed under its own feet.
    m_pWebRequestDone = std::move(m_pWebRequest);
    if (!TicketHolds(ticket) || State() != EngineState::Identified) {
        LogUnusedImage("fetched", ticket.unit, DropReason(ticket));
        return;
    }
    Publish();
    // An answer with an error status carries no image either: its reason is said instead of
    // the image checks' complaints about the error page.
    const WebFailure& outcome = m_pWebRequestDone->Outcome();
    if (!bDownloaded || outcome.IsHttpError()) {
        const std::string reason = WebFailureReason(outcome);
        const std::string text = std::string(TEXT_CANNOT_DOWNLOAD) + "\n\nReason: " + reason +
                                 "\nAddress tried: " + strUrl;
        ShowNotice(NoticeKind::DownloadFailed, text, reason);
        m_events.OnImageRefused(ImageRefusal::NotFetched, text);
        return;
    }
    m_image.m_lines = SplitWebBody(body);
    // Nothing goes to the unit here; an accepted image owes the service a report once sent.
    if (ValidateImage()) {
        m_image.m_bFromWeb = true;
        m_strImageSource = m_strWebBaseUrl;
        AcceptImage();
    }
}

std::string CUpdateEngine::DropReason(const EngineTicket& ticket) const
{
    if (State() != EngineState::Identified)
        return "the connection was reset meanwhile";
    if (ticket.unit.m_strSerialNumber != Identity().m_strSerialNumber)
        return "another unit is connected";
    return "the " + ticket.unit.m_strModel + " was identified again meanwhile";
}

void CUpdateEngine::LogUnusedImage(const char* what, const DeviceIdentity& unit,
                                   const std::string& strWhy)
{
    Log(std::string("The image ") + what + " for " + unit.m_strModel + " serial " +
        unit.m_strSerialNumber + " was not used: " + strWhy + ".");
}

// A cancelled request is kept until nothing runs for it any more, so that nothing here waits
// for the network.
void CUpdateEngine::CancelFetch(const std::string& strWhy)
{
    if (!m_pWebRequest)
        return;
    m_pWebRequest->Cancel();
    std::erase_if(m_retiredRequests, [](const auto& old) { return old->IsFinished(); });
    m_retiredRequests.push_back(std::move(m_pWebRequest));
    m_bFetchDropped = true;
    m_droppedFetchUnit = m_fetchTicket.unit;
    LogUnusedImage("fetched", m_fetchTicket.unit, strWhy);
}

// Reports the version now installed, once per image fetched from the service: on the unit's
// first answer after the run, or, when none comes, before the link is let go.
void CUpdateEngine::ReportUpdateDone()
{
    if (!m_image.m_bFromWeb || !m_bReportOwed)
        return;
    m_image.m_bFromWeb = false;
    m_bReportOwed = false;
    const std::string strUrl =
        BuildFirmwareUrl(m_strWebBaseUrl, m_updatedUnit.m_strSerialNumber, ImageVersion(),
                         m_updatedUnit.m_strLoaderVersion, true);
    m_pReportRequest = m_webFactory(nullptr, nullptr);
    m_pReportRequest->Start(strUrl);
}

void CUpdateEngine::SettleReport()
{
    if (m_bReportOwed)
        ReportUpdateDone();
}

bool CUpdateEngine::IsReportRunning() const
{
    return m_pReportRequest && !m_pReportRequest->IsDone();
}
