// The states of the engine's conversation with the unit, the deadline each one keeps and the
// phase each one shows to the faces. The transitions themselves are CConversation's.
#pragma once

#include "device/EngineTypes.h"

enum class EngineState {
    Starting,      // no port in use yet, or the chosen one could not be opened again: connecting
    Idle,          // no conversation: no link, or one left alone
    Waking,        // the wake-up texts go out every WAKE_INTERVAL_MS until the unit answers
    WakePaused,    // waking held while the user answers Detect's prompt; no wake-up goes out
    WakeGap,       // between the two wake-up texts; what the unit says waits until it ends
    Identified,    // the unit named itself; each message gets "A"; quiet for the silence time: reset
    Programming,   // a data line is out; its acknowledgement is due within the reply time-out
    FinishPause,   // every line acknowledged: a pause before "C"; what the unit says waits
    Finishing,     // "C" is out; each answer gets "C" until the unit goes quiet to reboot
    EchoStarting,  // the echo test waits before it sends "Echo"
    EchoWaiting,   // "Echo" is out and must come back within the echo time-out
    Resetting,     // the link was closed by a reset; it opens again after RESET_PAUSE_MS
    EchoResetting, // the same, on the way into the echo test
    Reopening,     // the link is opened again once the cable allows it, then waking goes on
    EchoReopening, // the same, then "Echo" goes out
};

// The deadline a state keeps, in ms; 0: none. Reopening states take the link's own delay.
constexpr int DeadlineOf(EngineState state)
{
    switch (state) {
    case EngineState::Waking: return WAKE_INTERVAL_MS;
    case EngineState::WakeGap: return WAKE_TEXT_GAP_MS;
    case EngineState::Identified: return SILENCE_TIMEOUT_MS;
    case EngineState::Programming: return PROGRAM_REPLY_TIMEOUT_MS;
    case EngineState::FinishPause: return FINISH_PAUSE_MS;
    case EngineState::Finishing: return SILENCE_TIMEOUT_MS;
    case EngineState::EchoStarting: return ECHO_START_DELAY_MS;
    case EngineState::EchoWaiting: return ECHO_REPLY_TIMEOUT_MS;
    case EngineState::Resetting:
    case EngineState::EchoResetting: return RESET_PAUSE_MS;
    default: return 0;
    }
}

// Where the conversation with the unit stands, as the faces see it.
enum class EnginePhase { Idle, Connecting, Identified, Programming, Finished };

// The phase the faces see in a state.
constexpr EnginePhase PhaseOf(EngineState state)
{
    switch (state) {
    case EngineState::Starting:
    case EngineState::Waking:
    case EngineState::WakePaused:
    case EngineState::WakeGap:
    case EngineState::EchoStarting:
    case EngineState::EchoWaiting:
    case EngineState::Reopening:
    case EngineState::EchoReopening: return EnginePhase::Connecting;
    case EngineState::Identified: return EnginePhase::Identified;
    case EngineState::Programming:
    case EngineState::FinishPause: return EnginePhase::Programming;
    case EngineState::Finishing: return EnginePhase::Finished;
    default: return EnginePhase::Idle;
    }
}

// The name of a state, for the support log and test failures.
const char* StateName(EngineState state);
