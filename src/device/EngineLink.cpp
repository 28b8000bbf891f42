// The engine's connection: opening the chosen port or the USB cable through the link session,
// what the session delivers, and the reset and reopen that every failure and every finished unit
// go through.
#include "device/UpdateEngine.h"

#include "device/DeviceNotices.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

#include <algorithm>
#include <utility>

namespace {
const char* const TEXT_UNPLUGGED = "The Tetherix was unplugged; it is used again as soon as it is back.";
const char* const TEXT_CANNOT_FIND = "Unable to find Tetherix";
const char* const TEXT_SAVED_CABLE_ABSENT = "The port saved last time, the USB Tetherix, is not there";
const char* const TEXT_SAVED_CABLE_REMEDY =
    "Plug the Tetherix in and press Detect Tetherix, or choose a port in the list.";
} // namespace

void CUpdateEngine::DropLinkChoice()
{
    // No link: nothing to fetch an image for, and the port must be chosen anew.
    m_session.Choose({});
    m_events.OnLinkDropped(m_session.LastOpenError(), true);
}

void CUpdateEngine::LogDiagnosis()
{
    const std::string& diagnosis = m_session.Diagnosis();
    if (diagnosis.empty())
        return;
    Log(diagnosis);
    m_events.OnDiagnosis(diagnosis);
}

void CUpdateEngine::ShowOpenFailure(const std::string& notice)
{
    LogDiagnosis();
    ShowNotice(NoticeKind::PortUnusable, NoticeWithReason(notice, m_session.Diagnosis()),
               m_session.Diagnosis());
}

// What the cable said of a failed open: a missing function's message box always; when not
// quiet, the sentence that says why, then the notice that carries it.
void CUpdateEngine::ShowUsbFailure(bool bQuiet)
{
    const LinkOpenFailure why = m_session.UsbFailure();
    if (!why.strMessageBox.empty())
        ShowNotice(NoticeKind::DriverError, why.strMessageBox);
    if (bQuiet || why.strNotice.empty())
        return;
    LogDiagnosis();
    ShowNotice(NoticeKind::CableUnusable,
               why.strSentence.empty() ? why.strNotice : why.strNotice + "\n\n" + why.strSentence,
               why.strSentence);
}

bool CUpdateEngine::OpenUsbLink(bool bQuiet)
{
    if (!m_session.OpenUsb(bQuiet))
        return true;
    ShowUsbFailure(bQuiet);
    return false;
}

void CUpdateEngine::EnterConnecting()
{
    m_conversation.StartWaking();
    m_events.OnActivity();
}

void CUpdateEngine::OpenSavedPort(const std::string& name)
{
    if (name != USB_PORT_NAME) {
        ConnectComPort(name, false);
        return;
    }
    m_session.Choose(name);
    if (m_session.UsbReopenDelayMs() > 0) {
        WaitForCable(false);
        return;
    }
    OpenCable(false);
}

// Opens the cable as the chosen port: quietly for the saved choice (the status list says what
// became of it), else with the notice that says why it cannot be used.
void CUpdateEngine::OpenCable(bool bRemember)
{
    if (OpenUsbLink(!bRemember)) {
        m_events.OnLinkOpened(USB_PORT_NAME, bRemember);
        EnterConnecting();
        return;
    }
    if (bRemember)
        return;
    const std::string why = m_session.UsbFailure().strSentence;
    Log(std::string(TEXT_SAVED_CABLE_ABSENT) + (why.empty() ? "." : ": " + why) + " " +
        TEXT_SAVED_CABLE_REMEDY);
    DropLinkChoice();
}

void CUpdateEngine::ConnectChosenPort()
{
    const std::string name = m_session.Chosen();
    if (name.empty()) {
        m_session.ForgetOpenError();
        DropLinkChoice();
        return;
    }
    if (name != USB_PORT_NAME) {
        ConnectComPort(name, true);
        return;
    }
    // The cable let go a moment ago (Detect's probe, another window, a reset) is opened once
    // its library allows, never before.
    if (m_session.UsbReopenDelayMs() > 0) {
        WaitForCable(true);
        return;
    }
    OpenCable(true);
}

void CUpdateEngine::WaitForCable(bool bRemember)
{
    m_session.HoldUsb();
    m_cableOpening = bRemember ? CableOpening::Remembered : CableOpening::Quiet;
    m_conversation.WaitForCable(false, m_session.ReopenDelayMs());
}

void CUpdateEngine::ConnectComPort(const std::string& name, bool bRemember)
{
    if (m_session.OpenSerial(name)) {
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
    m_session.SetUnplugged(false);
    m_cableOpening = CableOpening::None;
    m_session.Release();
    m_bImageReady = false;
    ClearLog();
    CancelFetch(strWhy);
    m_conversation.Stop();
}

void CUpdateEngine::PauseWakeUp() { m_conversation.PauseWaking(); }

void CUpdateEngine::ResumeWakeUp() { m_conversation.ResumeWaking(); }

void CUpdateEngine::SetLinkUnplugged(bool bUnplugged)
{
    m_session.SetUnplugged(bUnplugged);
    if (!bUnplugged || State() == EngineState::Programming || State() == EngineState::FinishPause)
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

void CUpdateEngine::OnSessionText(const std::string& text) { m_conversation.OnText(text); }

// The link ended by itself (hang-up, I/O error, the cable went). A run cannot go on without
// it and ends now; anywhere else the conversation meets it at its own deadline (the wake-up
// opens the link again, an identified unit falls silent), by which time a port that went has
// been reported gone and is let go quietly.
void CUpdateEngine::OnSessionFailed(const LinkError& /*error*/) { m_conversation.OnLinkLost(); }

void CUpdateEngine::ResetConnection() { ResetLinkAndControls(false); }

// A reset: what depended on the unit is let go, the link is closed, and after a short pause
// (a state, not a sleep) it is opened again.
void CUpdateEngine::ResetLinkAndControls(bool bEcho)
{
    SettleReport();
    AdvanceGeneration();
    CancelFetch(bEcho ? "the echo test started" : "the connection was reset");
    // Only the reboot after a whole run (the silence handler) keeps the check for afterwards.
    DropAwaitedCheck();
    if (m_session.Unplugged()) {
        LetUnpluggedLinkGo();
        return;
    }
    m_session.CloseForReset();
    m_bImageReady = false;
    m_conversation.BeginResetPause(bEcho);
    SetBar(0);
}

void CUpdateEngine::OnResetPauseEnd(bool bEcho)
{
    m_conversation.Stop();
    ConnectChosenPort();
    if (bEcho)
        m_conversation.StartEchoTest();
}

// The link is closed and opened again: a serial port at once; the USB cable once it allows.
int CUpdateEngine::ReopenLink()
{
    if (!m_session.InUse())
        return -1;
    m_session.Release();
    const std::string name = m_session.Chosen();
    if (name.empty()) {
        m_session.ForgetOpenError();
        DropLinkChoice();
        return -1;
    }
    if (name == USB_PORT_NAME) {
        m_session.HoldUsb();
        return std::max(m_session.ReopenDelayMs(), 1);
    }
    if (m_session.OpenSerial(name)) {
        DropLinkChoice();
        if (!m_session.Diagnosis().empty())
            m_events.OnDiagnosis(m_session.Diagnosis());
        ShowNotice(NoticeKind::PortLost, NoticeWithReason(TEXT_CANNOT_FIND, m_session.Diagnosis()),
                   m_session.Diagnosis());
        ListOnlyDiagnosis();
        return -1;
    }
    return 0;
}

// The cable could not be opened again: the user was told why; the choice stays saved.
void CUpdateEngine::KeepCableUnopened()
{
    m_events.OnLinkDropped(m_session.LastOpenError(), false);
    ListOnlyDiagnosis();
}

// The list is cleared down to the sentence that says why the link could not be used.
void CUpdateEngine::ListOnlyDiagnosis()
{
    ClearLog();
    if (!m_session.Diagnosis().empty())
        Log(m_session.Diagnosis());
}

// The cable may be opened: the conversation or the echo test goes on where it was, or a first
// open that waited for the cable is made now.
void CUpdateEngine::OnReopenDue(bool bEcho)
{
    // Woken early (a paused wake-up went on): the cable is waited for again.
    if (const int ms = m_session.ReopenDelayMs(); ms > 0) {
        m_conversation.WaitForCable(bEcho, ms);
        return;
    }
    if (const CableOpening opening = std::exchange(m_cableOpening, CableOpening::None);
        opening != CableOpening::None) {
        // Until it is open, the cable is not the link in use.
        m_session.Release();
        m_conversation.Stop();
        OpenCable(opening == CableOpening::Remembered);
        return;
    }
    if (!OpenUsbLink(false)) {
        m_conversation.Stop(true); // shown as connecting until a port is chosen
        KeepCableUnopened();
        // The echo test goes on without a cable, and fails in its own time.
        if (bEcho)
            m_conversation.SendEcho();
        return;
    }
    if (bEcho)
        m_conversation.SendEcho();
    else
        m_conversation.StartWaking();
}

// Every write is traced; the keep-alive of an identified unit is counted rather than traced.
bool CUpdateEngine::SendText(const std::string& text)
{
    const bool bKeepAlive = State() == EngineState::Identified && text == KEEP_ALIVE_TEXT;
    return !m_session.Write(text, bKeepAlive ? CLinkSession::TraceAs::KeepAlive
                                             : CLinkSession::TraceAs::Bytes);
}

bool CUpdateEngine::ProbeUsbCable() { return m_session.ProbeUsb(); }

std::vector<std::string> CUpdateEngine::ListSerialPorts() const
{
    return CLinkSession::ListSerialPorts();
}
