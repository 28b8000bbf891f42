// One unit on one port: drives its own update engine through identification, the image, the
// programming run and the check after it, and ends with a UnitReport. The session decides
// when a ready unit may be programmed (after a confirmation) and hears of every change.
#pragma once

#include "cli/UnitReport.h"
#include "device/UpdateEngine.h"
#include "device/UpdateEvents.h"
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

class CUnitRunner : public IUpdateEvents {
public:
    enum class EState { Connecting, FetchingImage, Ready, Programming, Checking, Done };

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

    EState State() const { return m_state; }
    bool IsDone() const { return m_state == EState::Done; }
    bool IsReportPending() const { return m_engine.IsReportRunning(); }
    const UnitReport& Report() const { return m_report; }
    const UnitSettings& Settings() const { return m_settings; }
    int Progress() const { return m_nProgress; }
    int ProgressMax() const { return m_nProgressMax; }
    // "Update kx410 serial 12345 from Ver 1.00 to Ver 1.07?" without the answer hint.
    std::string Question() const;

    // --- IUpdateEvents ---
    void OnLogLine(const std::string& text) override;
    void OnClearLog() override {}
    void OnActivity() override {}
    void OnWebStatus(const std::string& text, bool bNewLine) override;
    void OnProgressRange(int nMax) override;
    void OnProgress(int nValue) override;
    void OnEnable(EngineControl control, bool bEnabled) override;
    void OnPhase(int nPhase) override;
    void OnNotice(const std::string& text) override;
    // The sentence that says why a port could not be used comes with the notice it follows.
    void OnDiagnosis(const std::string&) override {}
    void OnMessageBox(const std::string& text) override;
    void OnIdentified(const DeviceIdentity& identity) override;
    void OnEchoEnded(bool bPassed) override;
    void OnUpdateEnded(const UpdateOutcome& outcome) override;
    std::string SelectedPort() override;
    void OnPortChoiceDropped(bool bForget) override;

private:
    void LoadImage();
    void AfterWebAnswer();
    void BecomeReady();
    void Finish(FlashResult result, const std::string& text);
    void FinishFromOutcome();
    void OnDeadline();
    void StartDeadline();
    void Message(const std::string& text);
    void SetState(EState state);
    std::string ModelName() const;

    const int m_nIndex;
    const UnitSettings m_settings;
    IUnitListener& m_listener;
    CSupportLog* m_pLog;
    CUpdateEngine m_engine;
    CSleepInhibitor m_inhibitor; // held while lines go to the unit
    QTimer m_deadline;
    QElapsedTimer m_clock;
    EState m_state = EState::Connecting;
    UnitReport m_report;
    std::vector<std::string> m_checkLines; // status lines of the image check in progress
    std::vector<std::string> m_notices;    // notices shown since the last outcome
    UpdateOutcome m_outcome;
    std::string m_strLastMessage;
    bool m_bOutcomePending = false;
    bool m_bApproved = false;
    bool m_bInterrupted = false;
    bool m_bSendEnabled = false;
    int m_nProgress = 0;
    int m_nProgressMax = 0;
};
