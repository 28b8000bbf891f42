#include "platform/UpdateHistory.h"

#include "platform/UserDirs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {
constexpr mode_t HISTORY_FILE_MODE = 0600;
constexpr mode_t HISTORY_DIR_MODE = 0700;

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
    std::ifstream file(m_strPath, std::ios::binary);
    if (!file) {
        if (errno == ENOENT)
            return true;
        error = ErrnoText(errno);
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return true;
}
