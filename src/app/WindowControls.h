// The window's controls that follow the engine: whether each can be used, and where the focus
// goes, as one pure function of the engine's snapshot.
#pragma once

#include "device/EngineSnapshot.h"

enum class WindowControl { OpenFile, GetFromWeb, Send, PortList, Detect, None };

struct WindowControls {
    bool bOpenFile = false;
    bool bGetFromWeb = false;
    bool bSend = false;
    bool bPortList = true;
    bool bDetect = true;
    // Where the focus belongs in this snapshot; the window moves it there when this changes.
    WindowControl focus = WindowControl::None;

    bool Enabled(WindowControl control) const;
    bool operator==(const WindowControls&) const = default;
};

WindowControls ControlsFor(const EngineSnapshot& snapshot);
