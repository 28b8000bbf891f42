// The port list as the system sees it: each entry says what it is, the chosen port is saved by
// a name that lasts across re-plugging, and plugging and unplugging are followed as they happen
// from the kernel's device events.
#include "app/DownloaderDlg.h"

#include "app/PortCombo.h"
#include "link/HotplugMonitor.h"
#include "link/PortDescription.h"

#include <QListWidget>

namespace {
const char* FTDI_VENDOR_ID = "0403";
const char* USB_ENTRY_DESCRIPTION = "USB – Tetherix through FTDI's D2XX library";
const char* TEXT_UNPLUGGED = "The Tetherix was unplugged; it is used again as soon as it is back.";

SystemRoots PortRoots()
{
    SystemRoots roots;
    roots.sys = ComPortSysfsRoot();
    return roots;
}
} // namespace

void CDownloaderDlg::AddPortEntry(const std::string& name)
{
    if (m_comboPort->FindName(name) >= 0)
        return;
    m_comboPort->AddString(name, name == USB_PORT_NAME ? std::string(USB_ENTRY_DESCRIPTION)
                                                       : DescribePort(name, PortRoots()));
}

std::string CDownloaderDlg::LastingPortName(const std::string& name) const
{
    return name == USB_PORT_NAME ? name : StablePortIdentity(name, PortRoots());
}

std::string CDownloaderDlg::ResolveSavedPort(const std::string& saved) const
{
    return saved.empty() || saved == USB_PORT_NAME ? saved
                                                   : ResolvePortIdentity(saved, PortRoots());
}

void CDownloaderDlg::SetHotplugSource(std::unique_ptr<IUeventSource> source)
{
    m_pHotplugSource = std::move(source);
}

void CDownloaderDlg::StartHotplugMonitor()
{
    if (m_pHotplug != nullptr)
        return;
    m_pHotplug = m_pHotplugSource ? new CHotplugMonitor(std::move(m_pHotplugSource), this)
                                  : new CHotplugMonitor(this);
    connect(m_pHotplug, &CHotplugMonitor::portAppeared, this,
            [this](const QString& tty) { OnPortPlugged(tty.toStdString(), true); });
    connect(m_pHotplug, &CHotplugMonitor::portDisappeared, this,
            [this](const QString& tty) { OnPortPlugged(tty.toStdString(), false); });
    connect(m_pHotplug, &CHotplugMonitor::usbDeviceAppeared, this,
            [this](const QString&, const QString& vendor) {
                if (vendor == FTDI_VENDOR_ID)
                    OnPortPlugged(USB_PORT_NAME, true);
            });
    connect(m_pHotplug, &CHotplugMonitor::usbDeviceDisappeared, this,
            [this](const QString&, const QString& vendor) {
                // Another device's removal must never end the cable's link: only an FTDI one.
                if (vendor == FTDI_VENDOR_ID)
                    OnPortPlugged(USB_PORT_NAME, false);
            });
}

bool CDownloaderDlg::IsActivePort(const std::string& name) const
{
    if (name == USB_PORT_NAME)
        return m_bUsbActive;
    return !m_bUsbActive && m_serial.IsPortOpen() && name == m_strPortName;
}

void CDownloaderDlg::OnPortPlugged(const std::string& name, bool bAppeared)
{
    if (m_bDetecting && bAppeared && name != USB_PORT_NAME)
        m_portsPluggedDuringDetect.push_back(name);
    if (m_comboPort->view()->isVisible())
        return; // the list the user is looking at stays as it is until it closes
    if (!bAppeared) {
        OnPortUnplugged(name);
        return;
    }
    if (name != USB_PORT_NAME)
        AddPortEntry(name);
    const bool bAwaited = !m_strAwaitedPort.empty() && LastingPortName(name) == m_strAwaitedPort;
    if (!bAwaited || m_serial.IsPortOpen() || m_bUsbActive)
        return;
    // The chosen cable is back, perhaps under another number: connect to it again.
    m_strAwaitedPort.clear();
    AddPortEntry(name);
    m_comboPort->SelectString(name);
    ConnectSelectedPort();
}

void CDownloaderDlg::OnPortUnplugged(const std::string& name)
{
    const bool bActive = IsActivePort(name);
    if (bActive)
        m_strAwaitedPort = LastingPortName(name);
    // A run in progress ends through its own failure notice; otherwise the link is let go now.
    if (bActive && (m_nPhase == PHASE_CONNECTING || m_nPhase == PHASE_IDENTIFIED)) {
        m_engine.CloseLinkAndIdle("the Tetherix was unplugged");
        m_btnDetect->setEnabled(true);
        m_comboPort->setEnabled(true);
        LogLine(TEXT_UNPLUGGED);
    }
    const int index = m_comboPort->FindName(name);
    if (index >= 0 && name != USB_PORT_NAME && !bActive)
        m_comboPort->removeItem(index);
}
