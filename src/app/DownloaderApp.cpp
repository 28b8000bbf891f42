#include "app/DownloaderApp.h"

#include "app/DownloaderDlg.h"
#include "device/SessionFacts.h"
#include "platform/SupportLog.h"

bool CDownloaderApp::InitInstance()
{
    if (m_pSupportLog != nullptr)
        WriteSessionHeader(*m_pSupportLog, GatherSessionFacts(DownloaderVersionText()));
    CDownloaderDlg dlg;
    dlg.SetSupportLog(m_pSupportLog);
    dlg.SetServiceOverride(m_options.strService);
    dlg.SetStartFile(m_options.strFile);
    dlg.DoModal();
    return false;
}
