// The window menu: the program's own commands (About, Echo Test, Save Support Log…, Firmware
// Service…, Update History…, Check This Computer…) and Close, each an action. Linux window
// managers give a program no title-bar menu of its own: this one opens from a right click,
// Alt+Space, Shift+F10 and the Menu key, is named when it opens, and starts with the program's
// own items.
#pragma once

#include "app/SupportReport.h"

#include <QObject>

#include <functional>
#include <string>

class CSettingsStore;
class CSupportLog;
class CUpdateEngine;
class CUpdateHistory;
class QMenu;
class QPoint;
class QWidget;

class CWindowMenu : public QObject {
public:
    struct Host {
        std::function<void(const std::string&)> fnSay;  // a status row
        std::function<void(const std::string&)> fnWarn; // a message box the user acknowledges
        std::function<void()> fnClose;                  // Close, as Exit
        std::function<void()> fnSeveralUnits;           // Several Units…: the service bench
    };
    CWindowMenu(QWidget& window, CUpdateEngine& engine, CSettingsStore& settings, Host host);

    void Open(const QPoint& globalPos);
    void SetSupportLog(CSupportLog* pLog) { m_pSupportLog = pLog; }
    void SetUpdateHistory(CUpdateHistory* pHistory) { m_pHistory = pHistory; }
    // Saves `url` (already checked; empty: none) as the service's address and uses it.
    void SetFirmwareService(const std::string& url);

private:
    void OnSaveSupportLog();
    void OnFirmwareService();
    void OnUpdateHistory();
    void OnCheckComputer();
    SupportFacts GatherSupportFacts() const;

    QWidget& m_window;
    CUpdateEngine& m_engine;
    CSettingsStore& m_settings;
    Host m_host;
    QMenu* m_pMenu = nullptr;
    CSupportLog* m_pSupportLog = nullptr;
    CUpdateHistory* m_pHistory = nullptr;
};
