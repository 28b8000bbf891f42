// A clock for engine tests: time passes only when the test says so. Timers run out in the
// order of their deadlines; "later" calls run when the test settles.
#pragma once

#include "device/EngineClock.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class CFakeEngineClock : public IEngineClock {
public:
    class CTimer : public IEngineTimer {
    public:
        CTimer(CFakeEngineClock& clock, std::function<void()> fnFire)
            : m_clock(clock), m_fnFire(std::move(fnFire))
        {
            m_clock.m_timers.push_back(this);
        }
        ~CTimer() override { std::erase(m_clock.m_timers, this); }
        void Start(int ms) override
        {
            m_bActive = true;
            m_nDueMs = m_clock.m_nNowMs + ms;
        }
        void Stop() override { m_bActive = false; }
        bool IsActive() const override { return m_bActive; }
        long long DueMs() const { return m_nDueMs; }
        // Time moves to the deadline and the timer runs out.
        void Fire()
        {
            m_clock.m_nNowMs = std::max(m_clock.m_nNowMs, m_nDueMs);
            m_bActive = false;
            m_fnFire();
        }

    private:
        CFakeEngineClock& m_clock;
        std::function<void()> m_fnFire;
        bool m_bActive = false;
        long long m_nDueMs = 0;
    };

    std::unique_ptr<IEngineTimer> MakeTimer(std::function<void()> fnFire) override
    {
        return std::make_unique<CTimer>(*this, std::move(fnFire));
    }

    // The timers in the order they were made (an engine makes its deadline first, then its
    // reboot window).
    const std::vector<CTimer*>& Timers() const { return m_timers; }
    long long NowMs() const { return m_nNowMs; }
    // Time moves on to the earliest deadline, which runs out; false when none is set.
    bool FireNext()
    {
        CTimer* pNext = nullptr;
        for (CTimer* pTimer : m_timers)
            if (pTimer->IsActive() && (!pNext || pTimer->DueMs() < pNext->DueMs()))
                pNext = pTimer;
        if (!pNext)
            return false;
        pNext->Fire();
        return true;
    }

private:
    std::vector<CTimer*> m_timers;
    long long m_nNowMs = 0;
};
