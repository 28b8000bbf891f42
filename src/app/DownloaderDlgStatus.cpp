// The status list, the activity line and the notice of the main dialog.
#include "app/DownloaderDlg.h"

#include "app/Announcer.h"
#include "app/StatusList.h"
#include "device/FirmwareImage.h"
#include "device/NotesBreaker.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

#include <QAccessible>
#include <QProgressBar>
#include <QPushButton>

namespace {
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
    if (m_bStopping || m_bEnded)
        return;
    m_noticeDlg.m_strText = text;
    m_noticeDlg.DoModal();
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
    Announce(sentence);
}

void CDownloaderDlg::OnRunEnded(const UpdateOutcome& outcome)
{
    HoldOffSleep(false);
    if (m_bStopping) {
        OnStoppedRunEnded(outcome.strText);
        return;
    }
    if (!outcome.bNoticeShown)
        Announce(outcome.strText);
}

void CDownloaderDlg::Announce(const std::string& sentence)
{
    m_pAnnouncer->Announce(QString::fromStdString(sentence));
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
