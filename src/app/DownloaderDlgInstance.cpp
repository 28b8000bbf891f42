// A second start of the program while this window runs: the window comes to the front, and the
// file it was given is opened as Open Local File once a unit is identified.
#include "app/DownloaderDlg.h"

#include "app/CommandLine.h"
#include "app/bench/BenchWindow.h"

#include "platform/SupportLog.h"

#include <QPushButton>

void CDownloaderDlg::OnSecondStart(const std::string& path)
{
    if (m_bEnded)
        return;
    // The service bench open over the window takes the file as its image.
    for (QDialog* dialog : findChildren<QDialog*>()) {
        if (auto* bench = dynamic_cast<CBenchWindow*>(dialog);
            bench != nullptr && bench->isVisible()) {
            bench->OnSecondStart(path);
            return;
        }
    }
    showNormal();
    raise();
    activateWindow();
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Note("Started again" + (path.empty() ? std::string(".") : " with " + path + "."));
    if (path.empty())
        return;
    if (const std::string why = StartFileProblem(path); !why.empty()) {
        LogLine("The file " + path + " cannot be opened: " + why + ".");
        return;
    }
    m_strStartFile = path;
    if (m_engine.Phase() == EnginePhase::Identified && m_btnOpenFile->isEnabled()) {
        OpenStartFileWhenIdentified();
        return;
    }
    LogLine(path + " will be opened once a unit is identified: waiting for the unit.");
}
