// The downloader's settings file: remembers its path, reads a value of any length, writes a
// value, and tells whether a key is present.
#pragma once

#include <functional>
#include <memory>
#include <string>

class CIniFile {
public:
    CIniFile() = default;
    virtual ~CIniFile() = default;

    // With a path: keep a copy of it. With none: an existing path becomes empty.
    void SetPath(const char* path);
    const char* Path() const { return m_pszPath ? m_pszPath.get() : nullptr; }

    // The value, read completely; the default (or empty) when section or key is missing.
    std::string GetString(const char* section, const char* key,
                          const char* defaultValue = nullptr) const;
    // Writes key=value (a missing value writes the empty string); false when section or key
    // is missing, the value holds a line break, or the file cannot be written.
    bool WriteString(const char* section, const char* key, const char* value);
    // True when the key is present in the section, even with an empty value.
    bool KeyExists(const char* section, const char* key) const;
    // Called with the file's path each time a write of the file itself fails.
    void SetWriteFailedHandler(std::function<void(const std::string&)> handler)
    {
        m_onWriteFailed = std::move(handler);
    }

    // The sentinel default that no real setting holds.
    static constexpr const char* ABSENT_SENTINEL = "{63788286-AE30-4D6B-95DF-3B451C1C79F9}";

private:
    std::unique_ptr<char[]> m_pszPath;
    std::function<void(const std::string&)> m_onWriteFailed;
};
