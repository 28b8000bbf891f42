// The update engine: one unit's conversation over one link. It owns the link (a serial port or
// the USB cable), the firmware image and the unit's identity, runs the bootloader conversation,
// the echo test and the web requests on one deadline timer, and reports through IEngineEvents.
// Its state is one EngineState; the faces read the rest from its snapshot. It has no
// widgets and no threads; several engines can run side by side in one process.
#pragma once

#include "device/Conversation.h"
#include "device/DeviceIdentity.h"
#include "device/EngineClock.h"
#include "device/EngineEvents.h"
#include "device/EngineLinks.h"
#include "device/EngineSnapshot.h"
#include "device/EngineState.h"
#include "device/EngineTicket.h"
#include "device/EngineTypes.h"
#include "device/FirmwareImage.h"
#include "device/ImageSource.h"
#include "device/LinkSession.h"
#include "device/RunRecorder.h"
#include "link/Link.h"
#include "link/SystemRoots.h"
#include "web/WebRequest.h"

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CSupportLog;
class CUpdateHistory;

class CUpdateEngine : public QObject,
                      private ILinkSessionEvents,
                      private IConversationPeer,
                      private IImageSourceEvents {
public:
    static constexpr const char* USB_PORT_NAME = CLinkSession::USB_PORT_NAME;
    // What an identified unit is sent each time it speaks, to keep it waiting.
    static constexpr std::string_view KEEP_ALIVE_TEXT = CConversation::KEEP_ALIVE_TEXT;

    // pClock: where the engine's time comes from (none: Qt's event loop). The engine keeps it.
    explicit CUpdateEngine(IEngineEvents& events, std::unique_ptr<IEngineClock> pClock = nullptr);
    ~CUpdateEngine() override;
    // Ends everything at once without a word to the face: the program is ending.
    void Shutdown();

    // --- the link ---
    // How links are made (tests give their own); by default a serial port or the USB cable.
    void SetLinkFactory(LinkFactory factory) { m_session.SetLinkFactory(std::move(factory)); }
    // The port the user has chosen ("USB" for the cable, else a serial port's name; empty:
    // none). Every later open and reopen uses it, until the engine drops it or another is chosen.
    void ChoosePort(const std::string& name) { m_session.Choose(name); }
    const std::string& ChosenPort() const { return m_session.Chosen(); }
    // Opens the chosen port and starts waking the unit; drops the choice when it cannot be
    // opened.
    void ConnectChosenPort();
    // Opens the saved port at start-up: quietly for the USB cable.
    void OpenSavedPort(const std::string& name);
    // Closes the link, then opens it again after a short pause and wakes the unit anew.
    void ResetConnection();
    // Closes whichever link is open and goes idle (the port list is being opened, Detect, the
    // cable was unplugged); strWhy completes the line that says a running fetch was dropped.
    void CloseLinkAndIdle(const std::string& strWhy = "the link was closed");
    // Detect's prompt is open: no wake-up goes out until it is answered (Resume: it was
    // cancelled, and waking goes on where it stood).
    void PauseWakeUp();
    void ResumeWakeUp();
    // The link's port or cable was reported gone (true), or back before the link was let go
    // (false). A programming run ends through its own failure notice first; otherwise the link
    // is let go at once. Nothing reopens a port that has gone.
    void SetLinkUnplugged(bool bUnplugged);
    // A port or the cable is in use as the link: open, or closed for a moment by a reset or by
    // a failure that the conversation has yet to meet.
    bool IsLinkOpen() const { return m_session.InUse(); }
    // The link in use (open, or being reopened) is the USB cable.
    bool IsUsbLink() const { return m_session.IsUsb(); }
    // The link last opened, as the support log names it ("/dev/ttyUSB0", "USB").
    const std::string& LinkName() const { return m_session.Name(); }
    // Opens the USB cable quietly and lets it go again: true when it is there, else
    // LastDiagnosis says why.
    bool ProbeUsbCable();
    // Why the last link could not be opened, in a sentence that says what to do; may be empty.
    const std::string& LastDiagnosis() const { return m_session.Diagnosis(); }
    // The serial ports of the machine, in name order.
    std::vector<std::string> ListSerialPorts() const;

    // --- what the engine knows now ---
    EngineSnapshot Snapshot() const;
    EngineState State() const { return m_conversation.State(); }
    EnginePhase Phase() const { return PhaseOf(State()); }

    // --- the conversation ---
    const DeviceIdentity& Identity() const { return m_conversation.Unit(); }
    void StartProgramming();
    // Stops a programming run after the line in flight, as a failure that the user must redo.
    void InterruptProgramming();

    // --- the firmware image ---
    // Reads and checks a programming file; on success "B" goes to the unit.
    bool LoadImageFile(const std::string& path);
    // The same for a file chosen for the unit and moment of `ticket`: once the ticket no longer
    // holds, the file is not used and a status line says so.
    bool LoadImageFileFor(const EngineTicket& ticket, const std::string& path);
    // The current image's version ("0107"); empty when the image names none.
    std::string ImageVersion() const { return m_source.Image().m_version.value_or(std::string()); }
    int ImageLineCount() const { return m_source.Image().m_nTotalLines; }
    int LinesLeft() const { return m_conversation.LinesLeft(); }

    // --- the echo test ---
    void StartEchoTest();
    bool IsEchoTestRunning() const { return m_conversation.IsEchoTestRunning(); }

    // --- the web service ---
    void SetWebBaseUrl(const std::string& url) { m_source.SetWebBaseUrl(url); }
    const std::string& WebBaseUrl() const { return m_source.WebBaseUrl(); }
    // How requests to the service are made; by default on this thread through libcurl.
    void SetWebRequestFactory(WebRequestFactory factory)
    {
        m_source.SetWebRequestFactory(std::move(factory));
    }
    // Starts fetching the image that suits the unit; the answer is checked when it arrives.
    void GetFromWeb();
    bool IsWebRequestRunning() const { return m_source.IsFetching(); }
    // The completion report of an update with a web image has not been answered yet.
    bool IsReportRunning() const { return m_source.IsReportRunning(); }

    // --- tickets for what ends later ---
    EngineTicket Ticket() const { return {Identity(), m_nGeneration}; }
    bool TicketHolds(const EngineTicket& ticket) const override
    {
        return ticket.nGeneration == m_nGeneration && ticket.unit == Identity();
    }

    // --- the support log ---
    // Where link openings and closings and the bytes exchanged with the unit are recorded (owned
    // by the caller; none: nothing is recorded).
    void SetSupportLog(CSupportLog* pLog)
    {
        m_session.SetSupportLog(pLog);
        m_source.SetSupportLog(pLog);
    }
    // --- the history of updates ---
    // Where each programming run is recorded, once, with `face` ("window", "kestova-flash")
    // as the program that ran it (owned by the caller and outliving the engine; none: nothing
    // is recorded). `fnNow`: the wall clock for the record's time (tests give their own).
    // `port`: the port each record names (the bench; none: no port is named).
    void SetUpdateHistory(CUpdateHistory* pHistory, const std::string& face, CRunRecorder::NowFn fnNow = {},
                          const std::string& port = {});
    // Where the current image came from: the file's path, or the service's address.
    const std::string& ImageSource() const { return m_source.Source(); }

    // Where other programs holding a port are looked for (a test points it at a tree of its own).
    void SetSystemRoots(const SystemRoots& roots) { m_session.SetSystemRoots(roots); }

private:
    // --- the conversation's requests and outcomes (UpdateEngine.cpp) ---
    bool Send(std::string_view text) override;
    bool SendDataLine(const std::string& line, std::string_view lineEnd) override;
    void SetDeadline(int ms) override;
    void OnStateEntered(EngineState state) override;
    void OnWakeRound() override { m_events.OnActivity(); }
    int ReopenLink() override;
    void OnIdentifying(const DeviceIdentity& unit, const std::vector<std::string>& facts) override;
    void OnIdentified(const DeviceIdentity& unit) override;
    void OnRunStarting(int nTotal) override;
    void OnLineSent(const std::string& line, int nSent) override;
    void OnLineAnswered() override;
    void OnRunSucceeded(const std::vector<std::string>& rows) override;
    void OnRunFailed(UpdateResult result, const std::string& text) override;
    void OnFinishAnswered() override { m_source.Report(); }
    void OnUnitSilent(bool bRebooting) override;
    void OnEchoStarting() override { Log("Testing Tetherix cable, please wait..."); }
    void OnEchoEnded(bool bPassed) override;
    void OnEchoNoPort() override;
    void OnResetPauseEnd(bool bEcho) override;
    void OnReopenDue(bool bEcho) override;
    void CheckUpdatedUnit();
    // The run waiting to be recorded is written now: its check will not come.
    void SettleRecord();
    // The check after a reboot is no longer awaited (a reset, the link closed).
    void DropAwaitedCheck();

    // --- the connection (EngineLink.cpp) ---
    void ConnectComPort(const std::string& name, bool bRemember);
    bool OpenUsbLink(bool bQuiet);
    void OpenCable(bool bRemember);
    void WaitForCable(bool bRemember);
    void ShowOpenFailure(const std::string& notice);
    void ShowUsbFailure(bool bQuiet);
    void LogDiagnosis();
    void DropLinkChoice();
    void EnterConnecting();
    void LetUnpluggedLinkGo();
    void OnSessionText(const std::string& text) override;
    void OnSessionFailed(const LinkError& error) override;
    void KeepCableUnopened();
    void ListOnlyDiagnosis();
    void ResetLinkAndControls(bool bEcho);
    bool SendText(const std::string& text);

    // --- the image and the web service (UpdateEngine.cpp) ---
    void OnImageRow(const std::string& row) override { Log(row); }
    void OnImageDropped() override { SetImageReady(false); }
    void OnImageNotice(NoticeKind kind, const std::string& text, const std::string& detail) override
    {
        ShowNotice(kind, text, detail);
    }
    void OnImageRefused(ImageRefusal why, const std::string& text) override
    {
        m_events.OnImageRefused(why, text);
    }
    // The checked image is the one Send programs: the faces hear of it.
    void OnImageAccepted() override;
    void OnWebStatus(const std::string& text, bool bNewLine) override
    {
        m_events.OnWebStatus(text, bNewLine);
    }
    std::string WhyTicketLapsed(const EngineTicket& ticket) const override;
    void OnRequestChanged() override { Publish(); }
    void CancelFetch(const std::string& strWhy) { m_source.CancelFetch(strWhy); }
    // The completion report owed by a whole run with a web image is made before the link goes.
    void SettleReport() { m_source.Report(); }

    // --- the faces ---
    // The snapshot changed: the face hears of it.
    void Publish() { m_events.OnChanged(Snapshot()); }
    void SetImageReady(bool bReady);
    void Log(const std::string& text) { m_events.OnStatusRow(text); }
    void ClearLog() { m_events.OnStatusCleared(); }
    void ShowNotice(NoticeKind kind, const std::string& text, const std::string& detail = {})
    {
        m_events.OnNotice({kind, text, detail});
    }
    void SetBar(int nBar) { m_events.OnProgress({{}, m_conversation.LinesSent(), nBar}); }
    void AdvanceGeneration() { ++m_nGeneration; }

    IEngineEvents& m_events;
    std::unique_ptr<IEngineClock> m_pClock;
    std::unique_ptr<IEngineTimer> m_pDeadline;
    // Runs while an updated unit is expected back from its reboot.
    std::unique_ptr<IEngineTimer> m_pRebootWindow;
    CConversation m_conversation{*this};

    CLinkSession m_session;
    // A first open of the cable that waits until the cable allows it, and how it is made.
    enum class CableOpening { None, Quiet, Remembered };
    CableOpening m_cableOpening = CableOpening::None;

    CImageSource m_source;
    bool m_bImageReady = false; // the image passed its checks for the unit identified now

    // The run whose every line the unit acknowledged: the check after the unit's reboot
    // compares with it.
    DeviceIdentity m_updatedUnit;
    std::string m_strSentVersion;
    // The update that waits for the unit to come back and name its version: set by the reset
    // that lets the unit reboot, cleared by the next identification or any other reset.
    bool m_bAwaitingCheck = false;
    unsigned long long m_nGeneration = 0;

    std::unique_ptr<CRunRecorder> m_pRecorder;
};
