#include "link/PortUsers.h"

#include "link/UsbSysfs.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
const char* const LOCK_FILE_PREFIX = "LCK..";
constexpr std::size_t LOCK_FILE_MAX_BYTES = 32; // a pid in text, padded to 10 digits

bool IsPidName(const std::string& name)
{
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The node a device path stands for, so that a port opened through a link
// ("/dev/serial/by-id/usb-FTDI...") is matched by the node the kernel reports ("/dev/ttyUSB0").
std::string NodePath(const std::string& devicePath, const SystemRoots& roots)
{
    std::error_code ec;
    const fs::path inTree = roots.DevicePathInTree(devicePath);
    if (!fs::is_symlink(inTree, ec))
        return devicePath;
    const fs::path target = fs::read_symlink(inTree, ec);
    if (ec)
        return devicePath;
    const fs::path resolved = target.is_absolute()
                                  ? target
                                  : (fs::path(devicePath).parent_path() / target).lexically_normal();
    return resolved.string();
}

// The process a UUCP lock file names: its pid in text ("      1234\n"), or as a binary number
// from older programs; 0 when the file is absent or names none.
pid_t LockFilePid(const fs::path& lockFile)
{
    std::ifstream in(lockFile, std::ios::binary);
    char bytes[LOCK_FILE_MAX_BYTES] = {};
    in.read(bytes, sizeof bytes);
    const auto size = static_cast<std::size_t>(in.gcount());
    const std::string text(bytes, size);
    const auto first = text.find_first_not_of(" \t");
    if (first != std::string::npos && std::isdigit(static_cast<unsigned char>(text[first])))
        return static_cast<pid_t>(std::strtol(text.c_str() + first, nullptr, 10));
    int32_t binary = 0;
    if (size != sizeof binary)
        return 0;
    std::memcpy(&binary, bytes, sizeof binary);
    return binary;
}

// The live processes that hold the node's lock files, other than this one.
std::vector<pid_t> LockHolders(const std::string& nodePath, const SystemRoots& roots)
{
    const std::string lockName = LOCK_FILE_PREFIX + fs::path(nodePath).filename().string();
    std::vector<pid_t> pids;
    for (const std::string& folder : {roots.run + "/lock", roots.var + "/lock"}) {
        const pid_t pid = LockFilePid(fs::path(folder) / lockName);
        std::error_code ec;
        if (pid > 0 && pid != getpid() && fs::exists(fs::path(roots.proc) / std::to_string(pid), ec) &&
            std::find(pids.begin(), pids.end(), pid) == pids.end())
            pids.push_back(pid);
    }
    return pids;
}

// A process's name for a person: its executable's file name (the kernel's `comm` is cut to 15
// characters), else the first word of its command line (readable for every user's process,
// unlike the executable's link), else `comm`.
std::string ProcessName(const fs::path& processDir)
{
    std::error_code ec;
    std::string exe = fs::read_symlink(processDir / "exe", ec).filename().string();
    const std::string deleted = " (deleted)";
    if (!ec && exe.size() > deleted.size() &&
        exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
        exe.resize(exe.size() - deleted.size());
    if (!ec && !exe.empty())
        return exe;
    std::ifstream cmdline(processDir / "cmdline", std::ios::binary);
    std::string first;
    std::getline(cmdline, first, '\0');
    const std::string argv0 = fs::path(first).filename().string();
    if (!argv0.empty())
        return argv0;
    return ReadFirstLine((processDir / "comm").string());
}

bool HasOpen(const fs::path& processDir, const std::string& nodePath)
{
    std::error_code ec;
    for (fs::directory_iterator it(processDir / "fd", ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        std::error_code linkEc;
        if (fs::read_symlink(it->path(), linkEc).string() == nodePath && !linkEc)
            return true;
    }
    return false;
}
} // namespace

std::vector<PortUser> FindPortUsers(const std::string& devicePath, const SystemRoots& roots)
{
    const std::string nodePath = NodePath(devicePath, roots);
    const pid_t ownPid = getpid();
    std::vector<PortUser> users;
    std::error_code ec;
    for (fs::directory_iterator it(roots.proc, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsPidName(name))
            continue;
        const pid_t pid = static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10));
        if (pid == ownPid || !HasOpen(it->path(), nodePath))
            continue;
        users.push_back({pid, ProcessName(it->path())});
    }
    // The name of a process is readable by every user, even when its open files are not.
    for (const pid_t pid : LockHolders(nodePath, roots)) {
        if (std::none_of(users.begin(), users.end(), [pid](const PortUser& u) { return u.pid == pid; }))
            users.push_back({pid, ProcessName(fs::path(roots.proc) / std::to_string(pid))});
    }
    std::sort(users.begin(), users.end(),
              [](const PortUser& a, const PortUser& b) { return a.pid < b.pid; });
    return users;
}
