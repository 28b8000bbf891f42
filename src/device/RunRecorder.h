// Makes the history record of each programming run of one engine, from the engine's own facts:
// the run's start, its failure or interruption, its last line taken, and the check after the
// unit's reboot. Each run is written once: when it ends, or when the check can no longer come.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineTypes.h"
#include "device/UpdateRecord.h"

#include <chrono>
#include <functional>
#include <string>

class CUpdateHistory;

class CRunRecorder {
public:
    using NowFn = std::function<std::chrono::system_clock::time_point()>;

    // `face`: "window", "kestova-flash" or "bench". `fnNow`: the wall clock (tests give their
    // own). `port`: the port every record names (none: the records name no port).
    CRunRecorder(CUpdateHistory& history, std::string face, NowFn fnNow = {}, std::string port = {});

    // A run starts: `unit` as identified before it, the image's source, version and length.
    void RunStarted(const DeviceIdentity& unit, const std::string& source, const std::string& imageVersion,
                    int nTotalLines);
    // The run ended before its last line was taken (failed, interrupted, refused): written now.
    void RunEnded(const UpdateOutcome& outcome);
    // Every line was taken: the record waits for the check after the unit's reboot.
    void RunFinished(int nLinesSent, const std::string& text);
    // The unit was identified again and checked: written now, with `unit`'s versions as the
    // versions after when it is the same unit.
    void RunChecked(const UpdateOutcome& outcome, const DeviceIdentity& unit);
    // No check will come (the unit fell silent, the link was closed, the program ends): a
    // finished run is written as finished, a run still sending as interrupted.
    void Settle(int nLinesSent);

    bool IsPending() const { return m_bPending; }

    // "2024-05-01T09:30:12Z".
    static std::string IsoTime(std::chrono::system_clock::time_point when);

private:
    void Write();

    CUpdateHistory& m_history;
    std::string m_strFace;
    std::string m_strPort;
    NowFn m_fnNow;
    UpdateRecord m_record;
    bool m_bPending = false;
    bool m_bFinished = false;
};
