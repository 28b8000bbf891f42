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
    dlg.DoModal();
    return false;
}
