// The engine's state: entering a state starts the deadline it keeps; the deadline's end does
// what the state waits for; what the unit says goes where the state wants it.
#include "device/UpdateEngine.h"

#include <algorithm>

const char* StateName(EngineState state)
{
    switch (state) {
    case EngineState::Starting: return "starting";
    case EngineState::Idle: return "idle";
    case EngineState::Waking: return "waking";
    case EngineState::WakePaused: return "waking paused";
    case EngineState::WakeGap: return "between the wake-up texts";
    case EngineState::Identified: return "identified";
    case EngineState::Programming: return "programming";
    case EngineState::FinishPause: return "pause before finishing";
    case EngineState::Finishing: return "finishing";
    case EngineState::EchoStarting: return "echo test starting";
    case EngineState::EchoWaiting: return "echo test waiting";
    case EngineState::Resetting: return "resetting";
    case EngineState::EchoResetting: return "resetting for the echo test";
    case EngineState::Reopening: return "reopening";
    case EngineState::EchoReopening: return "reopening for the echo test";
    }
    return "?";
}

void CUpdateEngine::Enter(EngineState state)
{
    m_state = state;
    int ms = DeadlineOf(state);
    if (state == EngineState::Reopening || state == EngineState::EchoReopening)
        ms = std::max(m_session.ReopenDelayMs(), 1);
    m_session.CountKeepAlive(state == EngineState::Identified);
    if (ms > 0)
        m_pDeadline->Start(ms);
    else
        m_pDeadline->Stop();
    Publish();
}

void CUpdateEngine::RestartDeadline()
{
    if (const int ms = DeadlineOf(m_state); ms > 0)
        m_pDeadline->Start(ms);
}

void CUpdateEngine::OnDeadline()
{
    switch (m_state) {
    case EngineState::Waking: OnWakeDeadline(); return;
    case EngineState::WakeGap: OnWakeGapEnd(); ReleaseHeldText(); return;
    case EngineState::Identified:
    case EngineState::Finishing: OnSilence(); return;
    case EngineState::Programming: OnProgramReplyTimeout(); return;
    case EngineState::FinishPause: SendFinish(); ReleaseHeldText(); return;
    case EngineState::EchoStarting: OnEchoStartDeadline(); return;
    case EngineState::EchoWaiting: EndEchoTest(false); return;
    case EngineState::Resetting:
    case EngineState::EchoResetting: OnResetPauseEnd(); return;
    case EngineState::Reopening:
    case EngineState::EchoReopening: OnReopenDeadline(); return;
    case EngineState::Starting:
    case EngineState::Idle:
    case EngineState::WakePaused: return;
    }
}

void CUpdateEngine::OnRebootWindowEnd() {} // the window has passed: the verdict is a line only

// What the unit said during a pause, in the order it came, once the pause is over.
void CUpdateEngine::ReleaseHeldText()
{
    while (m_state != EngineState::WakeGap && m_state != EngineState::FinishPause &&
           !m_heldText.empty()) {
        const std::string text = std::move(m_heldText.front());
        m_heldText.pop_front();
        Dispatch(text);
    }
}

void CUpdateEngine::Dispatch(const std::string& text)
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
    default: OnReceivedText(text); return;
    }
}
