// The engine's clock in the programs: Qt's timers on the engine's thread.
#pragma once

#include "device/EngineClock.h"

class CQtEngineClock : public IEngineClock {
public:
    std::unique_ptr<IEngineTimer> MakeTimer(std::function<void()> fnFire) override;
};
