// The application object: runs the main dialog modally and ends the program when it closes.
#pragma once

#include "app/CommandLine.h"

class CSignalPipe;
class CSingleInstance;
class CSupportLog;
class CUpdateHistory;

class CDownloaderApp {
public:
    CDownloaderApp() = default;
    // `pSupportLog` (may be none) receives the session's status lines and notices; `pSignals`
    // (may be none) are the stop signals the window follows; `pInstance` (may be none) hears
    // of later starts of the program.
    CDownloaderApp(DownloaderOptions options, CSupportLog* pSupportLog, CSignalPipe* pSignals = nullptr,
                   CSingleInstance* pInstance = nullptr)
        : m_options(std::move(options)), m_pSupportLog(pSupportLog), m_pSignals(pSignals), m_pInstance(pInstance)
    {
    }

    // Runs the main dialog; returns false so that the program ends when the dialog closes.
    bool InitInstance();
    // The program's exit status once the dialog has closed.
    int ExitStatus() const { return m_nExitStatus; }

private:
    // The service bench as the program's window (--bench).
    void RunBench(CUpdateHistory& history);

    DownloaderOptions m_options;
    CSupportLog* m_pSupportLog = nullptr;
    CSignalPipe* m_pSignals = nullptr;
    CSingleInstance* m_pInstance = nullptr;
    int m_nExitStatus = 0;
};
