// Finding the cable and choosing the port: the port list, Detect, and the window's side of
// opening, closing and reopening the link that its engine holds.
#include "app/DownloaderDlg.h"

#include "app/PortCombo.h"
#include "link/ComPortEnum.h"
#include "link/TetherixDevices.h"
#include "link/UsbSysfs.h"
#include "res/StringTable.h"

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace {
std::string FoundCableNotice(const std::string& portName)
{
    return LoadString(IDS_FOUND_CABLE_ON) + " " + portName + ". " +
           LoadString(IDS_PLUG_INTO_DEVICE);
}
} // namespace

void CDownloaderDlg::EnumeratePortsIntoList()
{
    for (auto& name : m_engine.ListSerialPorts())
        m_portNames.push_back(std::move(name));
}

void CDownloaderDlg::ForgetPort()
{
    m_comboPort->ResetContent();
    m_strPortName.clear();
}

void CDownloaderDlg::OnDetect()
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
        ShowNotice(LoadString(IDS_NOT_DETECTED));
        m_btnOpenFile->setEnabled(false);
        m_btnGetFromWeb->setEnabled(false);
        m_comboPort->ResetContent();
        return;
    }
    m_strPortName = found;
    m_comboPort->ResetContent();
    AddPortEntry(found);
    m_comboPort->SelectString(found);
    ConnectSelectedPort();
}

void CDownloaderDlg::CloseLinkForDetect()
{
    m_portNames.clear();
    // The user looks for the cable anew: an unplugged one is no longer waited for.
    m_strAwaitedPort.clear();
    m_engine.CloseLinkAndIdle("Detect Tetherix was pressed");
    m_comboPort->ResetContent();
    EnumeratePortsIntoList();
}

std::string CDownloaderDlg::FindPluggedCable(const std::vector<std::string>& earlier)
{
    if (m_engine.ProbeUsbCable()) {
        ShowNotice(FoundCableNotice(USB_PORT_NAME));
        return USB_PORT_NAME;
    }
    EnumeratePortsIntoList();
    std::string found = NewPortName(earlier, m_portNames);
    // Without FTDI's library the cable is still there as a serial port: the one port that
    // describes itself as the Tetherix is it, also when it stayed plugged in throughout.
    if (found.empty())
        found = OnlyTetherixPort(m_portNames);
    if (!found.empty())
        ShowNotice(FoundCableNotice(found));
    return found;
}

std::string CDownloaderDlg::NewPortName(const std::vector<std::string>& earlier,
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

std::string CDownloaderDlg::OnlyTetherixPort(const std::vector<std::string>& names) const
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

void CDownloaderDlg::OnPortDropDown()
{
    m_comboPort->ResetContent();
    m_portNames.clear();
    m_strAwaitedPort.clear(); // the user chooses the port now
    m_engine.CloseLinkAndIdle("the port list was opened");
    EnumeratePortsIntoList();
    AddPortEntry(USB_PORT_NAME);
    for (const auto& name : m_portNames)
        AddPortEntry(name);
}


// A choice changed by key in the closed list is a choice like one made in the open list: the
// link in use is closed and the chosen port opened.
void CDownloaderDlg::OnPortChosenWhileClosed()
{
    m_engine.CloseLinkAndIdle();
    ConnectSelectedPort();
}


std::string CDownloaderDlg::SelectedPort() const
{
    return m_comboPort->HasSelection() ? m_comboPort->SelectedText() : std::string();
}

void CDownloaderDlg::OnLinkOpened(const std::string& name, bool bRemember)
{
    // What the link is is taken now, while sysfs and the by-id links show it: once it is
    // unplugged they are gone, and it must be recognised when it comes back.
    m_strLinkPort = name;
    if (m_bTellingPort)
        m_strPortOutcome = "open, waiting for the unit to answer.";
    m_strLinkLastingName = LastingPortName(name);
    m_strAwaitedPort.clear();
    if (name == USB_PORT_NAME)
        m_tetherixDevices = FindTetherixDevices(ComPortSysfsRoot());
    if (!bRemember)
        return;
    // Saved by a name that lasts, so that the same cable is found again under another number.
    m_ini.WriteString(SETTINGS_SECTION, KEY_COM_PORT, m_strLinkLastingName.c_str());
    m_strPortName = name;
}

void CDownloaderDlg::OnLinkDropped(const LinkError&, bool bForget)
{
    if (bForget)
        ForgetPort();
    else
        m_comboPort->ResetContent();
}
