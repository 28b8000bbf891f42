// The support log: what a session showed and did, appended to a file a user can send when an
// update fails. Every entry is one timestamped line: status lines, notices, link openings and
// closings with their errors, and a readable trace of the bytes exchanged with the unit. The
// file is rotated so that at most MAX_FILES files of MAX_FILE_BYTES each are kept ("log",
// "log.1", "log.2", oldest last). The current session is also kept in memory, so that it can
// be saved elsewhere even when the file cannot be written: its beginning and its newest part,
// at most SESSION_MEMORY_BYTES together, with a line that says how much was left out between
// them. Safe to call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>

class CSupportLog {
public:
    static constexpr std::uintmax_t MAX_FILE_BYTES = 5u * 1024u * 1024u;
    static constexpr int MAX_FILES = 3;
    // The most of a session kept in memory; never more than the rotated files hold either.
    static constexpr std::size_t SESSION_MEMORY_BYTES = 4u * 1024u * 1024u;

    enum class EDirection { ToUnit, FromUnit };

    // Appends to `path`, creating its folders; `maxFileBytes` is the size at which the file
    // is rotated. A file that cannot be opened leaves the log working in memory only.
    explicit CSupportLog(std::string path, std::uintmax_t maxFileBytes = MAX_FILE_BYTES);
    CSupportLog(const CSupportLog&) = delete;
    CSupportLog& operator=(const CSupportLog&) = delete;

    // $XDG_STATE_HOME/kestova/downloader.log (default ~/.local/state); empty without a home.
    static std::string DefaultPath();

    const std::string& Path() const { return m_strPath; }
    // True while entries reach the file; otherwise LastError() says why.
    bool IsWritingFile() const;
    std::string LastError() const;

    void Status(const std::string& text);
    void Notice(const std::string& text);
    // A fact for whoever reads the log that the user was not shown as it stands.
    void Note(const std::string& text);
    // `errorCode` 0 is success; otherwise the link's own error code, with `detail` in words.
    void LinkOpened(const std::string& link, unsigned long errorCode, const std::string& detail = {});
    void LinkClosed(const std::string& link, unsigned long errorCode, const std::string& detail = {});
    void Bytes(EDirection direction, const void* data, std::size_t count);

    // Every entry of this session, one line each, as written to the file.
    std::string SessionText() const;

    // Printable ASCII as it is ("\" doubled); CR, LF and TAB as \r, \n, \t; others as \xNN.
    static std::string Escape(const void* data, std::size_t count);

private:
    void Append(const char* kind, const std::string& text);
    void KeepInSession(const std::string& line);
    void OpenFile();
    void RotateFiles();
    std::string RotatedName(int index) const;

    const std::string m_strPath;
    const std::uintmax_t m_nMaxFileBytes;
    mutable std::mutex m_mutex;
    std::ofstream m_file;
    std::uintmax_t m_nFileBytes = 0;
    // The session in memory: its first entries, then its newest ones in blocks, oldest first.
    std::string m_strSessionHead;
    std::deque<std::string> m_sessionTail;
    std::size_t m_nTailBytes = 0;
    std::uintmax_t m_nLeftOutBytes = 0;
    std::string m_strError;
};
