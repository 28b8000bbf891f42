// A link to the unit: a serial port or the Tetherix USB cable, opened, written and closed on
// the engine's thread. What arrives is handed to the link's events on that same thread as it
// comes; nothing here blocks or sleeps, and no event crosses threads.
#pragma once

#include "link/LinkError.h"

#include <string>
#include <string_view>

// What a link tells the engine that owns it. Every call comes on the engine's thread; bytes and
// failures never from inside Open, Write or Close (the notes come from inside Open). A link
// never speaks to the user: why an open failed is returned (ILink::OpenFailure).
class ILinkEvents {
public:
    virtual ~ILinkEvents() = default;
    // Bytes received from the unit, raw, in the order they came.
    virtual void OnLinkBytes(std::string_view bytes) = 0;
    // The link ended by itself (hang-up, I/O error, the device went away): it is closed
    // already, and nothing more comes from it.
    virtual void OnLinkFailed(const LinkError& error) = 0;
    // A fact about how the link was set up, for the support log ("latency timer set to 2 ms").
    virtual void OnLinkNote(const std::string& note) = 0;
};

// Why the last open of a link failed, in the words its owner may show the user.
struct LinkOpenFailure {
    std::string strNotice;     // what the notice says ("Unable to find USB Tetherix"); empty: the
                               // owner words it
    std::string strSentence;   // why, and what to do; may be empty
    std::string strMessageBox; // a standard message box that is shown even for a quiet open (a
                               // function missing from FTDI's library)
};

class ILink {
public:
    virtual ~ILink() = default;
    // Opens `name` ("/dev/ttyUSB0" or another device path for a serial port; ignored by the
    // USB cable, which opens the Tetherix by its description). Idempotent only in that an open
    // link is closed first.
    [[nodiscard]] virtual LinkError Open(const std::string& name) = 0;
    // Closes the link; no event comes from it afterwards. Never waits for more than a moment.
    virtual void Close() = 0;
    // Closes the link and lets go of everything it holds for a quick reopen (the USB cable
    // unloads FTDI's library); ReopenDelayMs then says when it may be opened again.
    virtual void Release() { Close(); }
    // Sends `bytes` without waiting for the line: whatever the driver does not take at once is
    // kept and sent as it can. Fails when the link is closed or the device refuses.
    [[nodiscard]] virtual LinkError Write(std::string_view bytes) = 0;
    virtual bool IsOpen() const = 0;
    // How long from now before the link may be opened again (the USB cable needs a moment
    // after a close); 0 when at once.
    virtual int ReopenDelayMs() const { return 0; }
    // Why the last Open failed; empty when the link leaves the words to its owner.
    virtual LinkOpenFailure OpenFailure() const { return {}; }
};
