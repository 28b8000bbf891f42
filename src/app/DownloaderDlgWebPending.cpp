// Stand-in until the web service client is part of the build.
#include "app/DownloaderDlg.h"

void CDownloaderDlg::OnGetFromWeb() {}
void CDownloaderDlg::ReportUpdateDone() { m_image.m_bFromWeb = false; }
