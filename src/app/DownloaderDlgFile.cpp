// Open Local File: choosing a programming file, reading its lines and validating them.
#include "app/DownloaderDlg.h"

#include <QFileDialog>
#include <QPushButton>

#include <sys/stat.h>

namespace {
constexpr long long MAX_PROGRAMMING_FILE_BYTES = 16LL * 1024 * 1024; // far above any real image
const char* FILE_FILTER = "Kestova Programming Files (*.fwr)";
const char* FILE_OPEN_ERROR = "File Error - Unable to open selected file, try again";
const char* FILE_TOO_LARGE =
    "File Error - The selected file is too large to be a programming file, please check "
    "programming file\n\nPress OK";

// The file's lines with their line ends removed, followed by one empty entry whether or not
// the file ends with a line break.
std::deque<std::string> SplitFileLines(const std::string& content)
{
    std::deque<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = content.find('\n', start);
        std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (!lines.back().empty())
        lines.emplace_back();
    return lines;
}
} // namespace

void CDownloaderDlg::OnOpenLocalFile()
{
    QFileDialog dialog(this, QString(), QString::fromStdString(m_strLastDirectory),
                       QString::fromLatin1(FILE_FILTER));
    dialog.setObjectName(QStringLiteral("FirmwareFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ReadOnly, true);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    if (m_firmwareFile.is_open())
        m_firmwareFile.close();
    m_strFirmwarePath = dialog.selectedFiles().front().toStdString();
    const auto slash = m_strFirmwarePath.rfind('/');
    const std::string directory =
        slash == std::string::npos ? m_strFirmwarePath : m_strFirmwarePath.substr(0, slash);
    // Remembered before the file is read, so the next dialog opens here even if it fails.
    m_ini.WriteString(SETTINGS_SECTION, KEY_LAST_DIRECTORY, directory.c_str());
    m_strLastDirectory = directory;

    struct stat info {};
    const bool bFound = stat(m_strFirmwarePath.c_str(), &info) == 0;
    if (bFound && S_ISREG(info.st_mode) && info.st_size > MAX_PROGRAMMING_FILE_BYTES) {
        m_btnSend->setEnabled(false);
        ShowNotice(FILE_TOO_LARGE);
        return;
    }
    // Only a plain file is read: a pipe or a device would hold the window until it delivers.
    if (bFound && S_ISREG(info.st_mode))
        m_firmwareFile.open(m_strFirmwarePath, std::ios::in | std::ios::binary);
    if (!m_firmwareFile.is_open()) {
        m_btnSend->setEnabled(false);
        ShowNotice(FILE_OPEN_ERROR);
        return;
    }
    ReadFirmwareFile();
    if (!ValidateImage())
        return;
    m_image.m_nTotalLines = static_cast<int>(m_image.m_lines.size());
    m_image.m_bFromWeb = false;
    m_btnSend->setEnabled(true);
    SendText("B");
}

void CDownloaderDlg::ReadFirmwareFile()
{
    std::string content;
    char block[64 * 1024];
    while (m_firmwareFile.read(block, sizeof block) || m_firmwareFile.gcount() > 0) {
        content.append(block, static_cast<size_t>(m_firmwareFile.gcount()));
        if (static_cast<long long>(content.size()) > MAX_PROGRAMMING_FILE_BYTES)
            break; // grew while being read: what was read is validated and rejected
    }
    m_firmwareFile.close();
    m_image.m_lines = SplitFileLines(content);
}
