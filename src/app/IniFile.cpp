#include "app/IniFile.h"

#include "platform/PrivateProfile.h"

#include <cstring>

namespace {
constexpr size_t READ_STEP_CHARS = 512; // room added for each further read of a long value

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

std::unique_ptr<char[]> CIniFile::ReadValue(const char* section, const char* key,
                                            const char* defaultValue) const
{
    if (!section || !key)
        return CopyText(defaultValue);
    const char* def = defaultValue ? defaultValue : "";
    const char* file = Path() ? Path() : "";
    size_t capacity = READ_STEP_CHARS;
    // A value that fills the buffer may have been cut: read again with more room until it fits.
    for (;;) {
        auto buffer = std::make_unique<char[]>(capacity + 1);
        const size_t count = GetPrivateProfileString(section, key, def, buffer.get(), capacity, file);
        if (count + 1 < capacity)
            return buffer;
        capacity += READ_STEP_CHARS;
    }
}

std::string CIniFile::GetString(const char* section, const char* key,
                                const char* defaultValue) const
{
    return std::string(ReadValue(section, key, defaultValue).get());
}

bool CIniFile::WriteString(const char* section, const char* key, const char* value)
{
    if (!section || !key)
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
