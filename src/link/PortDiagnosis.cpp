#include "link/PortDiagnosis.h"

#include <cerrno>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <vector>

namespace {
const char* const MODEM_MANAGER = "ModemManager";
constexpr std::size_t GROUP_BUFFER_BYTES = 16384;
constexpr mode_t GROUP_READ_WRITE = S_IRGRP | S_IWGRP;

// The group's name from the tree's etc/group, else from the system's group database, else
// its number.
std::string GroupName(gid_t gid, const SystemRoots& roots)
{
    std::ifstream file(roots.etc + "/group");
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string name, password, number;
        if (std::getline(fields, name, ':') && std::getline(fields, password, ':') &&
            std::getline(fields, number, ':') && number == std::to_string(gid))
            return name;
    }
    group entry{};
    group* pFound = nullptr;
    std::vector<char> buffer(GROUP_BUFFER_BYTES);
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &pFound) == 0 && pFound)
        return pFound->gr_name;
    return std::to_string(gid);
}

std::string ExplainPermission(const std::string& devicePath, const SystemRoots& roots)
{
    struct stat node{};
    const bool known = stat(roots.DevicePathInTree(devicePath).c_str(), &node) == 0;
    if (known && node.st_gid != 0 && (node.st_mode & GROUP_READ_WRITE) == GROUP_READ_WRITE) {
        const std::string group = GroupName(node.st_gid, roots);
        return "Your user may not use " + devicePath + " (group " + group +
               "). Run: sudo usermod -aG " + group +
               " $USER, then log out and in, or install the Tetherix udev rule.";
    }
    // No group may use the node (no udev rule gave it one): only the rule helps.
    return "Your user may not use " + devicePath +
           " and no group is given access to it. Install the Tetherix udev rule, then plug "
           "the cable in again.";
}

std::string JoinUsers(const std::vector<PortUser>& users)
{
    std::string text;
    for (std::size_t i = 0; i < users.size(); ++i) {
        if (i > 0)
            text += i + 1 == users.size() ? " and " : ", ";
        text += (users[i].name.empty() ? "a program" : users[i].name) + " (pid " +
                std::to_string(users[i].pid) + ")";
    }
    return text;
}
} // namespace

std::string ExplainPortInUse(const std::string& devicePath, const std::vector<PortUser>& users)
{
    if (users.empty())
        return {};
    std::size_t others = 0;
    bool modemManager = false;
    for (const PortUser& user : users) {
        if (user.name == MODEM_MANAGER)
            modemManager = true;
        else
            ++others;
    }
    std::string text = devicePath + " is in use by " + JoinUsers(users) + ".";
    if (modemManager)
        text += std::string(others == 0 ? " Stop it" : " Stop ModemManager") +
                " with: sudo systemctl stop ModemManager, or install the "
                "Tetherix udev rule, which tells ModemManager to leave the cable alone.";
    if (modemManager && others > 0)
        text += " Close the other programs and try again.";
    else if (others > 0)
        text += others == 1 ? " Close it and try again." : " Close them and try again.";
    return text;
}

std::string ExplainPortOpenFailure(const std::string& devicePath, int errorNumber,
                                   const SystemRoots& roots)
{
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return ExplainPermission(devicePath, roots);
    case EBUSY:
    case EWOULDBLOCK: {
        const std::string users = ExplainPortInUse(devicePath, FindPortUsers(devicePath, roots));
        return users.empty() ? devicePath + " is in use by another program. Close it and try again."
                             : users;
    }
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "The Tetherix was unplugged.";
    default:
        return "Opening " + devicePath + " failed: " +
               std::generic_category().message(errorNumber) + " (error " +
               std::to_string(errorNumber) + ").";
    }
}
