// Validation of the firmware image as the main dialog sees it: the verdict's lines go to the
// status list and the buttons follow the verdict.
#include "app/DownloaderDlg.h"

#include <QPushButton>

bool CDownloaderDlg::ValidateImage()
{
    const ImageVerdict verdict = CheckImage(m_image, m_identity.m_strModel);
    for (const auto& line : verdict.logLines)
        LogLine(line);
    if (!verdict.bAccepted) {
        m_nPhase = PHASE_IDENTIFIED;
        SetImageButtons(true, true, false);
        return false;
    }
    m_btnSend->setEnabled(true);
    m_image.m_nTotalLines = static_cast<int>(m_image.m_lines.size());
    return true;
}
