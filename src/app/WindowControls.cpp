#include "app/WindowControls.h"

bool WindowControls::Enabled(WindowControl control) const
{
    switch (control) {
    case WindowControl::OpenFile: return bOpenFile;
    case WindowControl::GetFromWeb: return bGetFromWeb;
    case WindowControl::Send: return bSend;
    case WindowControl::PortList: return bPortList;
    case WindowControl::Detect: return bDetect;
    case WindowControl::None: return false;
    }
    return false;
}

// An identified unit takes an image (not while one is being fetched) and keeps its port; a run
// takes everything; otherwise the port can be chosen or the cable found.
WindowControls ControlsFor(const EngineSnapshot& snapshot)
{
    WindowControls controls;
    const bool bIdentified = snapshot.phase == EnginePhase::Identified;
    const bool bFetching = snapshot.request == EngineRequest::Fetch;
    controls.bOpenFile = bIdentified && !bFetching;
    controls.bGetFromWeb = controls.bOpenFile;
    controls.bSend = controls.bOpenFile && snapshot.image.bReady;
    const bool bUnitHeld = bIdentified || snapshot.phase == EnginePhase::Programming ||
                           snapshot.phase == EnginePhase::Finished;
    controls.bPortList = !bUnitHeld;
    controls.bDetect = !bUnitHeld;
    if (bIdentified)
        controls.focus = WindowControl::OpenFile;
    return controls;
}
