// The engine's clock in the programs: Qt's timers and queued calls on the engine's thread.
#pragma once

#include "device/EngineClock.h"

#include <QObject>

class CQtEngineClock : public IEngineClock {
public:
    CQtEngineClock();
    ~CQtEngineClock() override;
    std::unique_ptr<IEngineTimer> MakeTimer(std::function<void()> fnFire) override;
    void Later(std::function<void()> fn) override;

private:
    // Queued calls die with the clock: none runs after the engine has gone.
    QObject m_context;
};
