#include "link/PortUsers.h"

#include "link/UsbSysfs.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
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
        users.push_back({pid, ReadFirstLine((it->path() / "comm").string())});
    }
    std::sort(users.begin(), users.end(),
              [](const PortUser& a, const PortUser& b) { return a.pid < b.pid; });
    return users;
}
