// The cable echo test: with the cable's two pins linked, "Echo" must come back within a second.
#include "app/DownloaderDlg.h"

#include "device/ReceivedText.h"
#include "res/StringTable.h"

#include <QListWidget>

namespace {
const char* ECHO_TEXT = "Echo";
}

void CDownloaderDlg::OnEchoStartTimer()
{
    KillTimer(TIMER_ECHO_START);
    if (!ReopenLink()) {
        ShowNotice("Cannot find Tetherix port");
        m_bEchoMode = false;
        return;
    }
    m_strReceived.clear();
    SendText(ECHO_TEXT);
    SetTimer(TIMER_ECHO_REPLY, ECHO_REPLY_TIMEOUT_MS);
}

void CDownloaderDlg::OnEchoText(const std::string& text)
{
    AppendReceivedChunk(m_strReceived, text, ECHO_TRIM_CHARS);
    if (m_strReceived.find(ECHO_TEXT) == std::string::npos)
        return;
    KillTimer(TIMER_ECHO_REPLY);
    EndEchoTest(LoadString(IDS_ECHO_PASSED));
}

void CDownloaderDlg::OnEchoReplyTimer()
{
    KillTimer(TIMER_ECHO_REPLY);
    EndEchoTest(LoadString(IDS_ECHO_FAILED));
}

void CDownloaderDlg::EndEchoTest(const std::string& outcome)
{
    // Text arriving while the outcome is shown and the link is reset is thrown away.
    m_bDropReceived = true;
    ShowNotice(outcome);
    m_list->clear();
    ResetConnection();
    m_strReceived.clear();
    m_bEchoMode = false;
    m_bDropReceived = false;
}
