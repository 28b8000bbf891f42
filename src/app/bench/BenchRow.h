// One channel of the service bench as the table shows it: the port, the unit on it, the image's
// fate and the run's progress and result, in words a user reads (never a colour alone). Pure
// logic without widgets or I/O: the channel feeds it what its engine reported.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineTypes.h"

#include <string>
#include <vector>

class CBenchRow {
public:
    // Where the channel stands; one value at a time, changed only by the calls below.
    enum class EState {
        Waiting,     // no unit identified yet on the port
        Identified,  // a unit answered; it waits for Update All (or is started at once)
        Fetching,    // its image is being asked of the firmware service
        Unsuitable,  // the image does not suit it: nothing is sent
        Current,     // it already runs the image's version: skipped
        Sending,     // lines go to it
        Checking,    // every line was taken; its version is checked once it has restarted
        Verified,    // it came back running the image's version
        NotVerified, // finished, but not seen running the image's version
        Failed,      // fell silent, reported a corrupt line, or its cable went mid-run
        Stopped,     // stopped on request after the line in flight
    };

    explicit CBenchRow(std::string port) : m_strPort(std::move(port)) {}

    // --- what happened on the channel ---
    // A unit identified itself (also after its reboot, while its version is checked). True when
    // it is a unit to start afresh: new on the channel, or back after its cable was re-plugged.
    bool Identified(const DeviceIdentity& unit);
    void FetchStarted();
    // The image was checked against the unit: it suits (with its version, "0107", and line
    // count), or it does not (the system's sentence why).
    void ImageSuits(const std::string& imageVersion, int nLines);
    void ImageRefused(const std::string& why);
    // The unit already runs the image's version and is left as it is.
    void SkippedAsCurrent();
    void RunStarted(int nTotalLines);
    void Progress(int nSent);
    // Every line was taken: the unit restarts and is checked.
    void RunFinished();
    void RunEnded(const UpdateOutcome& outcome);
    // The port or cable went (true) or is back (false). A run on it ends through its failure.
    void SetGone(bool bGone);

    // --- what the table shows ---
    const std::string& Port() const { return m_strPort; }
    EState State() const { return m_state; }
    bool IsGone() const { return m_bGone; }
    // Lines go to the unit (or its finish): Stop applies, sleep is held off.
    bool IsRunning() const { return m_state == EState::Sending || m_state == EState::Checking; }
    // Update All may start it: an identified unit that the image suits, on a port still there.
    bool CanStart() const;
    bool HasResult() const;
    const DeviceIdentity& Unit() const { return m_unit; }
    const DeviceIdentity& UnitAfter() const { return m_after; }
    int LinesSent() const { return m_nSent; }
    int TotalLines() const { return m_nTotal; }
    const std::string& ImageVersion() const { return m_strImageVersion; }
    // The run's cause of failure ("the unit fell silent"), empty unless it failed.
    const std::string& FailureCause() const { return m_strCause; }

    // "kx410 serial 12345"; empty before a unit was identified.
    std::string UnitText() const;
    // "2.08"; "1.00 → 1.07" (the "after" once checked).
    std::string LoaderText() const;
    std::string ApplicationText() const;
    // "waiting for a unit", "sending 43 %", "verified 1.07", "failed at line 326 of 1500: the
    // unit fell silent", "gone" ...
    std::string StateText() const;
    // 0–100 while and after a run; -1 before one.
    int Percent() const;
    // What a user does next, for rows that need it; empty otherwise.
    std::string Advice() const;
    // The row in one sentence for a screen reader: "ttyUSB3: kx410 serial 12345, sending 43 %."
    std::string Sentence() const;
    // A milestone worth telling as it happens, with the port ("ttyUSB3: kx410 serial 12345
    // verified, now 1.07"); empty for a state that is no milestone.
    std::string Milestone() const;

private:
    void Enter(EState state);

    std::string m_strPort;
    EState m_state = EState::Waiting;
    bool m_bGone = false;
    bool m_bReplugged = false; // gone and back since the last identification
    DeviceIdentity m_unit;
    DeviceIdentity m_after;
    std::string m_strImageVersion;
    std::string m_strRefusal;
    std::string m_strCause;
    int m_nSent = 0;
    int m_nTotal = 0;
};

// "1.07" for the four digits "0107"; empty for none.
std::string ShortVersion(const std::string& fourDigits);

// "6 verified, 1 failed, 2 waiting": the non-zero counts, in a fixed order; "no units" for none.
std::string BenchSummary(const std::vector<const CBenchRow*>& rows);
