// Appends whole lines to a log file from a thread of its own, at most every WRITE_INTERVAL_MS,
// so that whoever logs never waits for the disk; Flush writes at once. The file is rotated at
// a size limit, keeping MAX_FILES files ("log", "log.1", "log.2", oldest last), and each new
// file of a session begins with the session's opening lines, so that they are never rotated
// away while the session runs. A write that fails (a full disk) leaves whole lines in the file,
// never part of one, and ends the writing. Safe to call from any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CLogFileWriter {
public:
    static constexpr int WRITE_INTERVAL_MS = 100;
    static constexpr int MAX_FILES = 3;

    // Appends to `path`, creating its folders; a file that has reached `maxFileBytes` is
    // rotated first. The first `openingBytes` of what is appended (whole lines) are the
    // session's opening lines.
    CLogFileWriter(std::string path, std::uintmax_t maxFileBytes, std::size_t openingBytes);
    // How bytes reach the file: write(2), or a test's stand-in that fails as a disk does.
    using WriteFunction = std::function<long(int fd, const char* data, std::size_t count)>;
    CLogFileWriter(std::string path, std::uintmax_t maxFileBytes, std::size_t openingBytes,
                   WriteFunction write);
    // Writes what is still buffered.
    ~CLogFileWriter();
    CLogFileWriter(const CLogFileWriter&) = delete;
    CLogFileWriter& operator=(const CLogFileWriter&) = delete;

    // `lines`: whole lines, each ended by "\n".
    void Append(const std::string& lines);
    // Everything appended so far is in the file when this returns.
    void Flush();
    // Tells the handler, once, of a failure met since: called by the log's users outside their
    // own locks, so the handler runs on their thread, never on the writer's.
    void TellFailure();

    bool IsWriting() const;
    std::string LastError() const;
    // How many writes went to the file so far (one per burst of entries).
    std::uint64_t WriteCount() const { return m_nWrites.load(); }
    // Called once when the file cannot be written (at once when it could not be opened): why.
    // It runs on a thread that appends or flushes, never on the writer's own.
    void SetFailureHandler(std::function<void(const std::string& why)> handler);

private:
    void WriterMain();
    void WriteLines(const std::string& text);
    void WriteOut(const std::string& text);
    void OpenFile();
    void CloseFile();
    void Fail(const std::string& why);
    void RotateFiles();
    std::string RotatedName(int index) const;

    const std::string m_strPath;
    const std::uintmax_t m_nMaxFileBytes;
    const std::size_t m_nOpeningBytes;

    // Guards the buffer, the opening lines, the error and the stop request.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::string m_strBuffer;
    std::string m_strOpening;
    bool m_bOpeningComplete = false;
    bool m_bStop = false;
    bool m_bWriting = false;
    std::string m_strError;

    // Guards the file; taken before m_mutex, never after it, so writes keep their order.
    std::mutex m_fileMutex;
    int m_fd = -1;
    const WriteFunction m_write;
    std::uintmax_t m_nFileBytes = 0;
    std::atomic<std::uint64_t> m_nWrites{0};

    // Guards the failure handler; taken alone, never with the others.
    std::mutex m_handlerMutex;
    std::function<void(const std::string&)> m_failureHandler;
    bool m_bFailureTold = false;

    std::thread m_writer;
};
