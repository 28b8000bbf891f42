// The window menu's Save Support Log and Update History: the current session's log, with what
// the program is and what it found, written to a file the user picks; the recorded updates.
#include "app/DownloaderDlg.h"

#include "app/HistoryDlg.h"
#include "platform/UpdateHistory.h"

#include "app/CommandLine.h"
#include "app/SupportReport.h"
#include "platform/SupportLog.h"

#include <QDir>
#include <QFileDialog>
#include <QPointer>

#include <QTimer>

#include <cstdio>
#include <fstream>

void CDownloaderDlg::SetSupportLog(CSupportLog* pLog)
{
    if (m_pSupportLog != nullptr)
        m_pSupportLog->SetFailureHandler({});
    m_pSupportLog = pLog;
    m_engine.SetSupportLog(pLog);
    if (pLog == nullptr)
        return;
    // Told on the window's thread, with the next entry after the failure; the line is added
    // once the current event is done, as the log may be in the middle of an entry.
    QPointer<CDownloaderDlg> pDlg(this);
    pLog->SetFailureHandler([pDlg](const std::string& why) {
        std::fprintf(stderr, "kestova-downloader: the support log cannot be written: %s\n", why.c_str());
        QTimer::singleShot(0, pDlg.data(), [pDlg, why] {
            if (pDlg)
                pDlg->LogLine("The support log cannot be written: " + why +
                              ". This session is kept in memory; Save Support Log\xE2\x80\xA6 in the "
                              "window menu saves it.");
        });
    });
}

SupportFacts CDownloaderDlg::GatherSupportFacts() const
{
    SupportFacts facts;
    facts.session = GatherSessionFacts(DownloaderVersionText());
    facts.strSettingsFile = m_ini.Path() ? m_ini.Path() : "";
    facts.strServiceUrl = m_engine.WebBaseUrl();
    if (m_pSupportLog != nullptr && m_pSupportLog->IsWritingFile())
        facts.strLogFile = m_pSupportLog->Path();
    return facts;
}

void CDownloaderDlg::SetUpdateHistory(CUpdateHistory* pHistory)
{
    m_pHistory = pHistory;
    m_engine.SetUpdateHistory(pHistory, "window");
    if (pHistory == nullptr)
        return;
    pHistory->SetUnwritableHandler([this](const std::string& text) {
        if (m_pSupportLog != nullptr)
            m_pSupportLog->Note(text);
        LogLine(text);
    });
}

void CDownloaderDlg::OnUpdateHistory()
{
    CHistoryDlg::ShowHistory(CUpdateHistory(m_pHistory ? m_pHistory->Path() : CUpdateHistory::DefaultPath()), this);
}

void CDownloaderDlg::OnSaveSupportLog()
{
    QFileDialog dialog(this, QStringLiteral("Save Support Log"),
                       QDir(QString::fromStdString(m_strLastDirectory))
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
        ShowMessageBox("The support log could not be written to " + path + ".");
    else
        LogLine("Support log saved to " + path);
}
