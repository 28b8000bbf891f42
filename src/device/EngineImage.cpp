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
} // namespace

bool CUpdateEngine::ValidateImage()
{
    const ImageVerdict verdict = CheckImage(m_image, Identity().m_strModel);
    for (const auto& line : verdict.logLines)
        Log(line);
    if (CSupportLog* pLog = m_session.SupportLog(); verdict.nControlByteLine > 0 && pLog != nullptr)
        pLog->Note("The image was refused: line " + std::to_string(verdict.nControlByteLine) +
                   " holds a control byte in its data.");
    if (!verdict.bAccepted) {
        SetImageReady(false);
        std::string why;
        for (const auto& line : verdict.logLines)
            why += (why.empty() ? "" : " ") + line;
        m_events.OnImageRefused(ImageRefusal::NotSuitable, why);
        return false;
    }
    m_image.m_nTotalLines = static_cast<int>(m_image.m_lines.size());
    return true;
}

bool CUpdateEngine::LoadImageFile(const std::string& path)
{
    struct stat info {};
    const bool bFound = stat(path.c_str(), &info) == 0;
    if (bFound && S_ISREG(info.st_mode) && info.st_size > MAX_PROGRAMMING_FILE_BYTES) {
        RefuseFile(ImageRefusal::TooLarge, FILE_TOO_LARGE);
        return false;
    }
    // Only a plain file is read: a pipe or a device would hold the thread until it delivers.
    if (!bFound || !S_ISREG(info.st_mode) || !ReadFirmwareFile(path)) {
        RefuseFile(ImageRefusal::Unreadable, FILE_OPEN_ERROR);
        return false;
    }
    if (!ValidateImage())
        return false;
    m_image.m_bFromWeb = false;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    m_strImageSource = ec ? path : absolute.lexically_normal().string();
    SendText("B");
    AcceptImage();
    return true;
}

void CUpdateEngine::RefuseFile(ImageRefusal why, const std::string& notice)
{
    SetImageReady(false);
    ShowNotice(NoticeKind::FileUnusable, notice);
    m_events.OnImageRefused(why, notice);
}

void CUpdateEngine::AcceptImage()
{
    m_bImageReady = true;
    Publish();
    m_events.OnImageReady(Snapshot().image);
}

bool CUpdateEngine::LoadImageFileFor(const EngineTicket& ticket, const std::string& path)
{
    if (!TicketHolds(ticket) || State() != EngineState::Identified) {
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
