#include "platform/UpdateHistory.h"

#include "platform/UserDirs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {
constexpr mode_t HISTORY_FILE_MODE = 0600;
constexpr mode_t HISTORY_DIR_MODE = 0700;
// The newest part of a history larger than this is read: years of updates fit many times over,
// and no length read from the disk decides how much memory is taken.
constexpr off_t MAX_READ_BYTES = 16 * 1024 * 1024;
constexpr std::size_t READ_BLOCK_BYTES = 64 * 1024;

std::string ErrnoText(int code)
{
    return std::strerror(code);
}

// True when the file ends in the middle of a line (a record cut short by a crash of an older
// program): the next record then starts on a line of its own.
bool EndsWithoutLineEnd(int fd)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size == 0)
        return false;
    char last = '\n';
    return pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n';
}
// The file's last MAX_READ_BYTES at most, from the start of a line; a missing file is empty.
// Read with plain calls, whose failures (a folder in the file's place, an I/O error halfway)
// come back as errno: never as an exception out of a stream buffer.
bool ReadNewestPart(const std::string& path, std::string& text, std::string& error)
{
    // Not blocking: a pipe put in the file's place must not hold the reader.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        error = ErrnoText(errno);
        return false;
    }
    struct stat info {};
    const bool bStat = fstat(fd, &info) == 0;
    if (!bStat || !S_ISREG(info.st_mode)) {
        error = !bStat ? ErrnoText(errno) : S_ISDIR(info.st_mode) ? ErrnoText(EISDIR) : "not a plain file";
        close(fd);
        return false;
    }
    off_t offset = info.st_size > MAX_READ_BYTES ? info.st_size - MAX_READ_BYTES : 0;
    const bool bTail = offset > 0;
    std::string block(READ_BLOCK_BYTES, '\0');
    for (;;) {
        const ssize_t got = pread(fd, block.data(), block.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = ErrnoText(errno);
            close(fd);
            return false;
        }
        if (got == 0 || static_cast<off_t>(text.size()) >= MAX_READ_BYTES)
            break;
        text.append(block.data(), static_cast<std::size_t>(got));
        offset += got;
    }
    close(fd);
    // Read from the middle of a line: that line is not whole.
    if (bTail)
        text.erase(0, text.find('\n') == std::string::npos ? text.size() : text.find('\n') + 1);
    return true;
}
} // namespace

CUpdateHistory::CUpdateHistory(std::string path) : m_strPath(std::move(path)) {}

std::string CUpdateHistory::DefaultPath()
{
    const std::string base = XdgStateHome();
    return base.empty() ? std::string() : base + "/kestova/history.jsonl";
}

bool CUpdateHistory::Fail(const std::string& why)
{
    m_strLastError = why;
    if (!m_bFailureSaid && m_fnUnwritable) {
        m_bFailureSaid = true;
        const std::string where = m_strPath.empty() ? std::string() : " " + m_strPath;
        m_fnUnwritable("The update history" + where + " cannot be written (" + why +
                       "); updates are not recorded in it.");
    }
    return false;
}

bool CUpdateHistory::Append(const std::string& line)
{
    if (m_strPath.empty())
        return Fail("no user folder ($HOME) is known");
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(m_strPath).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec)
            return Fail(ec.message());
        chmod(folder.c_str(), HISTORY_DIR_MODE);
    }
    const int fd = open(m_strPath.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, HISTORY_FILE_MODE);
    if (fd < 0)
        return Fail(ErrnoText(errno));
    const std::string whole = (EndsWithoutLineEnd(fd) ? "\n" : "") + line + "\n";
    const ssize_t written = write(fd, whole.data(), whole.size());
    const int writeError = errno;
    const bool bOk = written == static_cast<ssize_t>(whole.size());
    if (!bOk && written > 0) {
        // Part of the line went out (the disk filled): it is taken back, if nothing followed.
        const off_t end = lseek(fd, 0, SEEK_END);
        if (end >= written)
            (void)!ftruncate(fd, end - written); // nothing more can be done when it fails
    }
    close(fd);
    if (!bOk)
        return Fail(written < 0 ? ErrnoText(writeError) : std::string("the disk is full"));
    m_strLastError.clear();
    return true;
}

bool CUpdateHistory::ReadLines(std::vector<std::string>& lines, std::string& error) const
{
    lines.clear();
    error.clear();
    if (m_strPath.empty()) {
        error = "no user folder ($HOME) is known";
        return false;
    }
    std::string text;
    if (!ReadNewestPart(m_strPath, text, error))
        return false;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return true;
}
