#include "platform/LogFileWriter.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
// Follows the repeated opening lines at the head of a rotated file.
const std::string OPENING_REPEATED =
    "... the opening lines of this session, repeated from the older files; it goes on here ...\n";

long WriteToFile(int fd, const char* data, std::size_t count)
{
    return static_cast<long>(::write(fd, data, count));
}
} // namespace

CLogFileWriter::CLogFileWriter(std::string path, std::uintmax_t maxFileBytes,
                               std::size_t openingBytes)
    : CLogFileWriter(std::move(path), maxFileBytes, openingBytes, &WriteToFile)
{
}

CLogFileWriter::CLogFileWriter(std::string path, std::uintmax_t maxFileBytes,
                               std::size_t openingBytes, WriteFunction write)
    : m_strPath(std::move(path)), m_nMaxFileBytes(maxFileBytes), m_nOpeningBytes(openingBytes),
      m_write(std::move(write))
{
    {
        const std::scoped_lock lock(m_fileMutex, m_mutex);
        OpenFile();
    }
    m_writer = std::thread(&CLogFileWriter::WriterMain, this);
}

CLogFileWriter::~CLogFileWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_writer.join();
    Flush();
    const std::lock_guard fileLock(m_fileMutex);
    CloseFile();
}

void CLogFileWriter::SetFailureHandler(std::function<void(const std::string& why)> handler)
{
    {
        const std::lock_guard lock(m_handlerMutex);
        m_failureHandler = std::move(handler);
    }
    TellFailure();
}

// The writer's thread only notes the failure: the handler hears of it on a thread that appends
// entries (the program's own), so that no event crosses threads.
void CLogFileWriter::Fail(const std::string& why)
{
    const std::lock_guard lock(m_mutex);
    m_strError = why;
    m_bWriting = false;
    m_strBuffer.clear();
}

void CLogFileWriter::TellFailure()
{
    std::string why;
    {
        const std::lock_guard lock(m_mutex);
        if (m_bWriting)
            return;
        why = m_strError;
    }
    std::function<void(const std::string&)> handler;
    {
        const std::lock_guard lock(m_handlerMutex);
        if (why.empty() || !m_failureHandler || m_bFailureTold)
            return;
        m_bFailureTold = true;
        handler = m_failureHandler;
    }
    handler(why);
}

void CLogFileWriter::CloseFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void CLogFileWriter::Append(const std::string& lines)
{
    bool bWasEmpty = false;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_bOpeningComplete) {
            if (m_strOpening.size() + lines.size() <= m_nOpeningBytes)
                m_strOpening += lines;
            else
                m_bOpeningComplete = true;
        }
        if (m_bWriting) {
            bWasEmpty = m_strBuffer.empty();
            m_strBuffer += lines;
        }
    }
    if (bWasEmpty)
        m_wake.notify_one();
}

void CLogFileWriter::Flush()
{
    const std::lock_guard fileLock(m_fileMutex);
    std::string text;
    {
        const std::lock_guard lock(m_mutex);
        text.swap(m_strBuffer);
    }
    WriteLines(text);
}


bool CLogFileWriter::IsWriting() const
{
    const std::lock_guard lock(m_mutex);
    return m_bWriting;
}

std::string CLogFileWriter::LastError() const
{
    const std::lock_guard lock(m_mutex);
    return m_strError;
}

// Writes what has come, then rests for the interval: a burst of entries costs one write.
void CLogFileWriter::WriterMain()
{
    std::unique_lock lock(m_mutex);
    while (!m_bStop) {
        m_wake.wait(lock, [this] { return m_bStop || !m_strBuffer.empty(); });
        if (m_bStop)
            break;
        lock.unlock();
        Flush();
        lock.lock();
        m_wake.wait_for(lock, std::chrono::milliseconds(WRITE_INTERVAL_MS),
                        [this] { return m_bStop; });
    }
}

// Called with m_fileMutex held. Lines go out in as few writes as the rotation allows.
void CLogFileWriter::WriteLines(const std::string& text)
{
    std::size_t start = 0;
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t lineEnd = std::min(text.find('\n', end), text.size() - 1) + 1;
        const std::uintmax_t pending = end - start;
        const std::uintmax_t total = m_nFileBytes + pending + (lineEnd - end);
        if (total > m_nMaxFileBytes && m_nFileBytes + pending > 0) {
            WriteOut(text.substr(start, end - start));
            if (m_fd < 0)
                return;
            RotateFiles();
            start = end;
        }
        end = lineEnd;
    }
    if (end > start)
        WriteOut(text.substr(start, end - start));
}

// Called with m_fileMutex held. Whole lines or nothing: when the disk takes only part of the
// text, the file is cut back to the end of the last whole line it took.
void CLogFileWriter::WriteOut(const std::string& text)
{
    if (text.empty() || m_fd < 0)
        return;
    std::size_t done = 0;
    int error = 0;
    while (done < text.size()) {
        const long n = m_write(m_fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ++m_nWrites;
    if (done == text.size()) {
        m_nFileBytes += text.size();
        return;
    }
    const std::size_t whole = done == 0 ? 0 : text.rfind('\n', done - 1) + 1;
    struct stat facts {};
    if (done > whole && ::fstat(m_fd, &facts) == 0 &&
        static_cast<std::size_t>(facts.st_size) >= done - whole)
        (void)!::ftruncate(m_fd, facts.st_size - static_cast<off_t>(done - whole));
    CloseFile();
    Fail("cannot write " + m_strPath + ": " + std::strerror(error));
}

// Called with m_fileMutex held (and m_mutex, from the constructor only).
void CLogFileWriter::OpenFile()
{
    if (m_strPath.empty()) {
        m_strError = "there is no folder for it (neither HOME nor XDG_STATE_HOME is set)";
        return;
    }
    std::error_code error;
    fs::create_directories(fs::path(m_strPath).parent_path(), error);
    m_nFileBytes = fs::file_size(m_strPath, error);
    if (error)
        m_nFileBytes = 0;
    if (m_nFileBytes >= m_nMaxFileBytes)
        m_nFileBytes = m_nMaxFileBytes; // rotated before the first line
    m_fd = ::open(m_strPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    m_bWriting = m_fd >= 0;
    if (!m_bWriting)
        m_strError = "cannot open " + m_strPath + " for writing: " + std::strerror(errno);
}

// Called with m_fileMutex held. The new file begins with the session's opening lines when
// they are complete (a session still in its opening has them in the file before).
void CLogFileWriter::RotateFiles()
{
    CloseFile();
    std::error_code error;
    fs::remove(RotatedName(MAX_FILES - 1), error);
    for (int i = MAX_FILES - 2; i >= 0; --i)
        fs::rename(RotatedName(i), RotatedName(i + 1), error);
    m_nFileBytes = 0;
    m_fd = ::open(m_strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        Fail("cannot open " + m_strPath + " for writing: " + std::strerror(errno));
        return;
    }
    std::string opening;
    {
        const std::lock_guard lock(m_mutex);
        if (m_bOpeningComplete && !m_strOpening.empty())
            opening = m_strOpening + OPENING_REPEATED;
    }
    if (opening.size() < m_nMaxFileBytes)
        WriteOut(opening);
}

std::string CLogFileWriter::RotatedName(int index) const
{
    return index == 0 ? m_strPath : m_strPath + "." + std::to_string(index);
}
