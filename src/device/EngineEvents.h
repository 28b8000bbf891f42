// What an update engine tells its face (the window, the bench, the command line), in its own
// words: each event carries its facts. Every call comes on the engine's thread, and nothing in a
// handler may wait for the user: a notice is shown once the handler has returned. The face reads
// everything else from the engine's snapshot.
// A face may call the engine from the handlers of what happened (link dropped, unit identified,
// image ready or refused, run ended, echo test ended): each comes once the engine has finished
// the step that caused it. OnChanged and the rows come in the middle of a step: a face only
// shows what they say.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineSnapshot.h"
#include "device/EngineTypes.h"
#include "link/Link.h"

#include <string>
#include <vector>

// Why an image was not taken.
enum class ImageRefusal {
    Unreadable,  // the file could not be opened or read
    TooLarge,    // the file is far larger than any programming file
    NotSuitable, // the image's checks failed, or it is not for this unit
    NotFetched,  // the service gave no image
};

// What the user must acknowledge; the window shows a notice (or a standard message box).
enum class NoticeKind {
    PortUnusable,   // the chosen port could not be opened
    PortLost,       // the port could not be opened again ("Unable to find Tetherix")
    CableUnusable,  // the USB cable could not be opened
    DriverError,    // FTDI's library could not be used (a message box)
    FileUnusable,   // the programming file could not be used
    NoService,      // no firmware service is set (a message box)
    DownloadFailed, // the service gave no image (a message box)
    RunFailed,      // a programming run ended before the unit took every line
    NotVerified,    // the updated unit came back still on its old version
    EchoNoPort,     // the echo test found no port
    EchoResult,     // the echo test's verdict
};

struct EngineNotice {
    NoticeKind kind = NoticeKind::RunFailed;
    std::string strText;   // what the notice says, exactly as the user sees it
    std::string strDetail; // why, when known: the diagnosis, the web failure's reason
    // Shown as a standard message box rather than the program's notice.
    bool IsMessageBox() const
    {
        return kind == NoticeKind::DriverError || kind == NoticeKind::NoService ||
               kind == NoticeKind::DownloadFailed;
    }
};

// One data line written to the unit, or the bar set back (strLine empty).
struct RunProgress {
    std::string strLine; // the data line just written (its status row); empty: none
    int nSent = 0;       // lines written in the run
    int nBar = 0;        // what the progress bar shows
};

// Every event is let go unless a face overrides it: an engine whose face needs nothing (a port
// probe) is given an IEngineEvents as it is.
class IEngineEvents {
public:
    virtual ~IEngineEvents() = default;

    // --- the status list: rows to show as they are, never to be read for meaning ---
    virtual void OnStatusRow(const std::string&) {}
    virtual void OnStatusCleared() {}
    // One more step of the "Trying to connect" activity line.
    virtual void OnActivity() {}
    // A web request's status text, which replaces the request's own row (never another);
    // bNewLine: the request starts, and its (empty) row is added.
    virtual void OnWebStatus(const std::string&, bool /*bNewLine*/) {}

    // --- what happened ---
    // The snapshot changed (state, image, request, link): what the face shows may follow.
    virtual void OnChanged(const EngineSnapshot&) {}
    // A port was opened as the link; bRemember: it becomes the saved choice.
    virtual void OnLinkOpened(const std::string& /*name*/, bool /*bRemember*/) {}
    // The chosen port cannot be used: the choice is dropped (bForget: the saved name too).
    virtual void OnLinkDropped(const LinkError&, bool /*bForget*/) {}
    // Why a port or the cable could not be used, in a sentence that says what to do.
    virtual void OnDiagnosis(const std::string&) {}
    virtual void OnUnitIdentified(const DeviceIdentity&) {}
    virtual void OnImageReady(const EngineSnapshot::Image&) {}
    virtual void OnImageRefused(ImageRefusal, const std::string& /*why*/) {}
    virtual void OnRunStarted(int /*nTotalLines*/) {}
    virtual void OnProgress(const RunProgress&) {}
    // Every data line was acknowledged: the rows that say so were just added.
    virtual void OnRunSucceeded(const std::vector<std::string>&) {}
    // A programming run ended: failed, or finished and (when possible) checked.
    virtual void OnRunEnded(const UpdateOutcome&) {}
    virtual void OnEchoEnded(bool /*bPassed*/) {}
    // Something the user must acknowledge; shown once the handler has returned.
    virtual void OnNotice(const EngineNotice&) {}
};
