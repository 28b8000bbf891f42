// The support log: what a session showed and did, appended to a file a user can send when an
// update fails. Every entry is one timestamped line: status lines, notices, link openings and
// closings with their errors and notes, and a readable trace of the bytes exchanged with the
// unit, each named by its link, in which each data line of an update is one entry with the
// unit's reply, and the keep-alive of a waiting unit is a count a minute. Entries reach
// the file from a buffer at most every CLogFileWriter::WRITE_INTERVAL_MS, and at once after a
// notice or a link error. The file is rotated so that at most MAX_FILES files of MAX_FILE_BYTES
// each are kept, and every new file of a session begins with the session's opening lines. The
// current session is also kept in memory, so that it can be saved elsewhere even when the file
// cannot be written: its beginning and its newest part, at most SESSION_MEMORY_BYTES together,
// with a line that says how much was left out between them. Safe to call from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class CLogFileWriter;

class CSupportLog {
public:
    static constexpr std::uintmax_t MAX_FILE_BYTES = 5u * 1024u * 1024u;
    static constexpr int MAX_FILES = 3;
    // The most of a session kept in memory (about 12,000 entries); never more than the rotated
    // files hold either, which keep the rest. A bench that updates all day stays at this.
    static constexpr std::size_t SESSION_MEMORY_BYTES = 1024u * 1024u;
    // The session's opening lines (version, ports, identification) repeated at the head of
    // each new file; at most a quarter of a file.
    static constexpr std::size_t OPENING_BYTES = 16u * 1024u;

    // The keep-alive of one link is counted for at most this long before its count is logged.
    static constexpr std::chrono::seconds KEEP_ALIVE_PERIOD_S{60};

    enum class EDirection { ToUnit, FromUnit };
    using Clock = std::chrono::system_clock;
    // How bytes reach the file (write(2)); a test's stand-in fails as a full disk does.
    using WriteFunction = std::function<long(int fd, const char* data, std::size_t count)>;

    // Appends to `path`, creating its folders; `maxFileBytes` is the size at which the file
    // is rotated. A file that cannot be opened leaves the log working in memory only.
    explicit CSupportLog(std::string path, std::uintmax_t maxFileBytes = MAX_FILE_BYTES,
                         WriteFunction write = {});
    // Writes every entry still buffered.
    ~CSupportLog();
    CSupportLog(const CSupportLog&) = delete;
    CSupportLog& operator=(const CSupportLog&) = delete;

    // $XDG_STATE_HOME/kestova/downloader.log (default ~/.local/state); empty without a home.
    static std::string DefaultPath();

    const std::string& Path() const { return m_strPath; }
    // True while entries reach the file; otherwise LastError() says why.
    bool IsWritingFile() const;
    std::string LastError() const;
    // How many writes went to the file so far, for the benchmark.
    std::uint64_t FileWriteCount() const;
    // Called once, from whichever thread finds it, when the file cannot be written, with why;
    // at once when that is already known. It must not log. Set none before the handler's
    // owner goes.
    void SetFailureHandler(std::function<void(const std::string& why)> handler);
    // Where the timestamps and the keep-alive's minutes come from (tests give their own).
    void SetClock(std::function<Clock::time_point()> now);

    // A status line, of the link named when a session has several; the one that shows a data
    // line just traced is left out (the trace has it).
    void Status(const std::string& text, const std::string& link = {});
    void Notice(const std::string& text);
    // A fact for whoever reads the log that the user was not shown as it stands.
    void Note(const std::string& text);
    // `errorCode` 0 is success; otherwise the link's own error code, with `detail` in words.
    void LinkOpened(const std::string& link, unsigned long errorCode, const std::string& detail = {});
    void LinkClosed(const std::string& link, unsigned long errorCode, const std::string& detail = {});
    // How an open link was set up ("latency timer set to 2 ms").
    void LinkNote(const std::string& link, const std::string& note);
    // Bytes exchanged with the unit over `link`: bytes from the unit after a data line of the
    // same link are that line's reply.
    void Bytes(EDirection direction, const void* data, std::size_t count, const std::string& link);
    // The keep-alive of a waiting unit over `link`: its first exchange, and any change of what
    // is exchanged, is an entry; otherwise it is counted, and the count logged every
    // KEEP_ALIVE_PERIOD_S and before the link's next other entry.
    void KeepAlive(EDirection direction, const void* data, std::size_t count,
                   const std::string& link);
    // A data line of an update sent to the unit over `link` (with its line end): one entry,
    // "line <link>: <text> "<reply>"", written when the same link logs anything else (its next
    // line, its close); entries of the session or of other links may come before it meanwhile.
    void DataLine(const std::string& line, const std::string& link);
    // The unit's reply to the data line in flight over `link` is whole: its entry is written.
    void LineAnswered(const std::string& link);
    // Every entry made so far is in the file when this returns, with each line in flight and
    // as much of its reply as has come (at the program's end, or to save a copy).
    void Flush();

    // Every entry of this session, one line each, as written to the file (a keep-alive's count
    // once Flush has written it).
    std::string SessionText() const;

    // Printable ASCII as it is ("\" doubled); CR, LF and TAB as \r, \n, \t; others as \xNN.
    static std::string Escape(const void* data, std::size_t count);

private:
    struct PendingLine {
        std::string strTimestamp;
        std::string strLine;
        std::string strReply;
        bool bStatusSeen = false;
    };
    // What one link's keep-alive exchanges, and how much of it since the count was last logged.
    struct KeepAliveCount {
        std::string strSent;
        std::string strReceived;
        std::uint64_t nSent = 0;
        std::uint64_t nReceivedBytes = 0;
        Clock::time_point since;
    };

    // Writes the entries made so far, leaving each link's line in flight to wait for its reply.
    void FlushEntriesMade();
    std::string Timestamp() const;
    // An entry of the session (`link` empty) or of one link.
    void Append(const char* kind, const std::string& text, const std::string& link = {});
    void AppendLocked(const std::string& line);
    // Writes what a link (all links, for "") holds back: its data line, its keep-alive count.
    void WriteHeldLocked(const std::string& link, bool bEndKeepAlive);
    void WritePendingLocked(const std::string& link);
    std::string PendingEntry(const std::string& link, const PendingLine& pending) const;
    std::string KeepAliveEntry(const std::string& link, const KeepAliveCount& count) const;
    void KeepInSession(const std::string& line);

    const std::string m_strPath;
    const std::uintmax_t m_nMaxFileBytes;
    std::unique_ptr<CLogFileWriter> m_pWriter;
    mutable std::mutex m_mutex;
    std::function<Clock::time_point()> m_now;
    // Each link's data line waiting for its reply.
    std::map<std::string, PendingLine> m_pending;
    std::map<std::string, KeepAliveCount> m_keepAlive;
    // The session in memory: its first entries, then its newest ones, each in blocks that are
    // filled and never grown, oldest first.
    std::deque<std::string> m_sessionHead;
    std::size_t m_nHeadBytes = 0;
    std::deque<std::string> m_sessionTail;
    std::size_t m_nTailBytes = 0;
    std::uintmax_t m_nLeftOutBytes = 0;
};
