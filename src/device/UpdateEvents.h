// What the update engine tells the face that drives it (the window or the command line), and the
// little it asks of it. Every call comes on the engine's thread.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineTypes.h"

#include <cstdio>
#include <string>
#include <vector>

class IUpdateEvents {
public:
    virtual ~IUpdateEvents() = default;

    // The status list: a line to add, or the whole list to clear.
    virtual void OnLogLine(const std::string& text) = 0;
    virtual void OnClearLog() = 0;
    // One more step of the "Trying to connect" activity line.
    virtual void OnActivity() = 0;
    // A web request's status text, which replaces the request's own line of the status list
    // (never another line); bNewLine: the request starts, and its (empty) line is added.
    virtual void OnWebStatus(const std::string& text, bool bNewLine) = 0;
    // The progress of a programming run: its range, then the lines sent so far.
    virtual void OnProgressRange(int nMax) = 0;
    virtual void OnProgress(int nValue) = 0;
    // A control becomes possible or impossible to use; focus moves to a control.
    virtual void OnEnable(EngineControl control, bool bEnabled) = 0;
    virtual void OnFocus(EngineControl) {}
    // The conversation entered another phase.
    virtual void OnPhase(int) {}
    // Something the user must acknowledge (a modal notice; a face without one prints it).
    virtual void OnNotice(const std::string& text) = 0;
    // The sentence that says why a port or the cable could not be used and what to do about
    // it; it also follows the notice and goes to the status list. Also said on stderr.
    virtual void OnDiagnosis(const std::string& sentence)
    {
        std::fprintf(stderr, "%s\n", sentence.c_str());
    }
    // A driver error shown as a standard message box.
    virtual void OnMessageBox(const std::string& text) = 0;
    // The unit identified itself.
    virtual void OnIdentified(const DeviceIdentity&) {}
    // The echo test ended.
    virtual void OnEchoEnded(bool) {}
    // Every data line was acknowledged: the lines that say so were just logged.
    virtual void OnProgrammingSucceeded(const std::vector<std::string>&) {}
    // A programming run ended: failed, or finished and (when possible) checked.
    virtual void OnUpdateEnded(const UpdateOutcome&) {}

    // The port the user has chosen ("USB" for the cable, else a serial port's name); empty when
    // none is chosen.
    virtual std::string SelectedPort() = 0;
    // A port was opened as the link; bRemember: it becomes the saved choice.
    virtual void OnPortOpened(const std::string&, bool) {}
    // The chosen port cannot be used: the choice is dropped (bForget: the saved name too).
    virtual void OnPortChoiceDropped(bool bForget) = 0;
};
