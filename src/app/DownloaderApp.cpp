#include "app/DownloaderApp.h"

#include "app/DownloaderDlg.h"
#include "app/SingleInstance.h"
#include "app/bench/BenchWindow.h"
#include "device/SessionFacts.h"
#include "platform/SupportLog.h"
#include "platform/UpdateHistory.h"

#include <cstdio>

bool CDownloaderApp::InitInstance()
{
    if (m_pSupportLog != nullptr)
        WriteSessionHeader(*m_pSupportLog, GatherSessionFacts(DownloaderVersionText()));
    // Every run of the window is recorded; the history outlives the window that writes to it.
    CUpdateHistory history(CUpdateHistory::DefaultPath());
    if (m_options.bBench) {
        RunBench(history);
        return false;
    }
    CDownloaderDlg dlg;
    dlg.SetSupportLog(m_pSupportLog);
    dlg.SetUpdateHistory(&history);
    dlg.SetServiceOverride(m_options.strService);
    dlg.SetStartFile(m_options.strFile);
    dlg.Stop().SetStopSignals(m_pSignals);
    if (m_pInstance != nullptr && m_pInstance->Listen([&dlg](const std::string& path) { dlg.OnSecondStart(path); }))
        // A lost display ends the program where it stands: the socket goes with it.
        dlg.Stop().SetReleaseOnLostDisplay([] { std::remove(CSingleInstance::SocketPath().c_str()); });
    dlg.DoModal();
    m_nExitStatus = dlg.ExitStatus();
    return false;
}

void CDownloaderApp::RunBench(CUpdateHistory& history)
{
    CBenchWindow bench;
    bench.SetSupportLog(m_pSupportLog);
    bench.SetUpdateHistory(&history);
    bench.SetServiceAddress(m_options.strService.empty() ? std::string(KX_WEB_BASE_URL)
                                                         : m_options.strService);
    bench.SetStopSignals(m_pSignals);
    bench.SetAutoStart(m_options.bAuto);
    if (!m_options.strFile.empty())
        bench.SetImageFile(m_options.strFile);
    if (m_options.ports.empty()) {
        bench.DiscoverChannels();
    } else {
        for (const std::string& port : m_options.ports)
            bench.AddChannel(port);
        bench.StartHotplug();
    }
    if (m_pInstance != nullptr)
        m_pInstance->Listen([&bench](const std::string& path) { bench.OnSecondStart(path); });
    bench.exec();
    m_nExitStatus = bench.ExitStatus();
}
