// The port list as the system sees it: each entry says what it is, the chosen port is saved by
// a name that lasts across re-plugging, and plugging and unplugging are followed as they happen
// from the kernel's device events.
#include "app/DownloaderDlg.h"

#include "app/PortCombo.h"
#include "link/HotplugMonitor.h"
#include "link/PortDescription.h"
#include "link/TetherixDevices.h"

#include <QListWidget>

namespace {
const char* USB_ENTRY_DESCRIPTION = "USB – Tetherix through FTDI's D2XX library";

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
            [this](const UsbPlugFacts& device) {
                if (MayBeTetherixDevice(device, m_tetherixDevices))
                    OnPortPlugged(USB_PORT_NAME, true);
            });
    connect(m_pHotplug, &CHotplugMonitor::usbDeviceDisappeared, this,
            [this](const UsbPlugFacts& device) {
                // Another device's removal, even another FTDI adapter's, never ends the link.
                if (IsTetherixDevice(device, m_tetherixDevices))
                    OnPortPlugged(USB_PORT_NAME, false);
            });
}

bool CDownloaderDlg::IsActivePort(const std::string& name) const
{
    if (name == USB_PORT_NAME)
        return m_engine.IsUsbLink();
    return !m_engine.IsUsbLink() && m_engine.IsLinkOpen() && name == m_strLinkPort;
}

void CDownloaderDlg::OnPortPlugged(const std::string& name, bool bAppeared)
{
    // A new tty is offered only as the listing would offer it: no consoles or empty UART slots.
    if (bAppeared && name != USB_PORT_NAME && !IsListedComPort(name))
        return;
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
    if (m_strAwaitedPort.empty() || LastingPortName(name) != m_strAwaitedPort)
        return;
    // The chosen cable is back, perhaps under another number: connect to it again.
    m_strAwaitedPort.clear();
    if (m_strLinkPort != name && m_strLinkPort != USB_PORT_NAME) {
        const int stale = m_comboPort->FindName(m_strLinkPort);
        if (stale >= 0)
            m_comboPort->removeItem(stale);
    }
    AddPortEntry(name);
    m_comboPort->SelectString(name);
    if (m_engine.IsLinkOpen() || m_engine.IsUsbLink())
        m_engine.SetLinkUnplugged(false); // a run ends on the old link; its reset opens this one
    else
        ConnectSelectedPort();
}

void CDownloaderDlg::OnPortUnplugged(const std::string& name)
{
    const bool bActive = IsActivePort(name);
    if (bActive) {
        // The name taken when the port was opened: its sysfs entry and by-id link are gone now.
        m_strAwaitedPort = m_strLinkLastingName;
        m_engine.SetLinkUnplugged(true);
    }
    const int index = m_comboPort->FindName(name);
    if (index >= 0 && name != USB_PORT_NAME && !bActive)
        m_comboPort->removeItem(index);
}
