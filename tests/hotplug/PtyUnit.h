// A simulated kx410 answering on the test's end of a pseudo-terminal, in a thread of its own:
// what the downloader writes to the port reaches the unit, the unit's replies come back after
// their delays. It stops before its cable is unplugged.
#pragma once

#include "UnitSimulator.h"

#include <atomic>
#include <thread>

class CPtyUnit {
public:
    explicit CPtyUnit(int unitSideFd);
    ~CPtyUnit() { Stop(); }
    CPtyUnit(const CPtyUnit&) = delete;
    CPtyUnit& operator=(const CPtyUnit&) = delete;

    void Stop();

private:
    void Run();

    const int m_fd;
    UnitSimulator m_unit;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};
