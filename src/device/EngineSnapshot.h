// What an update engine knows at this moment, as its faces read it: the conversation's state,
// the link, the unit, the image, the run's progress and the request in flight. The engine keeps
// it current; a face derives what it shows from it and never changes it.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineLinks.h"
#include "device/EngineState.h"

#include <optional>
#include <string>

// A request to the firmware web service that is still running.
enum class EngineRequest {
    None,
    Fetch,  // the image for the unit is being fetched
    Report, // the completion report of an update is being sent
};

struct EngineSnapshot {
    struct Link {
        LinkKind kind = LinkKind::Serial;
        std::string strName; // the link last opened, as the support log names it
        bool bOpen = false;  // in use (or closed for a moment by a reset or a reopen)
    };
    struct Image {
        bool bReady = false;                // checked for the unit identified now: Send may go
        std::optional<std::string> version; // the "VER:" value ("0107"); none when not named
        std::string strNotes;               // the release notes, as one text
        std::string strSource;              // the file's path, or the service's address
        int nLines = 0;                     // data lines
        bool bFromWeb = false;
    };
    struct Progress {
        int nSent = 0;  // data lines written in the current (or last) run
        int nTotal = 0; // data lines of the run
    };

    EngineState state = EngineState::Starting;
    EnginePhase phase = EnginePhase::Connecting;
    Link link;
    DeviceIdentity unit; // the unit identified last
    Image image;
    Progress progress;
    EngineRequest request = EngineRequest::None;
};
