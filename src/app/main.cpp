// The downloader's entry point: the command line is read first (--help and --version need no
// display), then a Qt application whose only top-level window is the main dialog.
#include "app/CommandLine.h"
#include "app/DownloaderApp.h"
#include "app/GuiStartGuard.h"
#include "app/SingleInstance.h"
#include "platform/SignalPipe.h"
#include "platform/SupportLog.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    const DownloaderOptions options = ParseDownloaderOptions({argv + 1, argv + argc});
    switch (options.action) {
    case DownloaderOptions::EAction::Help:
        std::fputs(DownloaderUsage().c_str(), stdout);
        return 0;
    case DownloaderOptions::EAction::Version:
        std::fputs(DownloaderVersionText().c_str(), stdout);
        return 0;
    case DownloaderOptions::EAction::Error:
        std::fprintf(stderr, "kestova-downloader: %s\n%s", options.strError.c_str(),
                     DownloaderUsage().c_str());
        return 1;
    case DownloaderOptions::EAction::Run:
        break;
    }
    // Stop signals are caught from the start; the window stops an update on them.
    CSignalPipe stopSignals;
    std::unique_ptr<QApplication> application;
    {
        const CGuiStartGuard guard;
        application = std::make_unique<QApplication>(argc, argv);
    }
    // The window's class (WM_CLASS) is this name: the desktop entry's StartupWMClass matches it.
    QApplication::setApplicationName(QStringLiteral("Kestova Firmware Downloader"));
    QApplication::setDesktopFileName(QStringLiteral("com.kestova.Downloader"));
    // One window per user and session: a later start hands its file to the running one and ends.
    bool bListen = true;
    switch (CSingleInstance::HandOver(options.strFile)) {
    case CSingleInstance::EHandOver::HandedOver: return 0;
    case CSingleInstance::EHandOver::NoAnswer:
        std::fputs("kestova-downloader: another copy is running but does not answer\n", stderr);
        return 1;
    case CSingleInstance::EHandOver::OtherSession:
        // Its socket is its own: this window runs on its own, and later starts find the other.
        std::fprintf(stderr, "kestova-downloader: the copy listening on %s runs on another display\n",
                     CSingleInstance::SocketPath().c_str());
        bListen = false;
        break;
    case CSingleInstance::EHandOver::NoneRunning: break;
    }
    CSingleInstance instance;
    CSupportLog supportLog(CSupportLog::DefaultPath());
    CDownloaderApp app(options, &supportLog, &stopSignals, bListen ? &instance : nullptr);
    app.InitInstance();
    supportLog.Flush();
    return app.ExitStatus();
}
