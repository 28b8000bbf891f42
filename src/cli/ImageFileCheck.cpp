#include "cli/ImageFileCheck.h"

#include "device/DeviceIdentity.h"
#include "device/FirmwareImage.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {
constexpr std::size_t READ_BLOCK_BYTES = 64 * 1024;

std::string SystemError(const std::string& path, int errorNumber)
{
    return path + ": " + std::strerror(errorNumber);
}

// The whole file, or why it could not be read.
bool ReadWhole(const std::string& path, std::string& content, std::string& error)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        error = SystemError(path, errno);
        return false;
    }
    std::string block(READ_BLOCK_BYTES, '\0');
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        content.append(block.data(), got);
        if (got < block.size())
            break;
    }
    if (std::ferror(file.get())) {
        error = SystemError(path, errno);
        return false;
    }
    return true;
}
} // namespace

std::string CheckImageFile(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return SystemError(path, errno);
    if (S_ISDIR(info.st_mode))
        return SystemError(path, EISDIR);
    // A pipe or a device would hold the program until it delivers, and could not be read twice.
    if (!S_ISREG(info.st_mode))
        return path + ": not a plain file";
    if (info.st_size > MAX_PROGRAMMING_FILE_BYTES)
        return path + ": too large to be a programming file (" + std::to_string(info.st_size) +
               " bytes)";
    std::string content;
    std::string error;
    if (!ReadWhole(path, content, error))
        return error;
    FirmwareImage image;
    image.m_lines = SplitImageLines(content);
    const ImageVerdict verdict = CheckImage(image, MODEL_KX410);
    if (!verdict.bAccepted)
        return path + ": " +
               (verdict.logLines.empty() ? std::string("not a programming file")
                                         : verdict.logLines.front());
    return {};
}
