// The engine's link: opening the chosen port or the USB cable, what it delivers, sending, and
// the reset and reopen that every failure and every finished unit go through.
#include "device/UpdateEngine.h"

#include "device/DeviceNotices.h"
#include "device/ReceivedText.h"
#include "link/ComPortEnum.h"
#include "link/PortDiagnosis.h"
#include "link/PortUsers.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

#include <cerrno>
#include <utility>

namespace {
const std::string DEVICE_PREFIX = "/dev/";
const char* const TEXT_UNPLUGGED = "The Tetherix was unplugged; it is used again as soon as it is back.";
const char* const TEXT_CANNOT_FIND = "Unable to find Tetherix";
const char* const TEXT_SAVED_CABLE_ABSENT = "The port saved last time, the USB Tetherix, is not there";
const char* const TEXT_SAVED_CABLE_REMEDY =
    "Plug the Tetherix in and press Detect Tetherix, or choose a port in the list.";

bool AddPortName(void* context, const ComPortInfo& info)
{
    static_cast<std::vector<std::string>*>(context)->emplace_back(info.portName);
    return true;
}

// A name from the port list ("ttyUSB0") or a device path ("/dev/ttyUSB0", "/tmp/unit").
std::string DevicePath(const std::string& portName)
{
    return portName.find('/') == 0 ? portName : DEVICE_PREFIX + portName;
}
} // namespace

std::vector<std::string> CUpdateEngine::ListSerialPorts() const
{
    std::vector<std::string> names;
    EnumerateComPorts(&AddPortName, &names);
    return names;
}

ILink& CUpdateEngine::LinkOf(LinkKind kind)
{
    std::unique_ptr<ILink>& pLink = kind == LinkKind::Usb ? m_pUsbLink : m_pSerialLink;
    if (!pLink)
        pLink = m_linkFactory ? m_linkFactory(kind, *this) : MakeDefaultLink(kind, *this);
    return *pLink;
}

bool CUpdateEngine::OpenComPort(const std::string& portName)
{
    const std::string device = DevicePath(portName);
    m_strLastDiagnosis.clear();
    // A program that holds the port without a lock would share the unit's replies with us, and
    // opening it would throw away its pending input: such a port is left alone.
    const std::vector<PortUser> users = FindPortUsers(device, m_roots);
    if (!users.empty()) {
        m_pLink = nullptr;
        m_strLastDiagnosis = ExplainPortInUse(device, users);
        return false;
    }
    ILink& link = LinkOf(LinkKind::Serial);
    m_bOpening = true;
    const LinkError error = link.Open(device, false);
    m_bOpening = false;
    m_lastOpenError = error;
    if (error) {
        m_pLink = nullptr;
        // A port that was never open here was not unplugged: it is not there (or mistyped).
        const bool bMissing = error.Errno() == ENOENT && device != m_strLinkName;
        m_strLastDiagnosis = bMissing ? ExplainMissingPort(portName, ListSerialPorts())
                                      : ExplainPortOpenFailure(device, error.Errno(), m_roots);
        TraceLink(true, device, error.Code(), m_strLastDiagnosis);
        return false;
    }
    m_pLink = &link;
    m_linkKind = LinkKind::Serial;
    TraceLink(true, device, 0);
    return true;
}

bool CUpdateEngine::OpenUsbLink(bool bQuiet)
{
    m_strLastDiagnosis.clear();
    ILink& link = LinkOf(LinkKind::Usb);
    m_bOpening = true;
    const LinkError error = link.Open(USB_PORT_NAME, bQuiet);
    m_bOpening = false;
    m_lastOpenError = error;
    if (error) {
        // The cable has shown its own notice, and said why, unless it was asked to be quiet.
        TraceLink(true, USB_PORT_NAME, 1, bQuiet ? link.OpenFailure() : m_strLastDiagnosis);
        return false;
    }
    m_pLink = &link;
    m_linkKind = LinkKind::Usb;
    TraceLink(true, USB_PORT_NAME, 0);
    return true;
}

void CUpdateEngine::DropLinkChoice()
{
    // No link: nothing to fetch an image for, and the port must be chosen anew.
    m_strChosenPort.clear();
    m_events.OnLinkDropped(m_lastOpenError, true);
}

void CUpdateEngine::OnLinkDiagnosis(const std::string& sentence)
{
    m_strLastDiagnosis = sentence;
    LogDiagnosis();
}

void CUpdateEngine::LogDiagnosis()
{
    if (m_strLastDiagnosis.empty())
        return;
    Log(m_strLastDiagnosis);
    m_events.OnDiagnosis(m_strLastDiagnosis);
}

void CUpdateEngine::ShowOpenFailure(const std::string& notice)
{
    LogDiagnosis();
    ShowNotice(NoticeKind::PortUnusable, NoticeWithReason(notice, m_strLastDiagnosis),
               m_strLastDiagnosis);
}

void CUpdateEngine::EnterConnecting()
{
    Enter(EngineState::Waking);
    m_events.OnActivity();
}

void CUpdateEngine::OpenSavedPort(const std::string& name)
{
    if (name != USB_PORT_NAME) {
        ConnectComPort(name, false);
        return;
    }
    if (!OpenUsbLink(true)) {
        // No notice at start, but the status list says what became of the saved choice.
        const std::string why = LinkOf(LinkKind::Usb).OpenFailure();
        Log(std::string(TEXT_SAVED_CABLE_ABSENT) + (why.empty() ? "." : ": " + why) + " " +
            TEXT_SAVED_CABLE_REMEDY);
        DropLinkChoice();
        return;
    }
    m_events.OnLinkOpened(name, false);
    EnterConnecting();
}

void CUpdateEngine::ConnectChosenPort()
{
    const std::string name = m_strChosenPort;
    if (name.empty()) {
        m_lastOpenError = {};
        DropLinkChoice();
        return;
    }
    if (name != USB_PORT_NAME) {
        ConnectComPort(name, true);
        return;
    }
    if (!OpenUsbLink(false))
        return;
    m_events.OnLinkOpened(USB_PORT_NAME, true);
    EnterConnecting();
}

void CUpdateEngine::ConnectComPort(const std::string& name, bool bRemember)
{
    if (!OpenComPort(name)) {
        // The user hears why before the choice is dropped.
        ShowOpenFailure(LoadString(IDS_UNABLE_TO_OPEN));
        DropLinkChoice();
        return;
    }
    m_events.OnLinkOpened(name, bRemember);
    EnterConnecting();
}

void CUpdateEngine::CloseLinkAndIdle(const std::string& strWhy)
{
    SettleReport();
    AdvanceGeneration();
    // Nothing more is heard of a run in progress or of the unit it updated.
    DropAwaitedCheck();
    SettleRecord();
    // Every deadline of the conversation ends with its link: none may later write to, reset
    // or reopen a link that is closed, least of all a port that has gone.
    m_pDeadline->Stop();
    m_heldText.clear();
    m_bLinkUnplugged = false;
    CloseLink();
    m_bImageReady = false;
    ClearLog();
    CancelFetch(strWhy);
    Enter(EngineState::Idle);
}

void CUpdateEngine::PauseWakeUp()
{
    if (m_state == EngineState::Waking)
        Enter(EngineState::WakePaused);
}

void CUpdateEngine::ResumeWakeUp()
{
    if (m_state == EngineState::WakePaused)
        Enter(EngineState::Waking);
}

void CUpdateEngine::SetLinkUnplugged(bool bUnplugged)
{
    m_bLinkUnplugged = bUnplugged;
    if (!bUnplugged || m_state == EngineState::Programming || m_state == EngineState::FinishPause)
        return;
    LetUnpluggedLinkGo();
}

// The link's port has gone: it is closed quietly, and the user can choose again or wait.
void CUpdateEngine::LetUnpluggedLinkGo()
{
    CloseLinkAndIdle("the Tetherix was unplugged");
    SetBar(0);
    Log(TEXT_UNPLUGGED);
}

bool CUpdateEngine::ProbeUsbCable()
{
    ILink& link = LinkOf(LinkKind::Usb);
    m_bOpening = true;
    const LinkError error = link.Open(USB_PORT_NAME, true);
    m_bOpening = false;
    // A probe leaves no open or close entry, only how the cable was set up.
    for (const std::string& note : std::exchange(m_openingNotes, {}))
        if (m_pSupportLog != nullptr)
            m_pSupportLog->LinkNote(USB_PORT_NAME, note);
    if (error) {
        m_strLastDiagnosis = link.OpenFailure();
        return false;
    }
    link.Release();
    return true;
}

void CUpdateEngine::OnLinkBytes(std::string_view bytes)
{
    TraceBytes(false, bytes);
    Dispatch(CleanReceivedBytes(bytes.data(), bytes.size()));
}

// The link ended by itself (hang-up, I/O error): what was going on finds out when it next
// writes or waits for the unit, as it would with a unit that has gone.
void CUpdateEngine::OnLinkFailed(const LinkError& error)
{
    TraceLink(false, m_strLinkName, error.Code(), error.Text());
}

void CUpdateEngine::OnLinkNote(const std::string& note)
{
    if (m_bOpening) {
        m_openingNotes.push_back(note);
        return;
    }
    if (m_pSupportLog != nullptr)
        m_pSupportLog->LinkNote(m_strLinkName, note);
}

void CUpdateEngine::ResetConnection() { ResetLinkAndControls(EngineState::Resetting); }

// A reset: what depended on the unit is let go, the link is closed, and after a short pause
// (a state, not a sleep) it is opened again.
void CUpdateEngine::ResetLinkAndControls(EngineState pause)
{
    SettleReport();
    AdvanceGeneration();
    CancelFetch(pause == EngineState::EchoResetting ? "the echo test started"
                                                     : "the connection was reset");
    // Only the reboot after a whole run (the silence handler) keeps the check for afterwards.
    DropAwaitedCheck();
    if (m_bLinkUnplugged) {
        LetUnpluggedLinkGo();
        return;
    }
    m_heldText.clear();
    CloseForReset();
    m_strReceived.clear();
    m_bImageReady = false;
    Enter(pause);
    SetBar(0);
}

void CUpdateEngine::CloseForReset()
{
    if (m_pLink == nullptr || !m_pLink->IsOpen())
        return;
    m_pLink->Close();
    TraceLink(false, m_linkKind == LinkKind::Usb ? USB_PORT_NAME : m_strLinkName, 0);
}

void CUpdateEngine::OnResetPauseEnd()
{
    const bool bEcho = m_state == EngineState::EchoResetting;
    Enter(EngineState::Idle);
    ConnectChosenPort();
    if (bEcho)
        EnterEchoTest();
}

bool CUpdateEngine::ReopenLink(EngineState whenDeferred)
{
    if (m_pLink == nullptr)
        return false;
    CloseLink();
    const std::string name = m_strChosenPort;
    if (name.empty()) {
        m_lastOpenError = {};
        DropLinkChoice();
        return false;
    }
    if (name == USB_PORT_NAME) {
        m_pLink = &LinkOf(LinkKind::Usb);
        m_linkKind = LinkKind::Usb;
        if (m_pLink->ReopenDelayMs() > 0) {
            Enter(whenDeferred);
            return true;
        }
        if (!OpenUsbLink(false))
            KeepCableUnopened();
        return true;
    }
    if (!OpenComPort(name)) {
        DropLinkChoice();
        if (!m_strLastDiagnosis.empty())
            m_events.OnDiagnosis(m_strLastDiagnosis);
        ShowNotice(NoticeKind::PortLost, NoticeWithReason(TEXT_CANNOT_FIND, m_strLastDiagnosis),
                   m_strLastDiagnosis);
        ListOnlyDiagnosis();
        return false;
    }
    return true;
}

// The cable could not be opened again: it has shown its own notice; the choice stays saved.
void CUpdateEngine::KeepCableUnopened()
{
    m_events.OnLinkDropped(m_lastOpenError, false);
    ListOnlyDiagnosis();
}

// The list is cleared down to the sentence that says why the link could not be used.
void CUpdateEngine::ListOnlyDiagnosis()
{
    ClearLog();
    if (!m_strLastDiagnosis.empty())
        Log(m_strLastDiagnosis);
}

// The cable may be opened again: the conversation or the echo test goes on where it was.
void CUpdateEngine::OnReopenDeadline()
{
    const bool bEcho = m_state == EngineState::EchoReopening;
    if (!OpenUsbLink(false)) {
        Enter(EngineState::Idle);
        KeepCableUnopened();
        // The echo test goes on without a cable, and fails in its own time.
        if (bEcho)
            SendEcho();
        return;
    }
    if (bEcho)
        SendEcho();
    else
        Enter(EngineState::Waking);
}

// Closes the link in use and lets the cable's library go.
void CUpdateEngine::CloseLink()
{
    if (m_pLink == nullptr)
        return;
    const bool bWasOpen = m_pLink->IsOpen();
    m_pLink->Release();
    if (bWasOpen)
        TraceLink(false, m_linkKind == LinkKind::Usb ? USB_PORT_NAME : m_strLinkName, 0);
    m_pLink = nullptr;
}

void CUpdateEngine::TraceLink(bool bOpened, const std::string& name, unsigned long code,
                              const std::string& detail)
{
    if (bOpened && code == 0)
        m_strLinkName = name;
    if (m_pSupportLog != nullptr) {
        if (bOpened)
            m_pSupportLog->LinkOpened(name, code, detail);
        else
            m_pSupportLog->LinkClosed(name, code, detail);
    }
    if (bOpened && code == 0) {
        for (const std::string& note : m_openingNotes)
            OnLinkNote(note);
    }
    m_openingNotes.clear();
}

// The keep-alive of an identified unit, many a second for as long as it waits, is counted
// rather than traced byte by byte.
void CUpdateEngine::TraceBytes(bool bToUnit, std::string_view bytes)
{
    if (m_pSupportLog == nullptr)
        return;
    const auto direction =
        bToUnit ? CSupportLog::EDirection::ToUnit : CSupportLog::EDirection::FromUnit;
    if (m_state == EngineState::Identified && (!bToUnit || bytes == KEEP_ALIVE_TEXT))
        m_pSupportLog->KeepAlive(direction, bytes.data(), bytes.size(), m_strLinkName);
    else
        m_pSupportLog->Bytes(direction, bytes.data(), bytes.size(), m_strLinkName);
}

bool CUpdateEngine::SendText(const std::string& text)
{
    TraceBytes(true, text);
    return WriteToLink(text);
}

bool CUpdateEngine::WriteToLink(const std::string& text)
{
    if (m_pLink == nullptr)
        return false;
    return !m_pLink->Write(text).Failed();
}
