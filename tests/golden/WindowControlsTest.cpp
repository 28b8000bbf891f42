// The window's controls as a function of the engine's snapshot, state by state.
#include "app/WindowControls.h"

#include <gtest/gtest.h>

namespace {
struct Case {
    EngineState state;
    EngineRequest request;
    bool bImageReady;
    const char* expected; // OpenFile GetFromWeb Send PortList Detect, then the focus (F: Open File)
};

std::string Text(const WindowControls& c)
{
    auto flag = [](bool b) { return b ? '1' : '0'; };
    return {flag(c.bOpenFile), flag(c.bGetFromWeb), flag(c.bSend),
            flag(c.bPortList), flag(c.bDetect),     c.focus == WindowControl::OpenFile ? 'F' : '-'};
}
} // namespace

TEST(WindowControls, FollowTheSnapshot)
{
    const Case cases[] = {
        {EngineState::Starting, EngineRequest::None, false, "00011-"},
        {EngineState::Waking, EngineRequest::None, false, "00011-"},
        {EngineState::WakePaused, EngineRequest::None, false, "00011-"},
        {EngineState::Identified, EngineRequest::None, false, "11000F"},
        {EngineState::Identified, EngineRequest::None, true, "11100F"},
        {EngineState::Identified, EngineRequest::Fetch, true, "00000F"},
        {EngineState::Identified, EngineRequest::Report, false, "11000F"},
        {EngineState::Programming, EngineRequest::None, true, "00000-"},
        {EngineState::FinishPause, EngineRequest::None, false, "00000-"},
        {EngineState::Finishing, EngineRequest::Report, false, "00000-"},
        {EngineState::Resetting, EngineRequest::None, true, "00011-"},
        {EngineState::Idle, EngineRequest::None, true, "00011-"},
        {EngineState::EchoWaiting, EngineRequest::None, false, "00011-"},
        {EngineState::Reopening, EngineRequest::None, false, "00011-"},
    };
    for (const Case& c : cases) {
        EngineSnapshot snapshot;
        snapshot.state = c.state;
        snapshot.phase = PhaseOf(c.state);
        snapshot.request = c.request;
        snapshot.image.bReady = c.bImageReady;
        EXPECT_EQ(Text(ControlsFor(snapshot)), c.expected) << StateName(c.state);
    }
}
