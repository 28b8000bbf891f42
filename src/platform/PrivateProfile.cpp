#include "platform/PrivateProfile.h"

#include "platform/FileRewrite.h"
#include "platform/ProfileText.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>

namespace {

// The file's content, read a line at a time; nothing for a file that cannot be read or that
// is not a plain file (a folder in its place, a pipe).
bool OpenProfile(const char* filePath, std::ifstream& in)
{
    struct stat info {};
    if (stat(filePath, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    in.open(filePath, std::ios::binary);
    return in.is_open();
}

} // namespace

std::optional<std::string> ReadPrivateProfileValue(const char* section, const char* key,
                                                   const char* filePath)
{
    if (!section || !key || !filePath)
        return std::nullopt;
    std::ifstream in;
    if (!OpenProfile(filePath, in))
        return std::nullopt;
    return ScanProfile(in, section, key, true).value;
}

int WritePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* filePath)
{
    if (!section || !key || !filePath || !*filePath)
        return 0;
    const char* text = value ? value : "";
    // A line break would start a line, and so a key, of its own.
    if (!IsProfileSection(section) || !IsProfileKey(key) || !IsProfileValue(text))
        return 0;
    // The same value again changes nothing: the file is left as it is, however large.
    if (ReadPrivateProfileValue(section, key, filePath) == text)
        return 1;
    const std::string entry = std::string(key) + "=" + text;
    const bool bWritten = RewriteFile(filePath, [&](std::istream& old, std::FILE* out) {
        // Found in the content being copied, so that the place matches it line for line.
        const ProfilePlace place = ScanProfile(old, section, key, false);
        old.clear();
        old.seekg(0);
        return CopyProfileWithEntry(old, out, place, section, entry);
    });
    return bWritten ? 1 : 0;
}
