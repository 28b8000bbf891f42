#include "app/PortChooser.h"

#include "app/PortCombo.h"
#include "app/SettingsStore.h"
#include "device/UpdateEngine.h"
#include "link/ComPortEnum.h"
#include "link/HotplugMonitor.h"
#include "link/PortDescription.h"
#include "link/UsbSysfs.h"
#include "res/StringTable.h"

#include <QAbstractItemView>

#include <algorithm>

namespace {
constexpr const char* USB_PORT_NAME = CUpdateEngine::USB_PORT_NAME;
const char* USB_ENTRY_DESCRIPTION = "USB – Tetherix through FTDI's D2XX library";
const char* TEXT_SAVED_PORT_REMEDY =
    "Plug the Tetherix in and press Detect Tetherix, or choose a port in the list.";

SystemRoots PortRoots()
{
    SystemRoots roots;
    roots.sys = ComPortSysfsRoot();
    return roots;
}

std::string FoundCableNotice(const std::string& portName)
{
    return LoadString(IDS_FOUND_CABLE_ON) + " " + portName + ". " +
           LoadString(IDS_PLUG_INTO_DEVICE);
}

// The one port of `names` that describes itself as the Tetherix; empty for none or several.
std::string OnlyTetherixPort(const std::vector<std::string>& names)
{
    std::string found;
    for (const auto& name : names) {
        if (!IsTetherixTty(ComPortSysfsRoot(), name))
            continue;
        if (!found.empty())
            return {};
        found = name;
    }
    return found;
}
} // namespace

CPortChooser::CPortChooser(CPortCombo& combo, CUpdateEngine& engine, CSettingsStore& settings,
                           Host host, QObject* parent)
    : QObject(parent), m_combo(combo), m_engine(engine), m_settings(settings),
      m_host(std::move(host))
{
    connect(&m_combo, &CPortCombo::DropDownOpening, this, [this] { OnDropDown(); });
    connect(&m_combo, &CPortCombo::DropDownClosed, this, [this] { m_host.fnConnectChosen(); });
    // The engine is told of the choice when it is made; it reopens that port on every reset.
    connect(&m_combo, &QComboBox::currentIndexChanged, this,
            [this] { m_engine.ChoosePort(SelectedPort()); });
    // A choice changed by key in the closed list is a choice like one made in the open list:
    // the link in use is closed and the chosen port opened.
    connect(&m_combo, &CPortCombo::ChosenWhileClosed, this, [this] {
        m_engine.CloseLinkAndIdle();
        m_host.fnConnectChosen();
    });
}

CPortChooser::~CPortChooser() = default;

void CPortChooser::Start(const std::string& savedPort)
{
    // The saved choice is the cable's lasting name: find the port it has today.
    m_strPortName = savedPort.empty() || savedPort == USB_PORT_NAME
                        ? savedPort
                        : ResolvePortIdentity(savedPort, PortRoots());
    m_portNames = m_engine.ListSerialPorts();
    m_portNames.push_back(USB_PORT_NAME);
    StartHotplugMonitor();
    for (const auto& name : m_portNames)
        AddPortEntry(name);
    if (std::find(m_portNames.begin(), m_portNames.end(), m_strPortName) != m_portNames.end()) {
        m_combo.SelectString(m_strPortName);
        m_engine.OpenSavedPort(m_strPortName);
        return;
    }
    // A serial port saved last time that is not there now is said as the absent cable is.
    m_strPortName.clear();
    if (!savedPort.empty())
        m_host.fnSay("The port saved last time, " + savedPort + ", is not there. " +
                     TEXT_SAVED_PORT_REMEDY);
}

void CPortChooser::AddPortEntry(const std::string& name)
{
    if (m_combo.FindName(name) >= 0)
        return;
    m_combo.AddString(name, name == USB_PORT_NAME ? std::string(USB_ENTRY_DESCRIPTION)
                                                  : DescribePort(name, PortRoots()));
}

std::string CPortChooser::LastingPortName(const std::string& name) const
{
    return name == USB_PORT_NAME ? name : StablePortIdentity(name, PortRoots());
}

void CPortChooser::StartHotplugMonitor()
{
    if (m_pHotplug != nullptr)
        return;
    m_pHotplug = new CHotplugMonitor(this);
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

bool CPortChooser::IsActivePort(const std::string& name) const
{
    if (name == USB_PORT_NAME)
        return m_engine.IsUsbLink();
    return !m_engine.IsUsbLink() && m_engine.IsLinkOpen() && name == m_strLinkPort;
}

void CPortChooser::OnPortPlugged(const std::string& name, bool bAppeared)
{
    // A new tty is offered only as the listing would offer it: no consoles or empty UART slots.
    if (bAppeared && name != USB_PORT_NAME && !IsListedComPort(name))
        return;
    if (m_bDetecting && bAppeared && name != USB_PORT_NAME)
        m_portsPluggedDuringDetect.push_back(name);
    if (m_combo.view()->isVisible())
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
        const int stale = m_combo.FindName(m_strLinkPort);
        if (stale >= 0)
            m_combo.removeItem(stale);
    }
    AddPortEntry(name);
    m_combo.SelectString(name);
    if (m_engine.IsLinkOpen() || m_engine.IsUsbLink())
        m_engine.SetLinkUnplugged(false); // a run ends on the old link; its reset opens this one
    else
        m_host.fnConnectChosen();
}

void CPortChooser::OnPortUnplugged(const std::string& name)
{
    const bool bActive = IsActivePort(name);
    if (bActive) {
        // The name taken when the port was opened: its sysfs entry and by-id link are gone now.
        m_strAwaitedPort = m_strLinkLastingName;
        m_engine.SetLinkUnplugged(true);
    }
    const int index = m_combo.FindName(name);
    if (index >= 0 && name != USB_PORT_NAME && !bActive)
        m_combo.removeItem(index);
}

void CPortChooser::EnumeratePorts()
{
    for (auto& name : m_engine.ListSerialPorts())
        m_portNames.push_back(std::move(name));
}

void CPortChooser::OnDetect()
{
    m_engine.PauseWakeUp();
    m_promptDlg.m_strText = LoadString(IDS_UNPLUG_PROMPT);
    if (m_promptDlg.DoModal() == IDOK) {
        if (m_promptDlg.m_nChoice != CPromptDlg::CHOICE_CONTINUE) {
            m_engine.ResumeWakeUp();
            return;
        }
        CloseLinkForDetect();
    }
    // Escape on the first prompt goes straight on, without the resets of Continue.
    const std::vector<std::string> earlier = m_portNames;
    m_portNames.clear();

    // Ports the kernel reports while the user plugs the cable in are the first candidates.
    m_portsPluggedDuringDetect.clear();
    m_bDetecting = true;
    m_promptDlg.m_strText = LoadString(IDS_PLUG_IN_PROMPT);
    const bool bContinue =
        m_promptDlg.DoModal() == IDOK && m_promptDlg.m_nChoice == CPromptDlg::CHOICE_CONTINUE;
    m_bDetecting = false;
    if (!bContinue)
        return;

    const std::string found = FindPluggedCable(earlier);
    if (found.empty()) {
        m_host.fnNotice(LoadString(IDS_NOT_DETECTED));
        m_host.fnNotDetected();
        m_combo.ResetContent();
        return;
    }
    m_strPortName = found;
    m_combo.ResetContent();
    AddPortEntry(found);
    m_combo.SelectString(found);
    m_host.fnConnectChosen();
}

void CPortChooser::CloseLinkForDetect()
{
    m_portNames.clear();
    // The user looks for the cable anew: an unplugged one is no longer waited for.
    m_strAwaitedPort.clear();
    m_engine.CloseLinkAndIdle("Detect Tetherix was pressed");
    m_combo.ResetContent();
    EnumeratePorts();
}

std::string CPortChooser::FindPluggedCable(const std::vector<std::string>& earlier)
{
    if (m_engine.ProbeUsbCable()) {
        m_host.fnNotice(FoundCableNotice(USB_PORT_NAME));
        return USB_PORT_NAME;
    }
    EnumeratePorts();
    std::string found = NewPortName(earlier, m_portNames);
    // Without FTDI's library the cable is still there as a serial port: the one port that
    // describes itself as the Tetherix is it, also when it stayed plugged in throughout.
    if (found.empty())
        found = OnlyTetherixPort(m_portNames);
    if (!found.empty())
        m_host.fnNotice(FoundCableNotice(found));
    return found;
}

std::string CPortChooser::NewPortName(const std::vector<std::string>& earlier,
                                      const std::vector<std::string>& later) const
{
    if (m_portsPluggedDuringDetect.size() == 1 &&
        std::find(later.begin(), later.end(), m_portsPluggedDuringDetect.front()) != later.end())
        return m_portsPluggedDuringDetect.front();
    if (later.size() <= earlier.size())
        return {};
    if (earlier.empty() && later.size() == 1)
        return later.front();
    std::string found;
    int newCount = 0;
    for (const auto& name : later) {
        if (std::find(earlier.begin(), earlier.end(), name) == earlier.end()) {
            ++newCount;
            found = name;
        }
    }
    return newCount == 1 ? found : std::string();
}

void CPortChooser::OnDropDown()
{
    m_combo.ResetContent();
    m_portNames.clear();
    m_strAwaitedPort.clear(); // the user chooses the port now
    m_engine.CloseLinkAndIdle("the port list was opened");
    EnumeratePorts();
    AddPortEntry(USB_PORT_NAME);
    for (const auto& name : m_portNames)
        AddPortEntry(name);
}

std::string CPortChooser::SelectedPort() const
{
    return m_combo.HasSelection() ? m_combo.SelectedText() : std::string();
}

void CPortChooser::OnPortOpened(const std::string& name, bool bRemember)
{
    // What the link is is taken now, while sysfs and the by-id links show it: once it is
    // unplugged they are gone, and it must be recognised when it comes back.
    m_strLinkPort = name;
    m_strLinkLastingName = LastingPortName(name);
    m_strAwaitedPort.clear();
    if (name == USB_PORT_NAME)
        m_tetherixDevices = FindTetherixDevices(ComPortSysfsRoot());
    if (!bRemember)
        return;
    // Saved by a name that lasts, so that the same cable is found again under another number.
    m_settings.SavePort(m_strLinkLastingName);
    m_strPortName = name;
}

void CPortChooser::OnPortChoiceDropped(bool bForget)
{
    m_combo.ResetContent();
    if (bForget)
        m_strPortName.clear();
}
