// The engine's sense of time: one-shot timers and "after the current event", so that the
// engine runs on Qt's event loop in the programs and on a fake clock in tests.
#pragma once

#include <functional>
#include <memory>

class IEngineTimer {
public:
    virtual ~IEngineTimer() = default;
    // (Re)starts the timer: it fires once, `ms` from now, unless stopped or started again.
    virtual void Start(int ms) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};

class IEngineClock {
public:
    virtual ~IEngineClock() = default;
    // A timer that calls `fnFire` on the engine's thread when it runs out.
    virtual std::unique_ptr<IEngineTimer> MakeTimer(std::function<void()> fnFire) = 0;
};
