// The transcript of the golden scenarios: everything the update engine tells its face (the
// driver passes it on), the bytes it sends to the unit (read from the support log) and the log's
// own entries, as plain text lines grouped by scenario step, with machine-dependent paths
// replaced by names.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineTypes.h"

#include <string>
#include <utility>
#include <vector>

class CSupportLog;

class CGoldenRecorder {
public:
    explicit CGoldenRecorder(CSupportLog& log) : m_log(log) {}

    // The window's controls after the step, as the end of the step writes them.
    void SetControls(const std::string& text) { m_strControls = text; }
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

    void OnLogLine(const std::string& text);
    void OnClearLog();
    void OnActivity();
    void OnWebStatus(const std::string& text, bool bNewLine);
    void OnProgressRange(int nMax);
    void OnProgress(int nValue);
    void OnNotice(const std::string& text);
    void OnDiagnosis(const std::string& sentence);
    void OnMessageBox(const std::string& text);
    void OnIdentified(const DeviceIdentity& id);
    void OnEchoEnded(bool bPassed);
    void OnProgrammingSucceeded(const std::vector<std::string>& lines);
    void OnUpdateEnded(const UpdateOutcome& outcome);
    void OnPortOpened(const std::string& name, bool bRemember);
    void OnPortChoiceDropped(bool bForget);

    // Text as one readable line: CR, LF, TAB and other control bytes escaped.
    static std::string Quote(const std::string& text);

private:
    void Write(const std::string& line);
    // A line that the support log's newer entries precede.
    void Event(const std::string& line);
    void ReadLog();

    CSupportLog& m_log;
    std::vector<std::pair<std::string, std::string>> m_aliases;
    std::string m_strCause;
    std::string m_strText;
    std::string m_strSent;
    // The data line the log traced last (and the transcript shows), until it is written.
    std::string m_strDataLine;
    std::size_t m_nEntriesRead = 0;
    std::string m_strControls;
};
