// The update engine: one unit's conversation over one link. It owns the link (a serial port or
// the USB cable), the firmware image and the unit's identity, runs the bootloader conversation,
// the echo test and the web requests on its own timers, and reports through IUpdateEvents.
// It has no widgets; several engines can run side by side in one process.
#pragma once

#include "device/DeviceIdentity.h"
#include "device/EngineTicket.h"
#include "device/EngineTypes.h"
#include "device/FirmwareImage.h"
#include "device/UpdateEvents.h"
#include "link/ComPortEnum.h"
#include "link/SerialWndObj.h"
#include "link/SystemRoots.h"
#include "link/UsbCable.h"
#include "link/UsbCableOwner.h"
#include "platform/WinTypes.h"
#include "web/WebRequest.h"

#include <QBasicTimer>
#include <QObject>

#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CSupportLog;

class CUpdateEngine : public QObject, public CUsbCableOwner {
public:
    static constexpr const char* USB_PORT_NAME = "USB";

    explicit CUpdateEngine(IUpdateEvents& events, QObject* parent = nullptr);
    ~CUpdateEngine() override;

    // --- timers ---
    void SetTimer(int nIdEvent, int intervalMs);
    void KillTimer(int nIdEvent) override;
    bool IsTimerRunning(int nIdEvent) const;
    void OnTimer(int nIdEvent);

    // --- the link ---
    // Opens the port the face has chosen and starts connecting; drops the choice when it fails.
    void ConnectSelectedPort();
    // Opens the saved port at start-up: quietly for the USB cable.
    void OpenSavedPort(const std::string& name);
    void ResetConnection();
    bool ReopenLink();
    void SendText(const std::string& text);
    // Closes whichever links are open and goes idle (the port list is being opened, Detect, the
    // cable was unplugged); strWhy completes the line that says a running fetch was dropped.
    void CloseLinkAndIdle(const std::string& strWhy = "the link was closed");
    // The link's port or cable was reported gone (true), or back before the link was let go
    // (false). A programming run ends through its own failure notice first; otherwise the link
    // is let go at once. Nothing reopens a port that has gone: the face connects again once it
    // is back.
    void SetLinkUnplugged(bool bUnplugged);
    // A serial port or the USB cable is open as the link.
    bool IsLinkOpen() const { return m_bUsbActive || m_serial.IsPortOpen(); }
    // Opens the USB cable quietly and closes it again: true when it is there, else
    // LastDiagnosis says why.
    bool ProbeUsbCable();
    // Why the last link could not be opened, in a sentence that says what to do; may be empty.
    const std::string& LastDiagnosis() const { return m_strLastDiagnosis; }
    // The serial ports of the machine, in name order.
    std::vector<std::string> ListSerialPorts() const;
    LPARAM OnSerialEvent(WPARAM wParam, LPARAM lParam);
    LPARAM OnCableData(WPARAM wParam, LPARAM lParam);

    // --- the bootloader conversation ---
    void OnReceivedText(const std::string& text) override;
    void StartProgramming();
    // Stops a programming run after the line in flight, as a failure that the user must redo.
    void InterruptProgramming();
    void OnWakeTimer();
    void OnProgramReplyTimer();
    void OnSilenceTimer();

    // --- the firmware image ---
    bool ValidateImage();
    // Reads and checks a programming file; on success "B" goes to the unit.
    bool LoadImageFile(const std::string& path);
    // The same for a file chosen for the unit and moment of `ticket`: once the ticket no longer
    // holds, the file is not used and a status line says so.
    bool LoadImageFileFor(const EngineTicket& ticket, const std::string& path);
    void CloseImageFile();
    // The current image's version ("0107"); empty when the image names none.
    std::string ImageVersion() const { return m_bImageNamesVersion ? m_image.m_strVersion : std::string(); }

    // --- the echo test ---
    void StartEchoTest();
    void OnEchoText(const std::string& text) override;
    void OnEchoStartTimer();
    void OnEchoReplyTimer();
    void EndEchoTest(const std::string& outcome);

    // --- the web service ---
    void SetWebBaseUrl(const std::string& url) { m_strWebBaseUrl = url; }
    const std::string& WebBaseUrl() const { return m_strWebBaseUrl; }
    // How requests to the service are made; by default each runs on a thread of its own.
    void SetWebRequestFactory(WebRequestFactory factory) { m_webFactory = std::move(factory); }
    // Starts fetching the image that suits the unit; the answer is checked when it arrives.
    void GetFromWeb();
    bool IsWebRequestRunning() const { return m_pWebRequest != nullptr; }
    // The completion report of an update with a web image has not been answered yet.
    bool IsReportRunning() const;
    void ReportUpdateDone();

    // --- tickets for what ends later ---
    EngineTicket Ticket() const { return {m_identity, m_nGeneration}; }
    bool TicketHolds(const EngineTicket& ticket) const
    {
        return ticket.nGeneration == m_nGeneration && ticket.unit == m_identity;
    }
    unsigned long long Generation() const { return m_nGeneration; }

    // --- the USB cable's owner ---
    QObject* NotifyWindow() override { return this; }
    bool IsUsbActive() const override { return m_bUsbActive; }
    void SetUsbActive(bool bActive) override { m_bUsbActive = bActive; }
    bool IsDropReceived() const override { return m_bDropReceived; }
    bool IsEchoMode() const override { return m_bEchoMode; }
    void ShowNotice(const std::string& text) override;
    void ShowMessageBox(const std::string& text) override;
    void OnDiagnosis(const std::string& sentence) override;
    void OnCableText(const std::string& text) override;
    void OnLinkNote(const std::string& note) override;

    // --- the support log ---
    // Where link openings and closings and the bytes exchanged with the unit are recorded (owned
    // by the caller; none: nothing is recorded).
    void SetSupportLog(CSupportLog* pLog) { m_pSupportLog = pLog; }

    // The pause between closing the link and opening it again on a reset (50 ms); a test that
    // steps the engine through thousands of resets may shorten it.
    void SetResetPauseMs(int ms) { m_nResetPauseMs = ms; }
    // Where other programs holding a port are looked for (a test points it at a tree of its own).
    void SetSystemRoots(const SystemRoots& roots) { m_roots = roots; }

    CSerialWndObj m_serial;
    CUsbCable m_usb;
    FirmwareImage m_image;
    DeviceIdentity m_identity;
    std::ifstream m_firmwareFile;
    std::string m_strReceived;
    int m_nPhase = PHASE_CONNECTING;
    int m_nDots = 0;
    bool m_bUsbActive = false;
    bool m_bDropReceived = false;
    bool m_bEchoMode = false;

protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    bool OpenComPort(const std::string& portName);
    // Opens a serial port and starts connecting; bRemember: it becomes the saved choice.
    void ConnectComPort(const std::string& name, bool bRemember);
    // The notice for a port that could not be opened, followed by what OpenComPort found.
    void ShowOpenFailure(const std::string& notice);
    void LogDiagnosis();
    void CloseLink();
    void StopConversation();
    void LetUnpluggedLinkGo();
    void TraceLink(bool bOpened, const std::string& name, unsigned long code,
                   const std::string& detail = {});
    void TraceBytes(bool bToUnit, const std::string& bytes);
    // Sends without a trace entry (the caller has made one).
    void WriteToLink(const std::string& text);
    bool OpenUsbLink();
    void EnterConnecting();
    void DropLinkChoice();
    void Enable(EngineControl control, bool bEnabled);
    void SetImageButtons(bool bOpenFile, bool bGetFromWeb, bool bSend);
    void SetPhase(int nPhase);
    void Log(const std::string& text);
    void ClearLog();
    void DispatchReceived(const std::string& text);
    bool WriteWakeText(const char* text);
    void SendSecondWakeText();
    void IdentifyUnit();
    void CheckUpdatedUnit();
    void ShowNoticeLater(const std::string& text);
    void AdvanceGeneration() { ++m_nGeneration; }
    // Stops a running fetch (a reset, Detect, port change, echo test): one line says why.
    void CancelFetch(const std::string& strWhy);
    void RetireRequest(std::unique_ptr<IWebRequest> request);
    void LogUnusedImage(const char* what, const DeviceIdentity& unit, const std::string& strWhy);
    std::string DropReason(const EngineTicket& ticket) const;
    // The completion report owed by a whole run with a web image is made before the link goes.
    void SettleReport();
    void SendDataLine();
    void SendNextDataLine();
    void FinishProgramming();
    void SendFinish();
    void EndRun(UpdateResult result, const std::string& text);
    void KeepRecentReceived();
    void ReadFirmwareFile();
    void OnWebAnswer(const EngineTicket& ticket, bool bDownloaded, std::string& body,
                     const std::string& strUrl, bool bSendWas);
    // A timed step holds the conversation: what the unit sends meanwhile waits until it ends.
    void BeginStep(int ms, std::function<void()> fnThen);
    void CancelStep();

    IUpdateEvents& m_events;
    std::map<int, QBasicTimer> m_timers;
    std::function<void()> m_fnStepThen;
    std::deque<std::string> m_heldText;
    std::string m_strWebBaseUrl;
    WebRequestFactory m_webFactory;
    std::unique_ptr<IWebRequest> m_pWebRequest;
    std::unique_ptr<IWebRequest> m_pWebRequestDone;
    std::unique_ptr<IWebRequest> m_pReportRequest;
    std::vector<std::unique_ptr<IWebRequest>> m_retiredRequests; // cancelled, still ending
    EngineTicket m_fetchTicket;             // the running fetch's
    bool m_bFetchDropped = false;           // a fetch was cancelled since the last identification
    DeviceIdentity m_droppedFetchUnit;      // the unit it was for
    unsigned long long m_nGeneration = 0;
    // The run whose every line the unit acknowledged: the completion report it owes (web image)
    // names this unit, and the check after the unit's reboot compares with it.
    bool m_bReportOwed = false;
    DeviceIdentity m_updatedUnit;
    bool m_bFinishAnswered = false; // the unit answered after "C": it took the whole run
    int m_nResetPauseMs = 50;
    SystemRoots m_roots;
    bool m_bSendEnabled = false; // Send, as last enabled or disabled
    // The update that waits for the unit to come back and name its version: set by the reset
    // that lets the unit reboot, cleared by the next identification or any other reset.
    bool m_bAwaitingCheck = false;
    bool m_bImageNamesVersion = false; // the current image had a "VER:" line
    std::string m_strSentVersion;
    int m_nLinesSent = 0;
    int m_nRunLines = 0;
    bool m_bInterruptRequested = false;
    // Why the last port or cable could not be opened, and what to do; empty when it opened.
    std::string m_strLastDiagnosis;
    CSupportLog* m_pSupportLog = nullptr;
    std::string m_strLinkName; // the link as the support log names it, while one is open
    bool m_bLinkUnplugged = false; // the open link's port has gone; it is not to be reopened
};
