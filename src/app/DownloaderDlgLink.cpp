// The window's side of opening, closing and reopening the link that its engine holds: the
// port chooser follows it.
#include "app/DownloaderDlg.h"

std::string CDownloaderDlg::SelectedPort() const { return m_pPorts->SelectedPort(); }

void CDownloaderDlg::OnLinkOpened(const std::string& name, bool bRemember)
{
    if (m_bTellingPort)
        m_strPortOutcome = "open, waiting for the unit to answer.";
    m_pPorts->OnPortOpened(name, bRemember);
}

void CDownloaderDlg::OnLinkDropped(const LinkError&, bool bForget)
{
    m_pPorts->OnPortChoiceDropped(bForget);
}
