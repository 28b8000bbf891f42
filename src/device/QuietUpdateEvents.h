// A face that hears nothing: every report of the engine is let go. A face that needs a few of
// them (a port probe, a test, the real-cable suite) takes this and overrides those.
#pragma once

#include "device/UpdateEvents.h"

class CQuietUpdateEvents : public IUpdateEvents {
public:
    void OnLogLine(const std::string&) override {}
    void OnClearLog() override {}
    void OnActivity() override {}
    void OnWebStatus(const std::string&, bool) override {}
    void OnProgressRange(int) override {}
    void OnProgress(int) override {}
    void OnEnable(EngineControl, bool) override {}
    void OnNotice(const std::string&) override {}
    void OnMessageBox(const std::string&) override {}
    std::string SelectedPort() override { return {}; }
    void OnPortChoiceDropped(bool) override {}
};
