#include "device/Conversation.h"

#include "device/DeviceNotices.h"
#include "device/ReceivedText.h"
#include "res/StringTable.h"

#include <algorithm>
#include <utility>

bool CConversation::IsEchoTestRunning() const
{
    switch (m_state) {
    case EngineState::EchoResetting:
    case EngineState::EchoStarting:
    case EngineState::EchoReopening:
    case EngineState::EchoWaiting: return true;
    default: return false;
    }
}

// Entering a state starts the deadline it keeps (ms: the state's own unless given).
void CConversation::Enter(EngineState state, int ms)
{
    m_state = state;
    m_peer.SetDeadline(ms >= 0 ? ms : DeadlineOf(state));
    m_peer.OnStateEntered(state);
}

void CConversation::RestartDeadline()
{
    if (const int ms = DeadlineOf(m_state); ms > 0)
        m_peer.SetDeadline(ms);
}

void CConversation::OnDeadline()
{
    switch (m_state) {
    case EngineState::Waking: SendWake(WAKE_TEXT_FIRST, EngineState::WakeGap); return;
    case EngineState::WakeGap:
        SendWake(WAKE_TEXT_SECOND, EngineState::Waking);
        ReleaseHeldText();
        return;
    case EngineState::Identified:
    case EngineState::Finishing: OnSilence(); return;
    case EngineState::Programming:
        EndRun(UpdateResult::Silent, UpdateFailedNotice(m_unit.m_strModel));
        return;
    case EngineState::FinishPause:
        // A unit that never answers "C" (pulled, or dead) is let go like one that goes quiet.
        (void)m_peer.Send(FINISH_TEXT);
        Enter(EngineState::Finishing);
        ReleaseHeldText();
        return;
    case EngineState::EchoStarting: OnEchoStartDeadline(); return;
    case EngineState::EchoWaiting: EndEchoTest(false); return;
    case EngineState::Resetting:
    case EngineState::EchoResetting:
        m_peer.OnResetPauseEnd(m_state == EngineState::EchoResetting);
        return;
    case EngineState::Reopening:
    case EngineState::EchoReopening:
        m_peer.OnReopenDue(m_state == EngineState::EchoReopening);
        return;
    case EngineState::Starting:
    case EngineState::Idle:
    case EngineState::WakePaused: return;
    }
}

void CConversation::OnText(const std::string& text) { Dispatch(text); }

void CConversation::Dispatch(const std::string& text)
{
    switch (m_state) {
    case EngineState::WakeGap:
    case EngineState::FinishPause: m_heldText.push_back(text); return;
    case EngineState::EchoStarting:
    case EngineState::EchoWaiting: OnEchoText(text); return;
    case EngineState::Resetting:
    case EngineState::EchoResetting:
    case EngineState::Reopening:
    case EngineState::EchoReopening: return; // the link is on its way back: nothing is taken
    case EngineState::Waking:
    case EngineState::WakePaused:
        AppendReceivedChunk(m_strReceived, text, RECEIVED_TRIM_CHARS);
        OnConnectingText();
        return;
    case EngineState::Identified:
        // Every message of an identified unit gets its keep-alive.
        m_strReceived.clear();
        RestartDeadline();
        SendKeepAlive();
        return;
    case EngineState::Programming:
        AppendReceivedChunk(m_strReceived, text, RECEIVED_TRIM_CHARS);
        OnProgramText();
        return;
    case EngineState::Finishing:
        m_bFinishAnswered = true;
        m_peer.OnFinishAnswered();
        m_strReceived.clear();
        RestartDeadline();
        (void)m_peer.Send(FINISH_TEXT);
        return;
    case EngineState::Starting:
    case EngineState::Idle:
        AppendReceivedChunk(m_strReceived, text, RECEIVED_TRIM_CHARS);
        KeepRecentReceived(); // no conversation: the text is only collected
        return;
    }
}

// What the unit said during a pause, in the order it came, once the pause is over.
void CConversation::ReleaseHeldText()
{
    while (m_state != EngineState::WakeGap && m_state != EngineState::FinishPause &&
           !m_heldText.empty()) {
        const std::string text = std::move(m_heldText.front());
        m_heldText.pop_front();
        Dispatch(text);
    }
}

void CConversation::KeepRecentReceived()
{
    // Text that is only collected is never searched beyond its newest characters: a unit
    // that keeps talking must not make the buffer grow for as long as it talks.
    if (m_strReceived.size() > RECEIVED_TRIM_CHARS)
        m_strReceived.erase(0, m_strReceived.size() - RECEIVED_TRIM_CHARS);
}

void CConversation::Stop(bool bConnecting)
{
    m_heldText.clear();
    Enter(bConnecting ? EngineState::Starting : EngineState::Idle);
}

void CConversation::Halt()
{
    m_heldText.clear();
    m_state = EngineState::Idle;
}

// --- waking and identifying ---

// A wake-up text the link does not take opens the link again: a serial port at once, after
// which waking goes on as if it had gone; the USB cable once it allows, after which waking
// starts anew.
void CConversation::SendWake(std::string_view text, EngineState next)
{
    if (!m_peer.Send(text)) {
        const int ms = m_peer.ReopenLink();
        if (ms < 0) {
            Stop(true);
            return;
        }
        if (ms > 0) {
            WaitForCable(false, ms);
            return;
        }
    }
    if (next == EngineState::WakeGap) {
        // The second text follows after a short gap; the unit's answer waits until it has gone.
        Enter(EngineState::WakeGap);
        return;
    }
    m_strReceived.clear();
    Enter(EngineState::Waking);
    m_peer.OnWakeRound();
}

void CConversation::PauseWaking()
{
    if (m_state != EngineState::Waking && m_state != EngineState::WakeGap &&
        m_state != EngineState::Reopening)
        return;
    m_resumeState =
        m_state == EngineState::Reopening ? EngineState::Reopening : EngineState::Waking;
    Enter(EngineState::WakePaused);
    ReleaseHeldText();
}

void CConversation::ResumeWaking()
{
    if (m_state != EngineState::WakePaused)
        return;
    // A cable that was waited for is tried at once; the engine waits again if it must.
    Enter(m_resumeState, m_resumeState == EngineState::Reopening ? 1 : -1);
}

void CConversation::BeginResetPause(bool bEcho)
{
    m_heldText.clear();
    m_strReceived.clear();
    Enter(bEcho ? EngineState::EchoResetting : EngineState::Resetting);
}

void CConversation::WaitForCable(bool bEcho, int ms)
{
    Enter(bEcho ? EngineState::EchoReopening : EngineState::Reopening, std::max(ms, 1));
}

void CConversation::OnConnectingText()
{
    // Text before the first place where an identification could begin is noise.
    const IdentificationScan scan = FindIdentification(m_strReceived);
    m_strReceived.erase(0, std::min(scan.pos, m_strReceived.size()));
    if (scan.bComplete) {
        IdentifyUnit();
        return;
    }
    // A text on its way gets its second; noise does not hold the wake-up back.
    if (scan.pos != std::string::npos && m_state == EngineState::Waking)
        RestartDeadline();
}

void CConversation::IdentifyUnit()
{
    const std::vector<std::string> facts = ParseIdentification(m_strReceived, m_unit);
    m_strReceived.clear();
    m_peer.OnIdentifying(m_unit, facts);
    Enter(EngineState::Identified);
    SendKeepAlive();
    // The moment counts as a first keep-alive: the unit hears "A" twice.
    m_strReceived.clear();
    RestartDeadline();
    SendKeepAlive();
    m_peer.OnIdentified(m_unit);
}

// A keep-alive the link does not take is followed by the unit's silence, which resets it.
void CConversation::SendKeepAlive() { (void)m_peer.Send(KEEP_ALIVE_TEXT); }

// --- the programming run ---

void CConversation::StartRun(std::deque<std::string> lines, int nTotal)
{
    m_lines = std::move(lines);
    m_bFinishAnswered = false;
    m_bInterruptRequested = false;
    m_nLinesSent = 0;
    m_nRunLines = nTotal;
    m_peer.OnRunStarting(nTotal);
    Enter(EngineState::Programming);
    if (m_lines.empty()) {
        EndRun(UpdateResult::Empty, LoadString(IDS_UNEXPECTED_EOF));
        return;
    }
    if (SendNextLine())
        RestartDeadline();
}

void CConversation::InterruptRun()
{
    if (m_state == EngineState::Programming)
        m_bInterruptRequested = true;
}

void CConversation::OnLinkLost()
{
    // No answer can come over a link that has failed: the run ends now, not at its time-out.
    if (m_state == EngineState::Programming)
        EndRun(UpdateResult::LinkLost, UpdateFailedNotice(m_unit.m_strModel));
}

// The next line goes out, followed by "aa"; a line the link does not take ends the run at once.
bool CConversation::SendNextLine()
{
    const std::string line = std::move(m_lines.front());
    m_lines.pop_front();
    if (!m_peer.SendDataLine(line, LINE_END_TEXT)) {
        EndRun(UpdateResult::LinkLost, UpdateFailedNotice(m_unit.m_strModel));
        return false;
    }
    ++m_nLinesSent;
    m_peer.OnLineSent(line, m_nLinesSent);
    return true;
}

// "." takes the line, "/" reports it corrupt; anything else is the unit still talking.
void CConversation::OnProgramText()
{
    RestartDeadline();
    const bool bTaken = m_strReceived.find('.') != std::string::npos;
    if (!bTaken && m_strReceived.find('/') == std::string::npos) {
        KeepRecentReceived();
        return;
    }
    m_strReceived.clear();
    // The line's reply is whole: its entry comes before what the reply leads to.
    m_peer.OnLineAnswered();
    if (bTaken)
        OnAcknowledgement();
    else
        EndRun(UpdateResult::Corrupt, CorruptProgramNotice(m_unit.m_strModel));
}

void CConversation::OnAcknowledgement()
{
    if (m_lines.empty())
        FinishRun();
    else if (m_bInterruptRequested)
        EndRun(UpdateResult::Interrupted,
               "Update stopped after line " + std::to_string(m_nLinesSent) + " of " +
                   std::to_string(m_nRunLines) + ". The " + m_unit.m_strModel +
                   " must be updated again before it is used.");
    else
        SendNextLine();
}

// A run that did not finish: nothing more goes to the unit until the engine has reset it.
void CConversation::EndRun(UpdateResult result, const std::string& text)
{
    m_bInterruptRequested = false;
    Enter(EngineState::Idle);
    m_peer.OnRunFailed(result, text);
}

void CConversation::FinishRun()
{
    m_strReceived.clear();
    std::vector<std::string> rows{"Programming successful. "};
    if (m_unit.m_strModel == MODEL_KX410)
        rows.emplace_back("Please unplug the Tetherix and power off your kx410.");
    rows.emplace_back("Before you fly ensure that the controls operate correctly.");
    m_bFinishAnswered = false;
    m_peer.OnRunSucceeded(rows);
    // A pause before "C"; what the unit says meanwhile waits.
    Enter(EngineState::FinishPause);
}

void CConversation::OnSilence()
{
    // A unit that answered after "C" and now goes quiet is rebooting into its new version.
    const bool bRebooting = m_state == EngineState::Finishing && m_bFinishAnswered;
    Enter(EngineState::Idle);
    m_strReceived.clear();
    m_peer.OnUnitSilent(bRebooting);
}

// --- the echo test: with the cable's two pins linked, "Echo" comes back within a second ---

void CConversation::StartEchoTest()
{
    Enter(EngineState::EchoStarting);
    m_peer.OnEchoStarting();
}

void CConversation::OnEchoStartDeadline()
{
    const int ms = m_peer.ReopenLink();
    if (ms < 0) {
        Stop(true);
        m_peer.OnEchoNoPort();
        return;
    }
    if (ms > 0) {
        WaitForCable(true, ms);
        return;
    }
    SendEcho();
}

// An "Echo" the link does not take cannot come back: the test fails in its own time.
void CConversation::SendEcho()
{
    m_strReceived.clear();
    (void)m_peer.Send(ECHO_TEXT);
    Enter(EngineState::EchoWaiting);
}

void CConversation::OnEchoText(const std::string& text)
{
    AppendReceivedChunk(m_strReceived, text, ECHO_TRIM_CHARS);
    if (m_strReceived.find(ECHO_TEXT) != std::string::npos)
        EndEchoTest(true);
}

void CConversation::EndEchoTest(bool bPassed)
{
    // Text arriving while the outcome is shown is not taken.
    Enter(EngineState::Idle);
    m_strReceived.clear();
    m_peer.OnEchoEnded(bPassed);
}
