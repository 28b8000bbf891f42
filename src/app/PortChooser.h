// The port list as the system sees it: each entry says what it is, the chosen port is saved by
// a name that lasts across re-plugging, Detect Tetherix finds the cable the user plugs in, and
// plugging and unplugging are followed as they happen from the kernel's device events. The
// choice is handed to the window, which has the engine open it.
#pragma once

#include "dialogs/PromptDlg.h"
#include "link/TetherixDevices.h"

#include <QObject>

#include <functional>
#include <string>
#include <vector>

class CHotplugMonitor;
class CPortCombo;
class CSettingsStore;
class CUpdateEngine;

class CPortChooser : public QObject {
    Q_OBJECT

public:
    struct Host {
        std::function<void(const std::string&)> fnSay;    // a status row
        std::function<void(const std::string&)> fnNotice; // a notice the user acknowledges
        std::function<void()> fnConnectChosen;            // open the port chosen in the list
        std::function<void()> fnNotDetected;              // Detect found no cable
    };
    CPortChooser(CPortCombo& combo, CUpdateEngine& engine, CSettingsStore& settings, Host host,
                 QObject* parent);
    ~CPortChooser() override;

    // Lists the ports and opens the saved one (its lasting name); says what to do when it is
    // not there.
    void Start(const std::string& savedPort);
    void OnDetect();
    void OnPortPlugged(const std::string& name, bool bAppeared);

    // The port chosen in the list; empty when none.
    std::string SelectedPort() const;
    // The engine opened a port (saved when remembered) or dropped the choice.
    void OnPortOpened(const std::string& name, bool bRemember);
    void OnPortChoiceDropped(bool bForget);
    // The port the window opens and saves (empty: none chosen).
    const std::string& PortName() const { return m_strPortName; }

private:
    void AddPortEntry(const std::string& name);
    std::string LastingPortName(const std::string& name) const;
    void StartHotplugMonitor();
    bool IsActivePort(const std::string& name) const;
    void OnPortUnplugged(const std::string& name);
    void EnumeratePorts();
    void CloseLinkForDetect();
    void OnDropDown();
    std::string FindPluggedCable(const std::vector<std::string>& earlier);
    // The one port that was plugged in during Detect, or that is new in `later`; else empty.
    std::string NewPortName(const std::vector<std::string>& earlier,
                            const std::vector<std::string>& later) const;

    CPortCombo& m_combo;
    CUpdateEngine& m_engine;
    CSettingsStore& m_settings;
    Host m_host;
    CPromptDlg m_promptDlg;
    CHotplugMonitor* m_pHotplug = nullptr;
    std::vector<std::string> m_portNames;
    std::string m_strPortName;
    std::string m_strAwaitedPort;      // the lasting name of the chosen cable, unplugged
    std::string m_strLinkPort;         // the port last opened as the link ("ttyUSB0", "USB")
    std::string m_strLinkLastingName;  // its lasting name, taken when it was opened
    TetherixDevices m_tetherixDevices; // the cable's USB devices when the USB link opened
    bool m_bDetecting = false;
    std::vector<std::string> m_portsPluggedDuringDetect;
};
