// Runs a simulated unit on the master side of a pseudo-terminal: what the downloader writes
// to the slave goes to the unit, the unit's replies go back after their delays, optionally
// paced like a 9600-baud line (960 bytes/s in each direction).
#pragma once

#include "UnitSimulator.h"

#include <chrono>
#include <ctime>
#include <csignal>
#include <deque>
#include <string>
#include <vector>

struct PtyRunnerOptions {
    bool bBaudPace = false;
    // End once the slave side, having been opened, is closed by everyone. Otherwise the
    // runner keeps a descriptor of its own on the slave, so the downloader can close and
    // reopen the port (it does so on every reset), and runs until stopped.
    bool bExitOnClose = false;
    // Record each turnaround: from writing an acknowledgement "." to reading the first byte
    // the downloader sends after it.
    bool bRecordTurnaround = false;
};

class CPtyUnitRunner {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double LINE_BYTES_PER_SECOND = 960.0; // 9600 baud, 10 bits a byte

    CPtyUnitRunner(UnitSimulator& unit, PtyRunnerOptions options);
    ~CPtyUnitRunner();
    CPtyUnitRunner(const CPtyUnitRunner&) = delete;
    CPtyUnitRunner& operator=(const CPtyUnitRunner&) = delete;

    // Creates the pseudo-terminal in raw mode; the slave's path in *pSlavePath, or false with
    // the reason in *pError.
    bool Open(std::string* pSlavePath, std::string* pError);

    // Runs until *pStop is set (by a signal handler; the signals are blocked outside the
    // wait and unblocked with `waitMask` inside it) or the slave side hangs up.
    void Run(const volatile std::sig_atomic_t* pStop, const sigset_t& waitMask);

    // The recorded turnarounds, in order.
    const std::vector<Clock::duration>& Turnarounds() const { return m_turnarounds; }

private:
    struct Pending {
        std::string text;
        Clock::time_point due;
    };

    bool ReadFromSlave(Clock::time_point now);
    void DeliverDueInput(Clock::time_point now);
    void WriteDueOutput(Clock::time_point now);
    Clock::time_point NextOutputArrival() const;
    bool NextWait(Clock::time_point now, timespec* pWait) const;
    Clock::duration LineTime(std::size_t bytes) const;

    UnitSimulator& m_unit;
    const PtyRunnerOptions m_options;
    int m_masterFd = -1;
    bool m_bSlaveSeen = false;
    bool m_bOutputBlocked = false;
    std::deque<Pending> m_inbox;
    std::deque<Pending> m_outbox;
    Clock::time_point m_inputFree{};  // when the paced line has carried the last input
    Clock::time_point m_outputFree{}; // when the paced line has carried the last output byte
    bool m_bAckOutstanding = false;   // a "." went out and nothing has come back since
    Clock::time_point m_ackWrittenAt{};
    std::vector<Clock::duration> m_turnarounds;
};
