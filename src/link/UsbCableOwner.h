// What the USB cable driver needs from the window that owns it: the window that receives its
// "Special_Change" notification, the owner's link flags, its two text receivers, its
// wake-up timer and its way of telling the user something.
#pragma once

#include <QObject>

#include <string>

class CUsbCableOwner {
public:
    virtual ~CUsbCableOwner() = default;

    // The window that the reader thread notifies; handled on the user-interface thread.
    virtual QObject* NotifyWindow() = 0;

    virtual bool IsUsbActive() const = 0;
    virtual void SetUsbActive(bool bActive) = 0;
    virtual bool IsDropReceived() const = 0;
    virtual bool IsEchoMode() const = 0;

    virtual void OnReceivedText(const std::string& text) = 0;
    virtual void OnEchoText(const std::string& text) = 0;
    // A chunk read from the cable: thrown away while the owner drops received text, else handed
    // to the echo test or to the conversation. An owner may take it over as a whole.
    virtual void OnCableText(const std::string& text)
    {
        if (IsDropReceived())
            return;
        if (IsEchoMode())
            OnEchoText(text);
        else
            OnReceivedText(text);
    }

    // Stops one of the owner's window timers (the cable stops the wake-up timer 101).
    virtual void KillTimer(int id) = 0;
    // A modal notice with OK (the owner's notice dialog).
    virtual void ShowNotice(const std::string& text) = 0;
    // A standard message box with OK, for the driver-binding errors.
    virtual void ShowMessageBox(const std::string& text) = 0;
    // The sentence that says why the cable could not be reached and what to do; it also
    // follows the notice.
    virtual void OnDiagnosis(const std::string&) {}
    // A fact about the open link worth keeping in the support log (how it was set up).
    virtual void OnLinkNote(const std::string&) {}
};
