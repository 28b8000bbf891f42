// The firmware image as the engine sees it: reading a programming file, checking the image,
// and the controls that follow the verdict.
#include "device/UpdateEngine.h"

#include "platform/SupportLog.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {
constexpr std::size_t READ_BLOCK_BYTES = 64 * 1024;
const char* const FILE_OPEN_ERROR = "File Error - Unable to open selected file, try again";
const char* const FILE_TOO_LARGE =
    "File Error - The selected file is too large to be a programming file, please check "
    "programming file\n\nPress OK";
// Stands in for the version while an image is checked: still there afterwards, the image
// named none.
const char* const NO_VERSION_MARK = "\x01";
} // namespace

bool CUpdateEngine::ValidateImage()
{
    const std::string earlierVersion = m_image.m_strVersion;
    m_image.m_strVersion = NO_VERSION_MARK;
    const ImageVerdict verdict = CheckImage(m_image, m_identity.m_strModel);
    m_bImageNamesVersion = m_image.m_strVersion != NO_VERSION_MARK;
    if (!m_bImageNamesVersion)
        m_image.m_strVersion = earlierVersion;
    for (const auto& line : verdict.logLines)
        Log(line);
    if (verdict.nControlByteLine > 0 && m_pSupportLog != nullptr)
        m_pSupportLog->Note("The image was refused: line " +
                            std::to_string(verdict.nControlByteLine) +
                            " holds a control byte in its data.");
    if (!verdict.bAccepted) {
        SetImageButtons(true, true, false);
        return false;
    }
    Enable(EngineControl::Send, true);
    m_image.m_nTotalLines = static_cast<int>(m_image.m_lines.size());
    return true;
}

bool CUpdateEngine::LoadImageFile(const std::string& path)
{
    struct stat info {};
    const bool bFound = stat(path.c_str(), &info) == 0;
    if (bFound && S_ISREG(info.st_mode) && info.st_size > MAX_PROGRAMMING_FILE_BYTES) {
        Enable(EngineControl::Send, false);
        ShowNotice(FILE_TOO_LARGE);
        return false;
    }
    // Only a plain file is read: a pipe or a device would hold the thread until it delivers.
    if (!bFound || !S_ISREG(info.st_mode) || !ReadFirmwareFile(path)) {
        Enable(EngineControl::Send, false);
        ShowNotice(FILE_OPEN_ERROR);
        return false;
    }
    if (!ValidateImage())
        return false;
    m_image.m_bFromWeb = false;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    m_strImageSource = ec ? path : absolute.lexically_normal().string();
    Enable(EngineControl::Send, true);
    SendText("B");
    return true;
}

bool CUpdateEngine::LoadImageFileFor(const EngineTicket& ticket, const std::string& path)
{
    if (!TicketHolds(ticket) || m_state != EngineState::Identified) {
        LogUnusedImage("file chosen", ticket.unit, DropReason(ticket));
        return false;
    }
    return LoadImageFile(path);
}

bool CUpdateEngine::ReadFirmwareFile(const std::string& path)
{
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open())
        return false;
    std::string content;
    std::string block(READ_BLOCK_BYTES, '\0');
    while (file.read(block.data(), static_cast<std::streamsize>(block.size())) ||
           file.gcount() > 0) {
        content.append(block.data(), static_cast<size_t>(file.gcount()));
        if (static_cast<long long>(content.size()) > MAX_PROGRAMMING_FILE_BYTES)
            break; // grew while being read: what was read is validated and rejected
    }
    m_image.m_lines = SplitImageLines(content);
    return true;
}
