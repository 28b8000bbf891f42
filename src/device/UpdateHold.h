// When an update must not be cut short by sleep or shutdown, and the reason given for it: the
// faces hold their sleep inhibitor by these, from the engine's phases.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineState.h"

#include <string>

// Data lines or the finish are going to the unit.
inline bool HoldsOffSleep(EnginePhase phase)
{
    return phase == EnginePhase::Programming || phase == EnginePhase::Finished;
}

inline std::string HoldReason(const DeviceIdentity& unit)
{
    return "Updating the firmware of " + unit.m_strModel + " serial " + unit.m_strSerialNumber;
}
