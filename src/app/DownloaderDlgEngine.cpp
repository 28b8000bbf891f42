// The window's side of its update engine: rendering what the engine reports, and the
// conversation's operations, which the engine carries out.
#include "app/DownloaderDlg.h"

#include "app/PortCombo.h"
#include "app/ProgressPacer.h"
#include "app/ScreenRatePacer.h"
#include "app/StatusList.h"
#include "device/FirmwareImage.h"
#include "device/NotesBreaker.h"
#include "res/StringTable.h"
#include "platform/SupportLog.h"

#include <QAccessible>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {
// How many pixels of the bar `value` fills.
qint64 FilledWidth(const QProgressBar& bar, int value)
{
    const qint64 steps = qint64{bar.maximum()} - bar.minimum();
    if (steps <= 0)
        return 0;
    return (qint64{value} - bar.minimum()) * bar.width() / steps;
}
constexpr int ACTIVITY_STEPS = 10; // the activity line cycles through ten forms

std::string ActivitySuffix(int step)
{
    if (step == 0)
        return "  ";
    return " " + std::string(static_cast<size_t>(step), '.');
}

CStatusList* AsStatusList(QListWidget* list)
{
    return qobject_cast<CStatusList*>(list);
}
} // namespace

void CDownloaderDlg::OnStatusCleared()
{
    m_bInNotes = false;
    // While the program stops, the lines that say how far the update got stay in view.
    if (!m_stop.IsStopping())
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

void CDownloaderDlg::OnRunStarted(int nTotalLines)
{
    const int nMax = std::max(nTotalLines, 1);
    // A run starts: said before its first line goes and the focus leaves Send.
    m_pMilestones->Tell("Sending the firmware to your kx410: " + std::to_string(nMax) +
                  " lines. Please wait.");
    m_pProgressPace->SetRange(nMax);
    m_progress->setRange(0, nMax);
    ShowProgressText();
}

void CDownloaderDlg::OnProgress(const RunProgress& progress)
{
    if (!progress.strLine.empty())
        LogLine(progress.strLine);
    m_pProgressPace->Offer(progress.nBar);
}

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

QWidget* CDownloaderDlg::ControlWidget(WindowControl control) const
{
    switch (control) {
    case WindowControl::OpenFile: return m_btnOpenFile;
    case WindowControl::GetFromWeb: return m_btnGetFromWeb;
    case WindowControl::Send: return m_btnSend;
    case WindowControl::PortList: return m_comboPort;
    case WindowControl::Detect: return m_btnDetect;
    case WindowControl::None: return nullptr;
    }
    return nullptr;
}

void CDownloaderDlg::ApplyControls(const WindowControls& controls)
{
    for (const WindowControl control : {WindowControl::OpenFile, WindowControl::GetFromWeb,
                                        WindowControl::Send, WindowControl::PortList,
                                        WindowControl::Detect})
        ControlWidget(control)->setEnabled(controls.Enabled(control));
    // The focus moves once the engine's event is handled in full: the milestone that moves it
    // (the unit identified) is said first, so that the user knows why the focus is elsewhere.
    if (controls.focus == m_focusFollowed)
        return;
    m_focusFollowed = controls.focus;
    if (QWidget* widget = ControlWidget(controls.focus))
        QTimer::singleShot(0, widget, [this, widget] { MoveFocus(widget); });
}

// A notice that is open keeps the focus: the Enter that closes it must not reach the control
// the engine's step moved to. The move is made once the notice has gone. (The window itself
// may be the modal one.)
void CDownloaderDlg::MoveFocus(QWidget* widget)
{
    if (QWidget* pModal = QApplication::activeModalWidget(); pModal != nullptr && pModal != this) {
        m_pFocusAfterNotice = widget;
        return;
    }
    m_pFocusAfterNotice = nullptr;
    widget->setFocus();
}

void CDownloaderDlg::ShowNoticeDialog(const std::string& text)
{
    m_noticeDlg.m_strText = text;
    m_noticeDlg.DoModal();
    if (QWidget* widget = m_pFocusAfterNotice; widget != nullptr && widget->isEnabled())
        MoveFocus(widget);
}

void CDownloaderDlg::OnChanged(const EngineSnapshot& snapshot)
{
    ApplyControls(ControlsFor(snapshot));
    if (snapshot.phase == m_shownPhase)
        return;
    m_shownPhase = snapshot.phase;
    m_stop.OnPhase(snapshot);
    // The activity line starts again from its first step with every new connection.
    if (snapshot.phase == EnginePhase::Idle)
        m_nDots = 0;
    // A run logs a row per data line: those rows are told in batches.
    static_cast<CStatusList*>(m_list)->SetRowsToldInBatches(snapshot.phase ==
                                                            EnginePhase::Programming);
}

// Nothing the user must acknowledge holds up the engine: the notice opens once the engine's
// handler has returned.
void CDownloaderDlg::OnNotice(const EngineNotice& notice)
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Notice(notice.strText);
    QTimer::singleShot(0, this, [this, notice] {
        // The program is ending: nobody is there to press OK.
        if (m_stop.IsStopping() || m_stop.IsEnded())
            return;
        if (notice.IsMessageBox()) {
            QMessageBox::warning(this, QStringLiteral("Kestova"),
                                 QString::fromStdString(notice.strText), QMessageBox::Ok);
            return;
        }
        ShowNoticeDialog(notice.strText);
    });
}

void CDownloaderDlg::StartProgramming() { m_engine.StartProgramming(); }
void CDownloaderDlg::OnGetFromWeb()
{
    // Said before the request takes the buttons away and the focus goes to Exit.
    m_pMilestones->Tell("Getting the firmware for your kx410 from the web.");
    m_engine.GetFromWeb();
}

void CDownloaderDlg::LogLine(const std::string& text)
{
    // The newest line is always in view, however long the list is; the list brings it there
    // once per pass of the event loop, not once per line.
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Status(text);
    if (CStatusList* list = AsStatusList(m_list)) {
        // The engine gives an image's release notes in pieces of a set number of characters:
        // they are one line here, wrapped once at the list's width.
        const bool bNotesGoOn = m_bInNotes && text != TEXT_READY_TO_UPDATE;
        m_bInNotes = bNotesGoOn || text.rfind(NOTES_PREFIX, 0) == 0;
        list->AppendLine(text, bNotesGoOn);
        return;
    }
    m_list->addItem(QString::fromStdString(text));
    m_list->scrollToBottom();
}

void CDownloaderDlg::ShowActivity()
{
    const std::string base = LoadString(IDS_TRYING_TO_CONNECT);
    // The activity line is held by its row: the one shown before is taken away, wherever lines
    // logged since have left it, and the new one ends the list. No other line is touched.
    CStatusList* list = AsStatusList(m_list);
    list->RemoveHeldLine(m_activityRow);
    const int step = (m_nDots >= 0 && m_nDots < ACTIVITY_STEPS) ? m_nDots : 0;
    m_activityRow = list->AppendHeldLine(base + ActivitySuffix(step));
    m_nDots = step + 1 < ACTIVITY_STEPS ? step + 1 : 0;
}

void CDownloaderDlg::ShowNotice(const std::string& text)
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Notice(text);
    // The program is ending: nobody is there to press OK.
    if (m_stop.IsStopping() || m_stop.IsEnded())
        return;
    ShowNoticeDialog(text);
}

void CDownloaderDlg::SetImageButtons(bool bOpenFile, bool bGetFromWeb, bool bSend)
{
    m_btnOpenFile->setEnabled(bOpenFile);
    m_btnGetFromWeb->setEnabled(bGetFromWeb);
    m_btnSend->setEnabled(bSend);
}

// The end of an update is said to a screen reader where it would otherwise be only a status line
// or two: the focus stays where it is. What a notice says, the notice says itself.
void CDownloaderDlg::OnRunSucceeded(const std::vector<std::string>& lines)
{
    std::string sentence;
    for (const auto& line : lines) {
        const auto end = line.find_last_not_of(' ');
        if (end == std::string::npos)
            continue;
        sentence += (sentence.empty() ? "" : " ") + line.substr(0, end + 1);
    }
    m_pMilestones->Announce(sentence);
    m_pMilestones->OnRunSucceeded(m_engine.Identity());
}

void CDownloaderDlg::OnRunEnded(const UpdateOutcome& outcome)
{
    m_pMilestones->OnRunEnded();
    if (!m_stop.OnRunEnded(outcome.strText) && !outcome.bNoticeShown)
        m_pMilestones->Announce(outcome.strText);
}


// The bar's value in words, for assistive technology (the bar shows no text of its own).
void CDownloaderDlg::ShowProgressText()
{
    if (!QAccessible::isActive())
        return;
    m_progress->setAccessibleDescription(QStringLiteral("%1 of %2 lines sent")
                                             .arg(m_progress->value())
                                             .arg(m_progress->maximum()));
}

void CDownloaderDlg::showEvent(QShowEvent* e)
{
    m_stop.WatchWindow();
    QDialog::showEvent(e);
    m_pMilestones->OnShown();
}

void CDownloaderDlg::OnImageReady(const EngineSnapshot::Image& image)
{
    m_pMilestones->OnImageReady(image);
}

void CDownloaderDlg::OnImageRefused(ImageRefusal why, const std::string& text)
{
    m_pMilestones->OnImageRefused(why, text);
}

void CDownloaderDlg::OnUnitIdentified(const DeviceIdentity& identity)
{
    m_pMilestones->OnUnitIdentified(identity);
    if (m_strStartFile.empty())
        return;
    // Opened once the engine has finished with the identification and Open Local File can be
    // used, as if the user had chosen the file then.
    QTimer::singleShot(0, this, [this] { OpenStartFileWhenIdentified(); });
}

void CDownloaderDlg::OnDiagnosis(const std::string& sentence)
{
    std::fprintf(stderr, "%s\n", sentence.c_str());
    m_pMilestones->OnDiagnosis(sentence);
}

void CDownloaderDlg::ConnectSelectedPort()
{
    const std::string port = SelectedPort();
    m_pMilestones->BeginPort(port);
    m_engine.ChoosePort(port);
    m_engine.ConnectChosenPort();
    m_pMilestones->EndPort();
}

std::string CDownloaderDlg::SelectedPort() const { return m_pPorts->SelectedPort(); }

void CDownloaderDlg::OnLinkOpened(const std::string& name, bool bRemember)
{
    m_pMilestones->OnPortOpened();
    m_pPorts->OnPortOpened(name, bRemember);
}

void CDownloaderDlg::OnLinkDropped(const LinkError&, bool bForget)
{
    m_pPorts->OnPortChoiceDropped(bForget);
}
