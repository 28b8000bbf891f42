// The cable echo test: with the cable's two pins linked, "Echo" must come back within a second.
#include "device/UpdateEngine.h"

#include "device/ReceivedText.h"
#include "res/StringTable.h"

namespace {
const char* const ECHO_TEXT = "Echo";
}

void CUpdateEngine::StartEchoTest()
{
    ResetLinkAndControls(EngineState::EchoResetting);
    // An unplugged link was let go instead: the test runs all the same and finds no cable.
    if (m_state != EngineState::EchoResetting)
        EnterEchoTest();
}

bool CUpdateEngine::IsEchoTestRunning() const
{
    switch (m_state) {
    case EngineState::EchoResetting:
    case EngineState::EchoStarting:
    case EngineState::EchoReopening:
    case EngineState::EchoWaiting: return true;
    default: return false;
    }
}

void CUpdateEngine::EnterEchoTest()
{
    Enter(EngineState::EchoStarting);
    Log("Testing Tetherix cable, please wait...");
}

void CUpdateEngine::OnEchoStartDeadline()
{
    if (!ReopenLink(EngineState::EchoReopening)) {
        Enter(EngineState::Idle);
        ShowNotice(NoticeKind::EchoNoPort, "Cannot find Tetherix port");
        m_events.OnEchoEnded(false);
        return;
    }
    if (m_state == EngineState::EchoStarting)
        SendEcho();
}

void CUpdateEngine::SendEcho()
{
    m_strReceived.clear();
    SendText(ECHO_TEXT);
    Enter(EngineState::EchoWaiting);
}

void CUpdateEngine::OnEchoText(const std::string& text)
{
    AppendReceivedChunk(m_strReceived, text, ECHO_TRIM_CHARS);
    if (m_strReceived.find(ECHO_TEXT) != std::string::npos)
        EndEchoTest(true);
}

void CUpdateEngine::EndEchoTest(bool bPassed)
{
    // Text arriving while the outcome is shown is not taken; the reset clears it.
    Enter(EngineState::Idle);
    ShowNotice(NoticeKind::EchoResult, LoadString(bPassed ? IDS_ECHO_PASSED : IDS_ECHO_FAILED));
    ClearLog();
    ResetConnection();
    m_strReceived.clear();
    m_events.OnEchoEnded(bPassed);
}
