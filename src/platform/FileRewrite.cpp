#include "platform/FileRewrite.h"

#include "platform/UserDirs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* TEMP_SUFFIX = ".tmpXXXXXX";
constexpr const char* BACKUP_SUFFIX = ".bak";
constexpr const char* STATE_FOLDER = "/kestova/";
constexpr int MAX_LINK_HOPS = 40; // as many as the kernel follows
constexpr mode_t MODE_BITS = 07777;
constexpr mode_t DEFAULT_NEW_MODE = 0644;
constexpr size_t COPY_CHUNK_BYTES = 64 * 1024;

enum class EOutcome { Written, Failed, Unsafe };

// The file that `path` names at the end of its symbolic links (also when that file is missing).
std::string FinalTarget(const std::string& path, bool* pbLink)
{
    fs::path target = path;
    std::error_code ec;
    *pbLink = false;
    for (int hop = 0; hop < MAX_LINK_HOPS && fs::is_symlink(target, ec); ++hop) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec)
            break;
        target = (next.is_absolute() ? next : target.parent_path() / next).lexically_normal();
        *pbLink = true;
    }
    return target.string();
}

// What a newly created file gets: read and write for all, less this process's umask.
mode_t NewFileMode()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return DEFAULT_NEW_MODE;
}

// Gives the new file the old one's mode and owner (or a new file's mode).
bool TakeOverNature(int fd, const struct stat* pOld)
{
    if (fchmod(fd, pOld ? pOld->st_mode & MODE_BITS : NewFileMode()) != 0)
        return false;
    if (pOld && (pOld->st_uid != geteuid() || pOld->st_gid != getegid()))
        return fchown(fd, pOld->st_uid, pOld->st_gid) == 0;
    return true;
}

bool ProduceInto(int fd, std::istream& old, const FileContentProducer& produce)
{
    std::FILE* out = fdopen(fd, "wb");
    if (!out) {
        close(fd);
        return false;
    }
    const bool bWritten = produce(old, out) && std::fflush(out) == 0 && fsync(fd) == 0;
    return std::fclose(out) == 0 && bWritten;
}

EOutcome ReplaceAtomically(const std::string& target, const struct stat* pOld,
                           const FileContentProducer& produce)
{
    std::string temp = target + TEMP_SUFFIX;
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return pOld ? EOutcome::Unsafe : EOutcome::Failed;
    if (!TakeOverNature(fd, pOld)) {
        close(fd);
        unlink(temp.c_str());
        return pOld ? EOutcome::Unsafe : EOutcome::Failed;
    }
    std::ifstream old;
    if (pOld)
        old.open(target, std::ios::binary);
    const bool bOldReadable = !pOld || old.is_open();
    if (!bOldReadable || !ProduceInto(fd, old, produce) ||
        std::rename(temp.c_str(), target.c_str()) != 0) {
        if (!bOldReadable)
            close(fd);
        unlink(temp.c_str());
        return EOutcome::Failed;
    }
    return EOutcome::Written;
}

bool CopyInto(const std::string& from, int fd)
{
    std::ifstream in(from, std::ios::binary);
    std::string chunk(COPY_CHUNK_BYTES, '\0');
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got > 0 && write(fd, chunk.data(), got) != static_cast<ssize_t>(got))
            return false;
    }
    return in.eof() && fsync(fd) == 0;
}

// A copy of the file beside it, else in the user's state folder; empty when neither can hold it.
std::string MakeBackup(const std::string& target)
{
    const std::string name = fs::path(target).filename().string() + BACKUP_SUFFIX;
    const std::string stateHome = XdgStateHome();
    for (const std::string& backup :
         {target + BACKUP_SUFFIX, stateHome.empty() ? std::string() : stateHome + STATE_FOLDER + name}) {
        if (backup.empty())
            continue;
        std::error_code ec;
        fs::create_directories(fs::path(backup).parent_path(), ec);
        fs::remove(backup, ec);
        const int fd = open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            continue;
        const bool bCopied = CopyInto(target, fd);
        close(fd);
        if (bCopied)
            return backup;
        fs::remove(backup, ec);
    }
    return {};
}

bool WriteInPlace(const std::string& target, const FileContentProducer& produce)
{
    const std::string backup = MakeBackup(target);
    if (backup.empty())
        return false;
    std::ifstream old(backup, std::ios::binary);
    const int fd = old ? open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC) : -1;
    bool bWritten = fd >= 0 && ProduceInto(fd, old, produce);
    if (!bWritten && fd >= 0) {
        // Put the old content back; should that fail too, the copy stays for the user.
        const int restore = open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        const bool bRestored = restore >= 0 && CopyInto(backup, restore);
        if (restore >= 0)
            close(restore);
        if (!bRestored)
            return false;
    }
    std::error_code ec;
    fs::remove(backup, ec);
    return bWritten;
}

} // namespace

bool RewriteFile(const std::string& path, const FileContentProducer& produce)
{
    bool bLink = false;
    const std::string target = FinalTarget(path, &bLink);
    struct stat info {};
    if (stat(target.c_str(), &info) != 0)
        return errno == ENOENT && ReplaceAtomically(target, nullptr, produce) == EOutcome::Written;
    // A file this process may not write stays as it is, whatever its folder allows.
    if (!S_ISREG(info.st_mode) || access(target.c_str(), W_OK) != 0)
        return false;
    if (!bLink && info.st_nlink == 1) {
        const EOutcome outcome = ReplaceAtomically(target, &info, produce);
        if (outcome != EOutcome::Unsafe)
            return outcome == EOutcome::Written;
    }
    return WriteInPlace(target, produce);
}
