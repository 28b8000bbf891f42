// Open Local File: choosing a programming file, which the engine reads and checks.
#include "app/DownloaderDlg.h"

#include <QApplication>
#include <QFileDialog>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

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
    const QPointer<QWidget> pFocusBefore = QApplication::focusWidget();
    const int result = dialog.exec();
    ReturnFocus(pFocusBefore);
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    OpenFirmwareFile(dialog.selectedFiles().front().toStdString(), ticket);
}

void CDownloaderDlg::OpenFirmwareFile(const std::string& path, const EngineTicket& ticket)
{
    m_strFirmwarePath = path;
    const auto slash = m_strFirmwarePath.rfind('/');
    const std::string directory =
        slash == std::string::npos ? m_strFirmwarePath : m_strFirmwarePath.substr(0, slash);
    // Remembered before the file is read, so the next dialog opens here even if it fails.
    m_ini.WriteString(SETTINGS_SECTION, KEY_LAST_DIRECTORY, directory.c_str());
    m_strLastDirectory = directory;

    m_engine.LoadImageFileFor(ticket, m_strFirmwarePath);
}

// A file dialog closed by Enter while its name suggestions show can leave no window active:
// the main window takes the focus back, on the control that had it when it is still usable.
void CDownloaderDlg::ReturnFocus(QWidget* pFocusBefore)
{
    activateWindow();
    raise();
    if (pFocusBefore != nullptr && pFocusBefore->window() == this && pFocusBefore->isEnabled()) {
        pFocusBefore->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (QApplication::focusWidget() == nullptr || QApplication::focusWidget()->window() != this)
        focusNextChild();
}

void CDownloaderDlg::OpenStartFileWhenIdentified()
{
    if (m_strStartFile.empty() || m_engine.Phase() != EnginePhase::Identified || !m_btnOpenFile->isEnabled())
        return;
    const std::string path = m_strStartFile;
    m_strStartFile.clear();
    OpenFirmwareFile(path, m_engine.Ticket());
}
