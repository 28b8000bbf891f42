// The main window as tests and benchmarks drive it: its controls by what they are, the window
// menu's commands by their names, and what the window keeps (the chosen port, the folder).
// Tests reach the window only through this page.
#pragma once

#include "app/DownloaderDlg.h"
#include "app/PortCombo.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

#include <string>

class CWindowPage {
public:
    explicit CWindowPage(CDownloaderDlg& window) : m_window(window) {}

    QPushButton* Detect() const { return m_window.m_btnDetect; }
    QPushButton* OpenFile() const { return m_window.m_btnOpenFile; }
    QPushButton* GetFromWeb() const { return m_window.m_btnGetFromWeb; }
    QPushButton* Send() const { return m_window.m_btnSend; }
    CPortCombo* PortList() const { return m_window.m_comboPort; }
    QListWidget* List() const { return m_window.m_list; }
    QProgressBar* Progress() const { return m_window.m_progress; }
    // The support log's failure, shown beside the list once the log fails.
    QLabel* LogFailure() const { return m_window.m_logFailure; }

    // The window menu's command of that name ("Echo Test", "Update History…"), as if chosen.
    void Command(const QString& name) const
    {
        for (QAction* action : m_window.findChild<QMenu*>()->actions())
            if (action->text() == name)
                action->trigger();
    }

    CWindowMenu& Menu() const { return *m_window.m_pMenu; }
    // The port the window opens and saves (empty: none chosen).
    const std::string& PortName() const { return m_window.m_pPorts->PortName(); }
    CPortChooser& Ports() const { return *m_window.m_pPorts; }
    const std::string& LastDirectory() const { return m_window.m_settings.LastDirectory(); }
    const char* SettingsPath() const { return m_window.m_settings.Path(); }
    CSettingsStore& Settings() const { return m_window.m_settings; }
    const std::string& FirmwarePath() const { return m_window.m_strFirmwarePath; }
    // The activity line's next step (0: its first form).
    void RestartActivity() const { m_window.m_nDots = 0; }
    CNoticeDlg& Notice() const { return m_window.m_noticeDlg; }

private:
    CDownloaderDlg& m_window;
};
