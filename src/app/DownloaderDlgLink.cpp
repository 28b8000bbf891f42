// Finding the cable, choosing and opening the port, and the operations every other handler
// uses to open, close and reopen the active link and to send text to the unit.
#include "app/DownloaderDlg.h"

#include "app/PortCombo.h"
#include "device/ReceivedText.h"
#include "res/StringTable.h"

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace {
constexpr DWORD LINE_BAUD = 9600;
constexpr BYTE LINE_DATA_BITS = 8;
constexpr int RESET_PAUSE_MS = 50;
constexpr DWORD SERIAL_READ_CHUNK = 100; // bytes read per step of the COM-port dispatch
const std::string DEVICE_PREFIX = "/dev/";

std::string FoundCableNotice(const std::string& portName)
{
    return LoadString(IDS_FOUND_CABLE_ON) + " " + portName + ". " + LoadString(IDS_PLUG_INTO_DEVICE);
}
} // namespace

bool CDownloaderDlg::AddPortName(void*, const ComPortInfo& info)
{
    if (g_pMainDlg)
        g_pMainDlg->m_portNames.emplace_back(info.portName);
    return true;
}

void CDownloaderDlg::EnumeratePortsIntoList()
{
    EnumerateComPorts(&CDownloaderDlg::AddPortName, nullptr);
}

bool CDownloaderDlg::OpenComPort(const std::string& portName)
{
    const std::string device = DEVICE_PREFIX + portName;
    if (m_serial.OpenPort(device.c_str(), this, 0, 0, 0, 0) != 0)
        return false;
    m_serial.ConfigureLine(LINE_BAUD, LINE_DATA_BITS, NOPARITY, ONESTOPBIT);
    m_serial.SetFlowControl(FlowNone);
    return true;
}

void CDownloaderDlg::ForgetPort()
{
    m_comboPort->ResetContent();
    m_strPortName.clear();
}

void CDownloaderDlg::DropLinkChoice()
{
    // No link: nothing to fetch an image for, and the port must be chosen anew.
    m_btnOpenFile->setEnabled(false);
    m_btnGetFromWeb->setEnabled(false);
    ForgetPort();
}

bool CDownloaderDlg::OpenUsbLink()
{
    if (m_usb.Open(false) != 0)
        return false;
    m_bUsbActive = true;
    m_ini.WriteString(SETTINGS_SECTION, KEY_COM_PORT, USB_PORT_NAME);
    m_strPortName = USB_PORT_NAME;
    return true;
}

void CDownloaderDlg::EnterConnecting()
{
    m_nPhase = PHASE_CONNECTING;
    SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
    ShowActivity();
}

void CDownloaderDlg::OnDetect()
{
    KillTimer(TIMER_WAKE);
    m_promptDlg.m_strText = LoadString(IDS_UNPLUG_PROMPT);
    if (m_promptDlg.DoModal() == IDOK) {
        if (m_promptDlg.m_nChoice != CPromptDlg::CHOICE_CONTINUE) {
            SetTimer(TIMER_WAKE, WAKE_INTERVAL_MS);
            return;
        }
        CloseLinkForDetect();
    }
    // Escape on the first prompt goes straight on, without the resets of Continue.
    const std::vector<std::string> earlier = m_portNames;
    m_portNames.clear();

    m_promptDlg.m_strText = LoadString(IDS_PLUG_IN_PROMPT);
    if (m_promptDlg.DoModal() != IDOK || m_promptDlg.m_nChoice != CPromptDlg::CHOICE_CONTINUE)
        return;

    const std::string found = FindPluggedCable(earlier);
    if (found.empty()) {
        ShowNotice(LoadString(IDS_NOT_DETECTED));
        m_btnOpenFile->setEnabled(false);
        m_btnGetFromWeb->setEnabled(false);
        m_comboPort->ResetContent();
        return;
    }
    m_strPortName = found;
    m_comboPort->ResetContent();
    m_comboPort->AddString(found);
    m_comboPort->SelectString(found);
    ConnectSelectedPort();
}

void CDownloaderDlg::CloseLinkForDetect()
{
    m_nDots = 0;
    m_portNames.clear();
    if (m_serial.IsPortOpen())
        m_serial.ClosePort();
    m_usb.Close();
    m_comboPort->ResetContent();
    SetImageButtons(false, false, false);
    m_list->clear();
    m_nPhase = PHASE_IDLE;
    EnumeratePortsIntoList();
}

std::string CDownloaderDlg::FindPluggedCable(const std::vector<std::string>& earlier)
{
    if (m_usb.Open(true) == 0) {
        ShowNotice(FoundCableNotice(USB_PORT_NAME));
        // Close releases the cable only while it is the active link.
        m_bUsbActive = true;
        m_usb.Close();
        return USB_PORT_NAME;
    }
    EnumeratePortsIntoList();
    const std::vector<std::string>& later = m_portNames;
    if (later.size() <= earlier.size())
        return {};
    std::string found;
    if (earlier.empty() && later.size() == 1) {
        found = later.front();
    } else {
        int newCount = 0;
        for (const auto& name : later) {
            if (std::find(earlier.begin(), earlier.end(), name) == earlier.end()) {
                ++newCount;
                found = name;
            }
        }
        if (newCount != 1)
            return {};
    }
    ShowNotice(FoundCableNotice(found));
    return found;
}

void CDownloaderDlg::OnPortDropDown()
{
    KillTimer(TIMER_WAKE);
    m_nDots = 0;
    m_comboPort->ResetContent();
    m_portNames.clear();
    if (m_bUsbActive)
        m_usb.Close();
    else if (m_serial.IsPortOpen())
        m_serial.ClosePort();
    SetImageButtons(false, false, false);
    m_list->clear();
    m_nPhase = PHASE_IDLE;
    EnumeratePortsIntoList();
    m_comboPort->AddString(USB_PORT_NAME);
    for (const auto& name : m_portNames)
        m_comboPort->AddString(name);
}

void CDownloaderDlg::ConnectSelectedPort()
{
    if (!m_comboPort->HasSelection()) {
        DropLinkChoice();
        return;
    }
    const std::string name = m_comboPort->SelectedText();
    if (name == USB_PORT_NAME) {
        if (!OpenUsbLink())
            return;
        EnterConnecting();
        m_usb.StartReader();
        return;
    }
    if (!OpenComPort(name)) {
        DropLinkChoice();
        ShowNotice(LoadString(IDS_UNABLE_TO_OPEN));
        return;
    }
    m_ini.WriteString(SETTINGS_SECTION, KEY_COM_PORT, name.c_str());
    m_strPortName = name;
    EnterConnecting();
}

LPARAM CDownloaderDlg::OnSerialEvent(WPARAM wParam, LPARAM)
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
        DispatchReceived(CleanReceivedBytes(buffer, got));
    } while (got == SERIAL_READ_CHUNK);
    return 0;
}

void CDownloaderDlg::DispatchReceived(const std::string& text)
{
    if (m_bDropReceived)
        return;
    if (m_bEchoMode)
        OnEchoText(text);
    else
        OnReceivedText(text);
}

void CDownloaderDlg::ResetConnection()
{
    KillTimer(TIMER_PROGRAM_REPLY);
    Pause(RESET_PAUSE_MS);
    // The reset may run inside the USB reader's notification, so it only closes the device
    // and never waits for the reader.
    if (m_bUsbActive)
        m_usb.CloseDevice();
    else if (m_serial.IsPortOpen())
        m_serial.ClosePort();
    m_strReceived.clear();
    m_nPhase = PHASE_IDLE;
    m_nDots = 0;
    m_progress->setValue(0);
    SetImageButtons(false, false, false);
    m_comboPort->setEnabled(true);
    m_btnDetect->setEnabled(true);
    if (m_firmwareFile.is_open())
        m_firmwareFile.close();
    ConnectSelectedPort();
}

bool CDownloaderDlg::ReopenLink()
{
    if (m_bUsbActive) {
        m_usb.Close();
    } else {
        if (!m_serial.IsPortOpen())
            return false;
        m_serial.ClosePort();
    }
    if (!m_comboPort->HasSelection()) {
        DropLinkChoice();
        return false;
    }
    const std::string name = m_comboPort->SelectedText();
    if (name == USB_PORT_NAME) {
        // The cable has shown its own notice when it could not be opened.
        if (!OpenUsbLink()) {
            m_comboPort->ResetContent();
            m_list->clear();
            return true;
        }
        m_usb.StartReader();
        return true;
    }
    if (!OpenComPort(name)) {
        DropLinkChoice();
        ShowNotice("Unable to find Tetherix");
        m_list->clear();
        return false;
    }
    return true;
}

void CDownloaderDlg::SendText(const std::string& text)
{
    if (m_bUsbActive) {
        DWORD written = 0;
        m_usb.WriteBytes(text.data(), static_cast<DWORD>(text.size()), &written);
    } else {
        m_serial.WriteText(text.c_str(), nullptr, nullptr, INFINITE);
    }
}
