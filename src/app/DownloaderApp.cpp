#include "app/DownloaderApp.h"

#include "app/DownloaderDlg.h"
#include "app/SingleInstance.h"
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
    dlg.SetStopSignals(m_pSignals);
    if (m_pInstance != nullptr)
        m_pInstance->Listen([&dlg](const std::string& path) { dlg.OnSecondStart(path); });
    dlg.DoModal();
    m_nExitStatus = dlg.ExitStatus();
    return false;
}
