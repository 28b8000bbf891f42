// The downloader's entry point: a Qt application whose only top-level window is the main
// dialog.
#include "app/DownloaderApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestova Firmware Downloader"));
    CDownloaderApp app;
    app.InitInstance();
    return 0;
}
