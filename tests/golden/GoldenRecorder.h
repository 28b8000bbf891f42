// The face of the golden transcripts: records everything the update engine tells its face, the
// bytes it sends to the unit (read from the support log) and the log's own entries, as plain
// text lines grouped by scenario step, with machine-dependent paths replaced by names.
#pragma once

#include "device/UpdateEvents.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

class CSupportLog;

class CGoldenRecorder : public IUpdateEvents {
public:
    explicit CGoldenRecorder(CSupportLog& log) : m_log(log) {}

    // The port the face's list shows; empty: none chosen.
    void SetSelectedPort(const std::string& name) { m_strSelected = name; }
    // Every later line shows `text` as `name` (a terminal's path, a temporary folder).
    void AddAlias(const std::string& text, const std::string& name) { m_aliases.emplace_back(text, name); }
    // A step of the scenario begins; writes to the unit it causes are marked with `cause`.
    void BeginStep(const std::string& title, const std::string& cause);
    // The step has ended: the log is read up to now, and the controls' states are written.
    void EndStep();
    void Note(const std::string& line) { Event(line); }
    // The bytes the engine has sent since the last call, for the unit on the line.
    std::string TakeSentBytes();
    // The engine writes to the unit (the support log counts a keep-alive, so the link tells).
    void OnUnitWrite(std::string_view bytes);
    const std::string& Transcript() const { return m_strText; }

    void OnLogLine(const std::string& text) override;
    void OnClearLog() override;
    void OnActivity() override;
    void OnWebStatus(const std::string& text, bool bNewLine) override;
    void OnProgressRange(int nMax) override;
    void OnProgress(int nValue) override;
    void OnEnable(EngineControl control, bool bEnabled) override;
    void OnFocus(EngineControl control) override;
    void OnNotice(const std::string& text) override;
    void OnDiagnosis(const std::string& sentence) override;
    void OnMessageBox(const std::string& text) override;
    void OnIdentified(const DeviceIdentity& id) override;
    void OnEchoEnded(bool bPassed) override;
    void OnProgrammingSucceeded(const std::vector<std::string>& lines) override;
    void OnUpdateEnded(const UpdateOutcome& outcome) override;
    std::string SelectedPort() override { return m_strSelected; }
    void OnPortOpened(const std::string& name, bool bRemember) override;
    void OnPortChoiceDropped(bool bForget) override;

    // Text as one readable line: CR, LF, TAB and other control bytes escaped.
    static std::string Quote(const std::string& text);

private:
    void Write(const std::string& line);
    // A line that the support log's newer entries precede.
    void Event(const std::string& line);
    void ReadLog();

    CSupportLog& m_log;
    std::string m_strSelected;
    std::vector<std::pair<std::string, std::string>> m_aliases;
    std::string m_strCause;
    std::string m_strText;
    std::string m_strSent;
    // The data line the log traced last (and the transcript shows), until it is written.
    std::string m_strDataLine;
    std::size_t m_nEntriesRead = 0;
    std::map<EngineControl, char> m_enabled;
};
