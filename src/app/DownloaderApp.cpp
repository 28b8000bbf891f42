#include "app/DownloaderApp.h"

#include "app/DownloaderDlg.h"
#include "platform/SupportLog.h"

bool CDownloaderApp::InitInstance()
{
    if (m_pSupportLog != nullptr) {
        std::string version = DownloaderVersionText();
        version.pop_back(); // its line end
        m_pSupportLog->Status("session started: " + version);
    }
    CDownloaderDlg dlg;
    dlg.SetSupportLog(m_pSupportLog);
    dlg.SetServiceOverride(m_options.strService);
    dlg.SetStartFile(m_options.strFile);
    dlg.DoModal();
    return false;
}
