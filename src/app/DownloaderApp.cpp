#include "app/DownloaderApp.h"

#include "app/DownloaderDlg.h"
#include "device/SessionFacts.h"
#include "platform/SupportLog.h"
#include "platform/UpdateHistory.h"

bool CDownloaderApp::InitInstance()
{
    if (m_pSupportLog != nullptr)
        WriteSessionHeader(*m_pSupportLog, GatherSessionFacts(DownloaderVersionText()));
    // Every run of the window is recorded; the history outlives the window that writes to it.
    CUpdateHistory history(CUpdateHistory::DefaultPath());
    CDownloaderDlg dlg;
    dlg.SetSupportLog(m_pSupportLog);
    dlg.SetUpdateHistory(&history);
    dlg.SetServiceOverride(m_options.strService);
    dlg.SetStartFile(m_options.strFile);
    dlg.DoModal();
    return false;
}
