// One unit on one port: drives its own update engine through identification, the image, the
// programming run and the check after it, and ends with a UnitReport. The session decides
// when a ready unit may be programmed (after a confirmation) and hears of every change.
#pragma once

#include "cli/UnitReport.h"
#include "device/UpdateEngine.h"
#include "device/EngineEvents.h"
#include "platform/SleepInhibitor.h"

#include <QElapsedTimer>
#include <QTimer>

#include <string>
#include <vector>

class CSupportLog;
class CUpdateHistory;

class IUnitListener {
public:
    virtual ~IUnitListener() = default;
    // A line for the user (a notice, a driver message, a result), already prefixed if needed.
    virtual void OnUnitMessage(int nIndex, const std::string& text) = 0;
    // The unit's state or progress changed.
    virtual void OnUnitChanged(int nIndex) = 0;
    // The image was accepted: the unit waits for Go().
    virtual void OnUnitReady(int nIndex) = 0;
    virtual void OnUnitDone(int nIndex) = 0;
};

struct UnitSettings {
    enum class EMode { Update, Identify, EchoTest };
    EMode mode = EMode::Update;
    std::string strPort;
    std::string strFile;    // the image file; empty: fetch it from the web service
    std::string strService; // the web service's base address
    int nTimeoutS = 20;
    bool bVerbose = false;
    bool bPrefixPort = false; // several units: every message names its port
};

// The unit's stage is read from its engine: its phase and request, and whether the run's lines
// were all taken (then the unit is awaited back from its restart).
class CUnitRunner : public IEngineEvents {
public:
    CUnitRunner(int nIndex, UnitSettings settings, IUnitListener& listener, CSupportLog* pLog);
    ~CUnitRunner() override;

    // Where this unit's programming runs are recorded (none: nowhere).
    void SetUpdateHistory(CUpdateHistory* pHistory) { m_engine.SetUpdateHistory(pHistory, "kestova-flash"); }
    void Start();
    // The user agreed: program the unit as soon as its image is ready.
    void Go();
    // The user declined, or cannot be asked.
    void Decline(const std::string& text);
    // Ctrl+C: a programming run stops after the line in flight (true: the end is awaited);
    // anything else ends at once.
    bool Interrupt();
    // Ends the unit at once as interrupted, whatever it is doing.
    void Abandon();

    bool IsDone() const { return m_bDone; }
    bool IsFetching() const { return !m_bDone && m_engine.IsWebRequestRunning(); }
    // The image is checked: the unit waits for Go().
    bool IsReady() const;
    bool IsProgramming() const;
    // Every line was taken: the unit is awaited back from its restart.
    bool IsAwaitingRestart() const { return !m_bDone && m_bAwaitingRestart; }
    bool IsReportPending() const { return m_engine.IsReportRunning(); }
    const UnitReport& Report() const { return m_report; }
    const UnitSettings& Settings() const { return m_settings; }
    int Progress() const { return m_nProgress; }
    int ProgressMax() const { return m_nProgressMax; }
    // "Update kx410 serial 12345 from Ver 1.00 to Ver 1.07?" without the answer hint.
    std::string Question() const;

    // --- what the engine reports ---
    void OnStatusRow(const std::string& text) override;
    void OnWebStatus(const std::string& text, bool bNewLine) override;
    void OnChanged(const EngineSnapshot& snapshot) override;
    void OnLinkDropped(const LinkError& error, bool bForget) override;
    void OnUnitIdentified(const DeviceIdentity& identity) override;
    void OnImageReady(const EngineSnapshot::Image& image) override;
    void OnImageRefused(ImageRefusal why, const std::string& text) override;
    void OnRunStarted(int nTotalLines) override;
    void OnProgress(const RunProgress& progress) override;
    void OnRunEnded(const UpdateOutcome& outcome) override;
    void OnEchoEnded(bool bPassed) override;
    void OnNotice(const EngineNotice& notice) override;

private:
    void Finish(FlashResult result, const std::string& text);
    void OnDeadline();
    void StartDeadline();
    void Message(const std::string& text);
    void Changed() { m_listener.OnUnitChanged(m_nIndex); }
    bool WasShown(const std::string& text) const;
    std::string ModelName() const;

    const int m_nIndex;
    const UnitSettings m_settings;
    IUnitListener& m_listener;
    CSupportLog* m_pLog;
    CUpdateEngine m_engine;
    CSleepInhibitor m_inhibitor; // held while lines go to the unit
    QTimer m_deadline;
    QElapsedTimer m_clock;
    EnginePhase m_phase = EnginePhase::Connecting; // as last heard
    UnitReport m_report;
    std::vector<std::string> m_notices; // notices shown since the run started
    std::string m_strLastMessage;
    bool m_bDone = false;
    bool m_bImageAsked = false;     // the unit's image was loaded or fetched for it
    bool m_bRunning = false;        // Go() started a run that has not ended
    bool m_bAwaitingRestart = false;
    bool m_bApproved = false;
    bool m_bInterrupted = false;
    int m_nProgress = 0;
    int m_nProgressMax = 0;
};
