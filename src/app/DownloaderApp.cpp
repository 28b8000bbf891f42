#include "app/DownloaderApp.h"

#include "app/DownloaderDlg.h"

bool CDownloaderApp::InitInstance()
{
    CDownloaderDlg dlg;
    dlg.DoModal();
    return false;
}
