// The cable echo test: with the cable's two pins linked, "Echo" must come back within a second.
#include "device/UpdateEngine.h"

#include "device/ReceivedText.h"
#include "res/StringTable.h"

namespace {
const char* ECHO_TEXT = "Echo";
}

void CUpdateEngine::StartEchoTest()
{
    CancelFetch("the echo test started");
    ResetConnection();
    KillTimer(TIMER_SILENCE);
    KillTimer(TIMER_WAKE);
    m_bEchoMode = true;
    Log("Testing Tetherix cable, please wait...");
    SetTimer(TIMER_ECHO_START, ECHO_START_DELAY_MS);
}

void CUpdateEngine::OnEchoStartTimer()
{
    KillTimer(TIMER_ECHO_START);
    if (!ReopenLink()) {
        ShowNotice("Cannot find Tetherix port");
        m_bEchoMode = false;
        m_events.OnEchoEnded(false);
        return;
    }
    m_strReceived.clear();
    SendText(ECHO_TEXT);
    SetTimer(TIMER_ECHO_REPLY, ECHO_REPLY_TIMEOUT_MS);
}

void CUpdateEngine::OnEchoText(const std::string& text)
{
    AppendReceivedChunk(m_strReceived, text, ECHO_TRIM_CHARS);
    if (m_strReceived.find(ECHO_TEXT) == std::string::npos)
        return;
    KillTimer(TIMER_ECHO_REPLY);
    EndEchoTest(LoadString(IDS_ECHO_PASSED));
}

void CUpdateEngine::OnEchoReplyTimer()
{
    KillTimer(TIMER_ECHO_REPLY);
    EndEchoTest(LoadString(IDS_ECHO_FAILED));
}

void CUpdateEngine::EndEchoTest(const std::string& outcome)
{
    // Text arriving while the outcome is shown and the link is reset is thrown away.
    m_bDropReceived = true;
    ShowNotice(outcome);
    ClearLog();
    ResetConnection();
    m_strReceived.clear();
    m_bEchoMode = false;
    m_bDropReceived = false;
    m_events.OnEchoEnded(outcome == LoadString(IDS_ECHO_PASSED));
}
