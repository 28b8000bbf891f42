// The engine's link to the unit: the port the user chose, the serial port or USB cable opened
// for it, the byte trace in the support log, and what the link says when it fails. It decides
// nothing about the conversation: its owner opens, closes and writes, and hears what arrives.
#pragma once

#include "device/EngineLinks.h"
#include "link/Link.h"
#include "link/SystemRoots.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CSupportLog;

// What the session tells its owner, on the owner's thread.
class ILinkSessionEvents {
public:
    virtual ~ILinkSessionEvents() = default;
    // Text from the unit, made printable, in the order it came.
    virtual void OnSessionText(const std::string& text) = 0;
    // The link ended by itself (hang-up, I/O error, the device went away); it is traced already.
    virtual void OnSessionFailed(const LinkError& error) = 0;
};

class CLinkSession : private ILinkEvents {
public:
    static constexpr const char* USB_PORT_NAME = "USB";

    explicit CLinkSession(ILinkSessionEvents& events) : m_events(events) {}
    ~CLinkSession() override;
    CLinkSession(const CLinkSession&) = delete;
    CLinkSession& operator=(const CLinkSession&) = delete;

    // How links are made (tests give their own); by default a serial port or the USB cable.
    void SetLinkFactory(LinkFactory factory) { m_linkFactory = std::move(factory); }
    // Where openings, closings and bytes are recorded (owned by the caller; none: nowhere).
    void SetSupportLog(CSupportLog* pLog) { m_pSupportLog = pLog; }
    CSupportLog* SupportLog() const { return m_pSupportLog; }
    // Where other programs holding a port are looked for.
    void SetSystemRoots(const SystemRoots& roots) { m_roots = roots; }

    // --- the port the user chose ("USB", a serial port's name, empty: none) ---
    void Choose(const std::string& name) { m_strChosen = name; }
    const std::string& Chosen() const { return m_strChosen; }
    bool UsbChosen() const { return m_strChosen == USB_PORT_NAME; }

    // --- opening and closing ---
    // Opens a serial port ("ttyUSB0" or a device path); on failure Diagnosis says why. A port
    // that another program holds is not opened at all.
    [[nodiscard]] LinkError OpenSerial(const std::string& portName);
    // Opens the USB cable; on failure UsbFailure says why. bQuiet: the trace takes the cable's
    // own sentence (nobody is told).
    [[nodiscard]] LinkError OpenUsb(bool bQuiet);
    // The cable is the link in use, to be opened once it allows (ReopenDelayMs).
    void HoldUsb();
    // How long before the link in use may be opened again; 0: at once.
    int ReopenDelayMs() const { return m_pLink != nullptr ? m_pLink->ReopenDelayMs() : 0; }
    // The cable's delay, whether it is the link in use or not.
    int UsbReopenDelayMs();
    // Opens the cable and lets it go again: true when it is there, else Diagnosis says why.
    bool ProbeUsb();
    // Closes the link for a reset; it stays the link in use.
    void CloseForReset();
    // Closes the link in use and lets everything it holds go (the cable's library).
    void Release();

    // --- using it ---
    // How a write is traced: byte by byte, counted as keep-alive, or not at all (a data line,
    // which its owner traces with the unit's answer).
    enum class TraceAs { Bytes, KeepAlive, Untraced };
    [[nodiscard]] LinkError Write(std::string_view bytes, TraceAs trace);
    // What arrives from now on is counted as keep-alive in the trace (the unit is identified).
    void CountKeepAlive(bool bCount) { m_bCountKeepAlive = bCount; }

    // --- what it knows ---
    bool InUse() const { return m_pLink != nullptr; }
    bool IsUsb() const { return m_pLink != nullptr && m_kind == LinkKind::Usb; }
    LinkKind Kind() const { return m_kind; }
    // The link last opened, as the support log names it ("/dev/ttyUSB0", "USB").
    const std::string& Name() const { return m_strName; }
    // Why the last link could not be used, in a sentence that says what to do; may be empty.
    const std::string& Diagnosis() const { return m_strDiagnosis; }
    LinkOpenFailure UsbFailure();
    // Why the last open failed (none: it did not, or nothing was opened).
    const LinkError& LastOpenError() const { return m_lastOpenError; }
    void ForgetOpenError() { m_lastOpenError = {}; }
    // The link's port was reported gone: it is not to be reopened.
    void SetUnplugged(bool bUnplugged) { m_bUnplugged = bUnplugged; }
    bool Unplugged() const { return m_bUnplugged; }
    // The serial ports of the machine, in name order.
    static std::vector<std::string> ListSerialPorts();

private:
    ILink& LinkOf(LinkKind kind);
    void Trace(bool bOpened, const std::string& name, unsigned long code,
               const std::string& detail = {});
    void OnLinkBytes(std::string_view bytes) override;
    void OnLinkFailed(const LinkError& error) override;
    void OnLinkNote(const std::string& note) override;

    ILinkSessionEvents& m_events;
    LinkFactory m_linkFactory;
    std::unique_ptr<ILink> m_pSerialLink;
    std::unique_ptr<ILink> m_pUsbLink;
    ILink* m_pLink = nullptr; // the link in use, open or about to open again
    LinkKind m_kind = LinkKind::Serial;
    std::string m_strName;
    std::string m_strChosen;
    std::string m_strDiagnosis;
    LinkError m_lastOpenError;
    bool m_bUnplugged = false;
    bool m_bCountKeepAlive = false;
    bool m_bOpening = false; // notes that come while a link opens follow its "opened" line
    std::vector<std::string> m_openingNotes;
    SystemRoots m_roots;
    CSupportLog* m_pSupportLog = nullptr;
};
