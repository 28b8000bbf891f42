// Turns the update engine's face commands (IUpdateEvents: controls enabled, phases, notices)
// into the typed facts a bench channel needs, until the engine tells them in its own words. The
// one place in the bench that reads an enabled control or a phase number; every fact that the
// engine reports from inside one of its handlers is handed on once that handler has returned.
#pragma once

#include "device/UpdateEngine.h"
#include "device/UpdateEvents.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <string>

class IBenchEngineEvents {
public:
    virtual ~IBenchEngineEvents() = default;
    // A status list row: for the support log only, never parsed.
    virtual void OnStatusRow(const std::string& text) = 0;
    virtual void OnUnitIdentified(const DeviceIdentity& unit) = 0;
    // The web service's answer was checked: the image is ready, or refused with `why`.
    virtual void OnWebImage(bool bReady, const std::string& why) = 0;
    virtual void OnRunProgress(int nSent) = 0;
    // Every line was taken: the unit restarts and is checked.
    virtual void OnRunFinished() = 0;
    virtual void OnRunEnded(const UpdateOutcome& outcome) = 0;
    // The port cannot be used any more (it could not be opened, or went); `why` says so.
    virtual void OnLinkDropped(const std::string& why) = 0;
    // Lines go to the unit (true) or no longer (false).
    virtual void OnWriting(bool bWriting) = 0;
};

class CBenchEngineAdapter : public IUpdateEvents {
public:
    CBenchEngineAdapter(std::string port, IBenchEngineEvents& events)
        : m_strPort(std::move(port)), m_events(events)
    {
    }

    // The port is back under another name (the kernel renumbered it on re-plug).
    void SetPort(const std::string& port) { m_strPort = port; }
    // The engine whose handlers the facts come from (queued facts wait for them to return).
    void SetEngine(CUpdateEngine* pEngine) { m_pEngine = pEngine; }
    // A web request was started: its answer is awaited.
    void ExpectWebAnswer()
    {
        m_bAwaitingWeb = true;
        ForgetWords();
    }
    // The last sentence the user would have been shown (a notice, else the last status row).
    std::string LastWords() const { return m_strNotice.empty() ? m_strRow : m_strNotice; }
    void ForgetWords()
    {
        m_strNotice.clear();
        m_strRow.clear();
    }

    // --- IUpdateEvents ---
    void OnLogLine(const std::string& text) override
    {
        m_events.OnStatusRow(text);
        if (!text.empty() && text.front() != ':')
            m_strRow = text;
    }
    void OnClearLog() override {}
    void OnActivity() override {}
    void OnWebStatus(const std::string&, bool) override {}
    void OnProgressRange(int) override {}
    void OnProgress(int nValue) override { m_events.OnRunProgress(nValue); }
    void OnEnable(EngineControl control, bool bEnabled) override
    {
        if (control == EngineControl::Send)
            m_bSendEnabled = bEnabled;
        // The service's answer re-enables the image buttons; its verdict is read once the
        // engine has finished with the answer.
        if (control == EngineControl::OpenFile && bEnabled && m_bAwaitingWeb)
            Later([this] {
                if (!m_bAwaitingWeb || (m_pEngine && m_pEngine->IsWebRequestRunning()))
                    return;
                m_bAwaitingWeb = false;
                m_events.OnWebImage(m_bSendEnabled, LastWords());
            });
    }
    void OnPhase(int nPhase) override
    {
        m_events.OnWriting(nPhase == PHASE_PROGRAMMING);
        if (nPhase == PHASE_FINISHED && m_nPhase == PHASE_PROGRAMMING)
            m_events.OnRunFinished();
        m_nPhase = nPhase;
    }
    void OnNotice(const std::string& text) override { m_strNotice = text; }
    void OnDiagnosis(const std::string& sentence) override { m_strRow = sentence; }
    void OnMessageBox(const std::string& text) override { m_strNotice = text; }
    void OnIdentified(const DeviceIdentity& identity) override
    {
        // The engine finishes greeting the unit before anything more is asked of it.
        Later([this, identity] { m_events.OnUnitIdentified(identity); });
    }
    void OnUpdateEnded(const UpdateOutcome& outcome) override
    {
        m_events.OnWriting(false);
        m_events.OnRunEnded(outcome);
    }
    std::string SelectedPort() override { return m_strPort; }
    void OnPortChoiceDropped(bool) override
    {
        Later([this] { m_events.OnLinkDropped(LastWords()); });
    }

private:
    template <typename Fn>
    void Later(Fn fn)
    {
        if (m_pEngine != nullptr)
            QTimer::singleShot(0, m_pEngine, std::move(fn));
    }

    std::string m_strPort;
    IBenchEngineEvents& m_events;
    CUpdateEngine* m_pEngine = nullptr;
    std::string m_strNotice; // the last notice since the words were last forgotten
    std::string m_strRow;    // the last status row (or diagnosis) likewise
    bool m_bSendEnabled = false;
    bool m_bAwaitingWeb = false;
    int m_nPhase = PHASE_IDLE;
};
