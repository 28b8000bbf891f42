// The window's side of its update engine: rendering what the engine reports, and the
// conversation's operations, which the engine carries out.
#include "app/DownloaderDlg.h"

#include "app/PortCombo.h"
#include "app/ProgressPacer.h"
#include "app/ScreenRatePacer.h"
#include "app/StatusList.h"
#include "device/UpdateHold.h"

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {
// How many pixels of the bar `value` fills.
qint64 FilledWidth(const QProgressBar& bar, int value)
{
    const qint64 steps = qint64{bar.maximum()} - bar.minimum();
    if (steps <= 0)
        return 0;
    return (qint64{value} - bar.minimum()) * bar.width() / steps;
}
} // namespace

void CDownloaderDlg::OnClearLog()
{
    m_bInNotes = false;
    // While the program stops, the lines that say how far the update got stay in view.
    if (!m_bStopping)
        m_list->clear();
}

void CDownloaderDlg::OnWebStatus(const std::string& text, bool bNewLine)
{
    // The request's texts share one line of its own, which is not scrolled into view; when a
    // clear has taken it, the next text starts a new one.
    auto* list = static_cast<CStatusList*>(m_list);
    if (bNewLine || !list->SetHeldLine(m_webRow, text))
        m_webRow = list->AppendHeldLine(text);
}

void CDownloaderDlg::OnProgressRange(int nMax)
{
    // A run starts: said before its first line goes and the focus leaves Send.
    TellMilestone("Sending the firmware to your kx410: " + std::to_string(nMax) +
                  " lines. Please wait.");
    m_pProgressPace->SetRange(nMax);
    m_progress->setRange(0, nMax);
    ShowProgressText();
}

void CDownloaderDlg::OnProgress(int nValue) { m_pProgressPace->Offer(nValue); }

void CDownloaderDlg::ShowProgress(int nValue)
{
    const int nWas = m_progress->value();
    if (nWas == nValue)
        return;
    // A value that leaves the filled part as it was needs no paint (the bar agrees).
    if (FilledWidth(*m_progress, nWas) == FilledWidth(*m_progress, nValue)) {
        m_progress->setValue(nValue);
    } else {
        // The bar would paint itself at once; with its updates held the value is taken now
        // and the bar is painted with the newest value at the next screen refresh.
        m_progress->setUpdatesEnabled(false);
        m_progress->setValue(nValue);
        m_pProgressPacer->Request();
    }
    ShowProgressText();
}

QWidget* CDownloaderDlg::ControlWidget(EngineControl control) const
{
    switch (control) {
    case EngineControl::OpenFile: return m_btnOpenFile;
    case EngineControl::GetFromWeb: return m_btnGetFromWeb;
    case EngineControl::Send: return m_btnSend;
    case EngineControl::PortList: return m_comboPort;
    case EngineControl::Detect: return m_btnDetect;
    }
    return nullptr;
}

void CDownloaderDlg::OnEnable(EngineControl control, bool bEnabled)
{
    QWidget* widget = ControlWidget(control);
    if (widget == nullptr)
        return;
    // Send becomes usable once an image has passed its checks: the image is ready.
    if (control == EngineControl::Send && bEnabled && !widget->isEnabled())
        TellImageReady();
    widget->setEnabled(bEnabled);
}

// The focus moves once the engine's event is handled in full: the milestone that moves it (the
// unit identified) is said first, so that the user knows why the focus is elsewhere.
void CDownloaderDlg::OnFocus(EngineControl control)
{
    QWidget* widget = ControlWidget(control);
    if (widget == nullptr)
        return;
    QTimer::singleShot(0, widget, [widget] { widget->setFocus(); });
}

void CDownloaderDlg::OnPhase(int nPhase)
{
    HoldOffSleep(HoldsOffSleep(nPhase));
    // Stopping with every line acknowledged: the finish has gone out, and the program ends.
    if (m_bStopping && nPhase == PHASE_FINISHED)
        OnStoppedRunEnded("Stopped after all " + std::to_string(m_engine.ImageLineCount()) +
                          " lines were sent and the " + m_engine.Identity().m_strModel +
                          " was told to finish; its new version was not checked.");
    // The activity line starts again from its first step with every new connection.
    if (nPhase == PHASE_IDLE)
        m_nDots = 0;
    // A run logs a row per data line: those rows are told in batches.
    static_cast<CStatusList*>(m_list)->SetRowsToldInBatches(nPhase == PHASE_PROGRAMMING);
}

void CDownloaderDlg::StartProgramming() { m_engine.StartProgramming(); }
void CDownloaderDlg::OnGetFromWeb()
{
    // Said before the request takes the buttons away and the focus goes to Exit.
    TellMilestone("Getting the firmware for your kx410 from the web.");
    m_engine.GetFromWeb();
}
