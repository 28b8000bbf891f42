// The engine's requests to the firmware web service: fetching the image that suits the unit and
// reporting an update made with such an image. Both run off the engine's thread, so the unit is
// kept talking while the service answers.
#include "device/UpdateEngine.h"

#include "web/WebBody.h"
#include "web/WebQuery.h"

namespace {
constexpr const char* TEXT_CANNOT_DOWNLOAD = "Cannot download firmware.  Check firewall";
}

void CUpdateEngine::GetFromWeb()
{
    if (m_pWebRequest)
        return;
    KillTimer(TIMER_WAKE);
    // The line that every status text of the request replaces.
    m_events.OnWebStatus(std::string(), true);
    // Nothing that would start another conversation with the unit while the request runs.
    const bool bSendWas = m_bSendEnabled;
    SetImageButtons(false, false, false);
    const std::string strUrl =
        BuildFirmwareUrl(m_strWebBaseUrl, m_identity.m_strSerialNumber, m_identity.m_strAppVersion,
                         m_identity.m_strLoaderVersion, false);
    m_pWebRequest = m_webFactory(
        [this](const std::string& text) { m_events.OnWebStatus(text, false); },
        [this, strUrl, bSendWas](bool bDownloaded, std::string& body) {
            OnWebAnswer(bDownloaded, body, strUrl, bSendWas);
        });
    m_pWebRequest->Start(strUrl);
}

void CUpdateEngine::OnWebAnswer(bool bDownloaded, std::string& body, const std::string& strUrl,
                                bool bSendWas)
{
    // This handler runs inside the request's own delivery: the request is kept (until the next
    // one ends, or the engine goes) rather than destroyed under its own feet.
    m_pWebRequestDone = std::move(m_pWebRequest);
    if (m_nPhase != PHASE_IDENTIFIED) {
        // The unit was let go while the service answered: there is nothing to check it for.
        Log("The downloaded image was not kept: the " + m_identity.m_strModel +
            " stopped answering meanwhile.");
        return;
    }
    SetImageButtons(true, true, bSendWas);
    if (!bDownloaded) {
        ShowMessageBox(std::string(TEXT_CANNOT_DOWNLOAD) + "\n\nAddress tried: " + strUrl);
        return;
    }
    m_image.m_lines = SplitWebBody(body);
    // Nothing goes to the unit here; an accepted image owes the service a report once sent.
    if (ValidateImage())
        m_image.m_bFromWeb = true;
}

// Reports the version now installed; called for every text of a finished unit, so the report
// goes out once per image fetched from the service, whatever its outcome.
void CUpdateEngine::ReportUpdateDone()
{
    if (!m_image.m_bFromWeb)
        return;
    m_image.m_bFromWeb = false;
    const std::string strUrl =
        BuildFirmwareUrl(m_strWebBaseUrl, m_identity.m_strSerialNumber, m_image.m_strVersion,
                         m_identity.m_strLoaderVersion, true);
    m_pReportRequest = m_webFactory(nullptr, nullptr);
    m_pReportRequest->Start(strUrl);
}

bool CUpdateEngine::IsReportRunning() const
{
    return m_pReportRequest && !m_pReportRequest->IsDone();
}
