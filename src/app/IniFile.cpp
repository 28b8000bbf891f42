#include "app/IniFile.h"

#include "platform/PrivateProfile.h"
#include "platform/ProfileText.h"

#include <cstring>

namespace {
std::unique_ptr<char[]> CopyText(const char* text)
{
    const size_t length = text ? std::strlen(text) : 0;
    auto copy = std::make_unique<char[]>(length + 1);
    if (length)
        std::memcpy(copy.get(), text, length);
    copy[length] = '\0';
    return copy;
}
} // namespace

void CIniFile::SetPath(const char* path)
{
    if (path)
        m_pszPath = CopyText(path);
    else if (m_pszPath)
        m_pszPath[0] = '\0';
}

std::string CIniFile::GetString(const char* section, const char* key,
                                const char* defaultValue) const
{
    const auto value = ReadPrivateProfileValue(section, key, Path() ? Path() : "");
    // Text stops at a NUL byte, as it does for every other string the program keeps.
    return value ? std::string(value->c_str()) : std::string(defaultValue ? defaultValue : "");
}

bool CIniFile::WriteString(const char* section, const char* key, const char* value)
{
    if (!section || !key)
        return false;
    // A value is one line: one with a line break is refused, as it would add a key of its own.
    // The file itself is fine, so this is no failure to write it.
    if (value && !IsProfileValue(value))
        return false;
    const char* path = Path() ? Path() : "";
    const bool bWritten = WritePrivateProfileString(section, key, value ? value : "", path) != 0;
    if (!bWritten && m_onWriteFailed)
        m_onWriteFailed(path);
    return bWritten;
}

bool CIniFile::KeyExists(const char* section, const char* key) const
{
    if (!section || !key)
        return false;
    return GetString(section, key, ABSENT_SENTINEL) != ABSENT_SENTINEL;
}
