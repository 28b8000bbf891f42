// The main dialog's conversation with the firmware web service: fetching the image that suits
// the connected unit, and reporting an update made with such an image.
#include "app/DownloaderDlg.h"

#include "web/WebBody.h"
#include "web/WebDownloader.h"
#include "web/WebQuery.h"

#include <QListWidget>

namespace {

constexpr const char* TEXT_CANNOT_DOWNLOAD = "Cannot download firmware.  Check firewall";

} // namespace

void CDownloaderDlg::OnGetFromWeb()
{
    CWebDownloader downloader;
    downloader.SetStatusList(m_list);
    downloader.m_bReload = true;
    KillTimer(TIMER_WAKE);
    // The line that every status text of the request replaces; the list is not scrolled.
    m_list->addItem(QString());

    const std::string strUrl = BuildFirmwareUrl(m_strWebBaseUrl, m_identity.m_strSerialNumber,
                                                m_identity.m_strAppVersion, m_identity.m_strLoaderVersion, false);
    std::string strBody;
    const bool bDownloaded = downloader.Download(strUrl, strBody, m_list);
    // The request held the window's thread: what the unit said meanwhile is still waiting to
    // be read, so the silence limit starts afresh rather than ending the conversation.
    if (m_nPhase == PHASE_IDENTIFIED && IsTimerRunning(TIMER_SILENCE))
        SetTimer(TIMER_SILENCE, SILENCE_TIMEOUT_MS);
    if (!bDownloaded) {
        ShowMessageBox(TEXT_CANNOT_DOWNLOAD);
        return;
    }
    m_image.m_lines = SplitWebBody(strBody);
    // Nothing goes to the unit here; an accepted image owes the service a report once sent.
    if (ValidateImage())
        m_image.m_bFromWeb = true;
}

// Reports the version now installed; called for every text of a finished unit, so the report
// goes out once per image fetched from the service, whatever its outcome.
void CDownloaderDlg::ReportUpdateDone()
{
    if (!m_image.m_bFromWeb)
        return;
    m_image.m_bFromWeb = false;
    CWebDownloader downloader;
    downloader.SetStatusList(m_list);
    downloader.m_bReload = true;
    const std::string strUrl = BuildFirmwareUrl(m_strWebBaseUrl, m_identity.m_strSerialNumber,
                                                m_image.m_strVersion, m_identity.m_strLoaderVersion, true);
    std::string strScratch;
    downloader.Download(strUrl, strScratch, nullptr);
}
