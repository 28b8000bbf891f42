// The status list, the activity line and the notice of the main dialog.
#include "app/DownloaderDlg.h"

#include "app/StatusList.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

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
        list->AppendLine(text);
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
    m_noticeDlg.m_strText = text;
    m_noticeDlg.DoModal();
}

void CDownloaderDlg::SetImageButtons(bool bOpenFile, bool bGetFromWeb, bool bSend)
{
    m_btnOpenFile->setEnabled(bOpenFile);
    m_btnGetFromWeb->setEnabled(bGetFromWeb);
    m_btnSend->setEnabled(bSend);
}
