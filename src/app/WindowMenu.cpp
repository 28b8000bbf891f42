#include "app/WindowMenu.h"

#include "app/CommandLine.h"
#include "app/DoctorDlg.h"
#include "app/HistoryDlg.h"
#include "app/ServiceDlg.h"
#include "app/SettingsStore.h"
#include "app/WindowMenuKeys.h"
#include "device/UpdateEngine.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/EchoLinkDlg.h"
#include "platform/SupportLog.h"
#include "platform/UpdateHistory.h"
#include "res/StringTable.h"

#include <QDir>
#include <QFileDialog>
#include <QMenu>

#include <fstream>

CWindowMenu::CWindowMenu(QWidget& window, CUpdateEngine& engine, CSettingsStore& settings,
                         Host host)
    : QObject(&window), m_window(window), m_engine(engine), m_settings(settings),
      m_host(std::move(host))
{
    m_pMenu = new QMenu(QStringLiteral("Window Menu"), &window);
    m_pMenu->setAccessibleName(QStringLiteral("Window Menu"));
    const std::string about = LoadString(IDS_ABOUTBOX);
    if (!about.empty()) {
        m_pMenu->addAction(QString::fromStdString(about), this, [] { CAboutDlg().DoModal(); });
        m_pMenu->addAction(QStringLiteral("Echo Test"), this, [this] {
            if (CEchoLinkDlg().DoModal() == IDOK)
                m_engine.StartEchoTest();
        });
        m_pMenu->addAction(QStringLiteral("Save Support Log\u2026"), this,
                           [this] { OnSaveSupportLog(); });
        m_pMenu->addAction(QStringLiteral("Firmware Service\u2026"), this,
                           [this] { OnFirmwareService(); });
        m_pMenu->addAction(QStringLiteral("Update History\u2026"), this,
                           [this] { OnUpdateHistory(); });
        m_pMenu->addAction(QStringLiteral("Check This Computer\u2026"), this,
                           [this] { OnCheckComputer(); });
        m_pMenu->addAction(QStringLiteral("Several Units\u2026"), this,
                           [this] { m_host.fnSeveralUnits(); });
        m_pMenu->addSeparator();
    }
    m_pMenu->addAction(QStringLiteral("&Close"), this, [this] { m_host.fnClose(); });
    new CWindowMenuKeys(&window, [this] { Open(m_window.mapToGlobal(QPoint(0, 0))); });
}

void CWindowMenu::Open(const QPoint& globalPos) { m_pMenu->exec(globalPos); }

void CWindowMenu::OnFirmwareService()
{
    CServiceDlg dlg(&m_window);
    dlg.SetAddress(m_engine.WebBaseUrl());
    if (dlg.exec() == QDialog::Accepted)
        SetFirmwareService(dlg.Address());
}

void CWindowMenu::SetFirmwareService(const std::string& url)
{
    // The setting is written through the window's store, which says a failed write once.
    m_settings.SaveFirmwareService(url);
    m_engine.SetWebBaseUrl(url);
    m_host.fnSay(url.empty() ? std::string("No firmware service is set.")
                             : "Firmware service: " + url);
}

void CWindowMenu::OnCheckComputer()
{
    DoctorMachine machine = DoctorMachine::Current();
    machine.settingsPath = m_settings.Path() ? m_settings.Path() : "";
    machine.logPath = m_pSupportLog ? m_pSupportLog->Path() : CSupportLog::DefaultPath();
    machine.serviceUrl = m_engine.WebBaseUrl();
    CDoctorDlg dlg(&m_window);
    dlg.Run(machine);
    dlg.exec();
}

void CWindowMenu::OnUpdateHistory()
{
    CHistoryDlg::ShowHistory(CUpdateHistory(m_pHistory ? m_pHistory->Path() : CUpdateHistory::DefaultPath()),
                             &m_window);
}

SupportFacts CWindowMenu::GatherSupportFacts() const
{
    SupportFacts facts;
    facts.session = GatherSessionFacts(DownloaderVersionText());
    facts.strSettingsFile = m_settings.Path() ? m_settings.Path() : "";
    facts.strServiceUrl = m_engine.WebBaseUrl();
    if (m_pSupportLog != nullptr && m_pSupportLog->IsWritingFile())
        facts.strLogFile = m_pSupportLog->Path();
    return facts;
}

// The current session's log, with what the program is and what it found, written to a file the
// user picks.
void CWindowMenu::OnSaveSupportLog()
{
    QFileDialog dialog(&m_window, QStringLiteral("Save Support Log"),
                       QDir(QString::fromStdString(m_settings.LastDirectory()))
                           .filePath(QStringLiteral("kestova-support.log")),
                       QStringLiteral("Log files (*.log);;All files (*)"));
    dialog.setObjectName(QStringLiteral("SupportLogDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    const std::string path = dialog.selectedFiles().front().toStdString();
    if (m_pSupportLog != nullptr)
        m_pSupportLog->Flush(); // a waiting unit's keep-alive count so far is in it too
    const std::string session = m_pSupportLog ? m_pSupportLog->SessionText() : std::string();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << ComposeSupportReport(GatherSupportFacts(), session);
    file.close();
    if (!file)
        m_host.fnWarn("The support log could not be written to " + path + ".");
    else
        m_host.fnSay("Support log saved to " + path);
}
