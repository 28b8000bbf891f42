#include "device/EngineState.h"

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
