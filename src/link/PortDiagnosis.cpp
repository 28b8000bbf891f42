#include "link/PortDiagnosis.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {
const char* const MODEM_MANAGER = "ModemManager";
constexpr std::size_t GROUP_BUFFER_BYTES = 16384;
constexpr mode_t GROUP_READ_WRITE = S_IRGRP | S_IWGRP;

// The group's entry "name:password:gid:members" from the tree's etc/group, split at ':'.
std::vector<std::string> GroupEntry(gid_t gid, const SystemRoots& roots)
{
    std::ifstream file(roots.etc + "/group");
    std::string line;
    while (std::getline(file, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, ':');)
            fields.push_back(field);
        if (fields.size() >= 3 && fields[2] == std::to_string(gid))
            return fields;
    }
    return {};
}

// The group's name from the tree's etc/group, else from the system's group database, else
// its number.
std::string GroupName(gid_t gid, const SystemRoots& roots)
{
    const std::vector<std::string> entry = GroupEntry(gid, roots);
    if (!entry.empty())
        return entry[0];
    group found{};
    group* pFound = nullptr;
    std::vector<char> buffer(GROUP_BUFFER_BYTES);
    if (getgrgid_r(gid, &found, buffer.data(), buffer.size(), &pFound) == 0 && pFound)
        return pFound->gr_name;
    return std::to_string(gid);
}

// True when the group database lists the user as a member of the group.
bool IsListedMember(const std::string& userName, gid_t gid, const SystemRoots& roots)
{
    const std::vector<std::string> entry = GroupEntry(gid, roots);
    std::istringstream members(entry.size() >= 4 ? entry[3] : std::string());
    for (std::string member; std::getline(members, member, ',');) {
        if (!userName.empty() && member == userName)
            return true;
    }
    return false;
}

std::string ExplainPermission(const std::string& devicePath, const SystemRoots& roots,
                              const LoginIdentity& login)
{
    struct stat node{};
    const bool known = stat(roots.DevicePathInTree(devicePath).c_str(), &node) == 0;
    if (known && node.st_gid != 0 && (node.st_mode & GROUP_READ_WRITE) == GROUP_READ_WRITE) {
        const std::string group = GroupName(node.st_gid, roots);
        const bool bCarried = std::find(login.groups.begin(), login.groups.end(), node.st_gid) !=
                              login.groups.end();
        // Joined after this login began: its processes do not carry the group yet.
        if (!bCarried && IsListedMember(login.userName, node.st_gid, roots))
            return "You are in the group " + group +
                   ", but this login started before that: log out and in, or run `newgrp " +
                   group + "`.";
        return "Your user may not use " + devicePath + " (group " + group +
               "). Run: sudo usermod -aG " + group +
               " $USER, then log out and in, or install the Tetherix udev rule.";
    }
    // No group may use the node (no udev rule gave it one): only the rule helps.
    return "Your user may not use " + devicePath +
           " and no group is given access to it. Install the Tetherix udev rule, then plug "
           "the cable in again.";
}

// A holder this user cannot see: another user's process, or one that took the kernel's
// exclusive lock. The usual ones are named with the way to see which it is.
std::string ExplainUnnamedHolder(const std::string& devicePath)
{
    return devicePath + " is in use by another program that cannot be named from this user's "
                        "view. It is usually ModemManager, brltty or a terminal program; see "
                        "which with: sudo fuser -v " +
           devicePath + ". Close it and try again.";
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

std::string GroupNameInTree(gid_t gid, const SystemRoots& roots) { return GroupName(gid, roots); }

bool IsListedGroupMember(const std::string& userName, gid_t gid, const SystemRoots& roots)
{
    return IsListedMember(userName, gid, roots);
}

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
                                   const SystemRoots& roots, const LoginIdentity& login)
{
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return ExplainPermission(devicePath, roots, login);
    case EBUSY:
    case EWOULDBLOCK: {
        const std::string users = ExplainPortInUse(devicePath, FindPortUsers(devicePath, roots));
        return users.empty() ? ExplainUnnamedHolder(devicePath) : users;
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

std::string ExplainMissingPort(const std::string& portName, const std::vector<std::string>& ports)
{
    std::string found;
    for (const std::string& port : ports)
        found += (found.empty() ? "" : ", ") + port;
    return "There is no port " + portName + " on this computer; ports found: " +
           (found.empty() ? std::string("none") : found) + ".";
}

LoginIdentity LoginIdentity::Current()
{
    LoginIdentity login;
    std::vector<char> buffer(GROUP_BUFFER_BYTES);
    passwd entry{};
    passwd* pFound = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &pFound) == 0 && pFound)
        login.userName = pFound->pw_name;
    const int count = getgroups(0, nullptr);
    login.groups.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (count > 0 && getgroups(count, login.groups.data()) != count)
        login.groups.clear();
    login.groups.push_back(getegid());
    return login;
}
