// The engine's link: opening the chosen port or the USB cable, reading what arrives, sending,
// and the reset and reopen that every failure and every finished unit go through.
#include "device/UpdateEngine.h"

#include "device/ReceivedText.h"
#include "link/PortDiagnosis.h"
#include "link/PortUsers.h"
#include "link/SerialLatency.h"
#include "platform/SupportLog.h"
#include "res/StringTable.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {
constexpr DWORD LINE_BAUD = 9600;
constexpr BYTE LINE_DATA_BITS = 8;
constexpr DWORD SERIAL_READ_CHUNK = 100; // bytes read per step of the COM-port dispatch
const std::string DEVICE_PREFIX = "/dev/";
const char* const TEXT_UNPLUGGED = "The Tetherix was unplugged; it is used again as soon as it is back.";

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

bool CUpdateEngine::OpenComPort(const std::string& portName)
{
    const std::string device = DevicePath(portName);
    m_strLastDiagnosis.clear();
    // A program that holds the port without a lock would share the unit's replies with us, and
    // opening it would throw away its pending input: such a port is left alone.
    const std::vector<PortUser> users = FindPortUsers(device, m_roots);
    if (!users.empty()) {
        m_strLastDiagnosis = ExplainPortInUse(device, users);
        return false;
    }
    const DWORD code = m_serial.OpenPort(device.c_str(), this, 0, 0, 0, 0);
    if (code != 0) {
        // A port that was never open here was not unplugged: it is not there (or mistyped).
        const bool bMissing = code == static_cast<DWORD>(ENOENT) && device != m_strLinkName;
        m_strLastDiagnosis = bMissing ? ExplainMissingPort(portName, ListSerialPorts())
                                      : ExplainPortOpenFailure(device, static_cast<int>(code));
        TraceLink(true, device, code, m_strLastDiagnosis);
        return false;
    }
    TraceLink(true, device, 0);
    if (m_pSupportLog != nullptr)
        m_pSupportLog->LinkNote(device, DescribeSerialLatency(device, m_serial.LowLatencyResult()));
    m_serial.ConfigureLine(LINE_BAUD, LINE_DATA_BITS, NOPARITY, ONESTOPBIT);
    m_serial.SetFlowControl(FlowNone);
    return true;
}

void CUpdateEngine::DropLinkChoice()
{
    // No link: nothing to fetch an image for, and the port must be chosen anew.
    Enable(EngineControl::OpenFile, false);
    Enable(EngineControl::GetFromWeb, false);
    m_events.OnPortChoiceDropped(true);
}

void CUpdateEngine::OnDiagnosis(const std::string& sentence)
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
    ShowNotice(m_strLastDiagnosis.empty() ? notice : notice + "\n\n" + m_strLastDiagnosis);
}

bool CUpdateEngine::OpenUsbLink()
{
    m_strLastDiagnosis.clear();
    if (m_usb.Open(false) != 0) {
        TraceLink(true, USB_PORT_NAME, 1, m_strLastDiagnosis);
        return false;
    }
    TraceLink(true, USB_PORT_NAME, 0);
    m_bUsbActive = true;
    m_events.OnPortOpened(USB_PORT_NAME, true);
    return true;
}

void CUpdateEngine::EnterConnecting()
{
    SetPhase(PHASE_CONNECTING);
    SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
    m_events.OnActivity();
}

void CUpdateEngine::OpenSavedPort(const std::string& name)
{
    if (name == USB_PORT_NAME) {
        if (m_usb.Open(true) != 0) {
            TraceLink(true, USB_PORT_NAME, 1);
            DropLinkChoice();
            return;
        }
        TraceLink(true, USB_PORT_NAME, 0);
        m_bUsbActive = true;
        m_events.OnPortOpened(name, false);
        EnterConnecting();
        m_usb.StartReader();
        return;
    }
    ConnectComPort(name, false);
}

void CUpdateEngine::ConnectSelectedPort()
{
    const std::string name = m_events.SelectedPort();
    if (name.empty()) {
        DropLinkChoice();
        return;
    }
    if (name == USB_PORT_NAME) {
        if (!OpenUsbLink())
            return;
        EnterConnecting();
        m_usb.StartReader();
        return;
    }
    ConnectComPort(name, true);
}

void CUpdateEngine::ConnectComPort(const std::string& name, bool bRemember)
{
    if (!OpenComPort(name)) {
        // The user hears why before the choice is dropped.
        ShowOpenFailure(LoadString(IDS_UNABLE_TO_OPEN));
        DropLinkChoice();
        return;
    }
    m_events.OnPortOpened(name, bRemember);
    EnterConnecting();
}

void CUpdateEngine::CloseLinkAndIdle(const std::string& strWhy)
{
    SettleReport();
    AdvanceGeneration();
    m_bAwaitingCheck = false;
    KillTimer(TIMER_REBOOT_WINDOW);
    StopConversation();
    m_nDots = 0;
    m_bLinkUnplugged = false;
    CloseLink();
    SetImageButtons(false, false, false);
    ClearLog();
    CancelFetch(strWhy);
    SetPhase(PHASE_IDLE);
}

// Every timer of the conversation ends with its link: none may later write to, reset or reopen
// a link that is closed, least of all a port that has gone.
void CUpdateEngine::StopConversation()
{
    for (const int id : {TIMER_WAKE, TIMER_PROGRAM_REPLY, TIMER_SILENCE, TIMER_ECHO_START,
                         TIMER_ECHO_REPLY})
        KillTimer(id);
    CancelStep();
    m_bEchoMode = false;
}

void CUpdateEngine::SetLinkUnplugged(bool bUnplugged)
{
    m_bLinkUnplugged = bUnplugged;
    if (!bUnplugged || m_nPhase == PHASE_PROGRAMMING)
        return;
    LetUnpluggedLinkGo();
}

// The link's port has gone: it is closed quietly, and the user can choose again or wait.
void CUpdateEngine::LetUnpluggedLinkGo()
{
    CloseLinkAndIdle("the Tetherix was unplugged");
    CloseImageFile();
    m_events.OnProgress(0);
    Enable(EngineControl::PortList, true);
    Enable(EngineControl::Detect, true);
    Log(TEXT_UNPLUGGED);
}

bool CUpdateEngine::ProbeUsbCable()
{
    if (m_usb.Open(true) != 0) {
        m_strLastDiagnosis = m_usb.OpenFailure();
        return false;
    }
    // Close releases the cable only while it is the active link.
    m_bUsbActive = true;
    m_usb.Close();
    return true;
}

LPARAM CUpdateEngine::OnSerialEvent(WPARAM wParam, LPARAM)
{
    if ((wParam & 0xFFFF & EV_RXCHAR) == 0)
        return 0;
    DWORD got = 0;
    do {
        char buffer[SERIAL_READ_CHUNK + 1] = {};
        got = 0;
        if (!m_serial.IsPortOpen())
            break;
        // A failed read delivers nothing; the bytes it may have moved are not trusted.
        if (m_serial.ReadBytes(buffer, SERIAL_READ_CHUNK, &got) != 0)
            got = 0;
        got = std::min<DWORD>(got, SERIAL_READ_CHUNK);
        if (got == 0)
            break;
        TraceBytes(false, std::string(buffer, got));
        DispatchReceived(CleanReceivedBytes(buffer, got));
    } while (got == SERIAL_READ_CHUNK);
    return 0;
}

void CUpdateEngine::DispatchReceived(const std::string& text)
{
    if (m_fnStepThen) {
        m_heldText.push_back(text);
        return;
    }
    if (m_bDropReceived)
        return;
    if (m_bEchoMode)
        OnEchoText(text);
    else
        OnReceivedText(text);
}

void CUpdateEngine::ResetConnection()
{
    SettleReport();
    AdvanceGeneration();
    CancelFetch("the connection was reset");
    // Only the reboot after a whole run (the silence handler) keeps the check for afterwards.
    m_bAwaitingCheck = false;
    KillTimer(TIMER_REBOOT_WINDOW);
    if (m_bLinkUnplugged) {
        LetUnpluggedLinkGo();
        return;
    }
    KillTimer(TIMER_PROGRAM_REPLY);
    CancelStep();
    std::this_thread::sleep_for(std::chrono::milliseconds(m_nResetPauseMs));
    // The reset may run inside the USB reader's notification, so it only closes the device
    // and never waits for the reader.
    if (m_bUsbActive) {
        m_usb.CloseDevice();
        TraceLink(false, USB_PORT_NAME, 0);
    } else if (m_serial.IsPortOpen()) {
        m_serial.ClosePort();
        TraceLink(false, m_strLinkName, 0);
    }
    m_strReceived.clear();
    SetPhase(PHASE_IDLE);
    m_nDots = 0;
    m_events.OnProgress(0);
    SetImageButtons(false, false, false);
    Enable(EngineControl::PortList, true);
    Enable(EngineControl::Detect, true);
    CloseImageFile();
    ConnectSelectedPort();
}

bool CUpdateEngine::ReopenLink()
{
    if (!m_bUsbActive && !m_serial.IsPortOpen())
        return false;
    CloseLink();
    const std::string name = m_events.SelectedPort();
    if (name.empty()) {
        DropLinkChoice();
        return false;
    }
    if (name == USB_PORT_NAME) {
        // The cable has shown its own notice when it could not be opened.
        if (!OpenUsbLink()) {
            m_events.OnPortChoiceDropped(false);
            ClearLog();
            if (!m_strLastDiagnosis.empty())
                Log(m_strLastDiagnosis);
            return true;
        }
        m_usb.StartReader();
        return true;
    }
    if (!OpenComPort(name)) {
        DropLinkChoice();
        if (!m_strLastDiagnosis.empty())
            m_events.OnDiagnosis(m_strLastDiagnosis);
        ShowNotice(m_strLastDiagnosis.empty() ? std::string("Unable to find Tetherix")
                                              : "Unable to find Tetherix\n\n" + m_strLastDiagnosis);
        ClearLog();
        if (!m_strLastDiagnosis.empty())
            Log(m_strLastDiagnosis);
        return false;
    }
    return true;
}

// Closes both links, whichever are open: the USB cable's and a serial port.
void CUpdateEngine::CloseLink()
{
    if (m_bUsbActive) {
        m_usb.Close();
        TraceLink(false, USB_PORT_NAME, 0);
    }
    if (m_serial.IsPortOpen()) {
        const DWORD code = m_serial.ClosePort();
        TraceLink(false, m_strLinkName, code);
    }
}

void CUpdateEngine::TraceLink(bool bOpened, const std::string& name, unsigned long code,
                              const std::string& detail)
{
    if (bOpened && code == 0)
        m_strLinkName = name;
    if (m_pSupportLog == nullptr)
        return;
    if (bOpened)
        m_pSupportLog->LinkOpened(name, code, detail);
    else
        m_pSupportLog->LinkClosed(name, code, detail);
}

void CUpdateEngine::OnLinkNote(const std::string& note)
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->LinkNote(USB_PORT_NAME, note);
}

void CUpdateEngine::TraceBytes(bool bToUnit, const std::string& bytes)
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Bytes(bToUnit ? CSupportLog::EDirection::ToUnit
                                     : CSupportLog::EDirection::FromUnit,
                             bytes.data(), bytes.size(), this);
}

void CUpdateEngine::OnCableText(const std::string& text)
{
    TraceBytes(false, text);
    DispatchReceived(text);
}

void CUpdateEngine::SendText(const std::string& text)
{
    TraceBytes(true, text);
    WriteToLink(text);
}

void CUpdateEngine::WriteToLink(const std::string& text)
{
    if (m_bUsbActive) {
        DWORD written = 0;
        m_usb.WriteBytes(text.data(), static_cast<DWORD>(text.size()), &written);
    } else {
        m_serial.WriteText(text.c_str(), nullptr, nullptr, INFINITE);
    }
}
