// Open Local File: choosing a programming file, which the engine reads and checks.
#include "app/DownloaderDlg.h"

#include <QFileDialog>

namespace {
const char* FILE_FILTER = "Kestova Programming Files (*.fwr)";
} // namespace

void CDownloaderDlg::OnOpenLocalFile()
{
    // The file is chosen for the unit shown now; the unit may change while the dialog is open.
    const EngineTicket ticket = m_engine.Ticket();
    QFileDialog dialog(this, QString(), QString::fromStdString(m_strLastDirectory),
                       QString::fromLatin1(FILE_FILTER));
    dialog.setObjectName(QStringLiteral("FirmwareFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ReadOnly, true);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    m_engine.CloseImageFile();
    m_strFirmwarePath = dialog.selectedFiles().front().toStdString();
    const auto slash = m_strFirmwarePath.rfind('/');
    const std::string directory =
        slash == std::string::npos ? m_strFirmwarePath : m_strFirmwarePath.substr(0, slash);
    // Remembered before the file is read, so the next dialog opens here even if it fails.
    m_ini.WriteString(SETTINGS_SECTION, KEY_LAST_DIRECTORY, directory.c_str());
    m_strLastDirectory = directory;

    m_engine.LoadImageFileFor(ticket, m_strFirmwarePath);
}
