// The application object: runs the main dialog modally and ends the program when it closes.
#pragma once

#include "app/CommandLine.h"

class CSupportLog;

class CDownloaderApp {
public:
    CDownloaderApp() = default;
    // `pSupportLog` (may be none) receives the session's status lines and notices.
    CDownloaderApp(DownloaderOptions options, CSupportLog* pSupportLog)
        : m_options(std::move(options)), m_pSupportLog(pSupportLog)
    {
    }

    // Runs the main dialog; returns false so that the program ends when the dialog closes.
    bool InitInstance();

private:
    DownloaderOptions m_options;
    CSupportLog* m_pSupportLog = nullptr;
};
