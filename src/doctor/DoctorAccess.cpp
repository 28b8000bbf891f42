// Whether this user may open each Tetherix's serial port and USB device node, and why: its own
// node, the uaccess ACL that udev gives the user at the seat, a group, or none of them.
#include "doctor/Doctor.h"

#include "link/CableDiagnosis.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace {
const char* const ACL_ATTRIBUTE = "system.posix_acl_access";
constexpr std::uint16_t ACL_USER_TAG = 0x02;
constexpr std::uint16_t ACL_MASK_TAG = 0x10;
constexpr std::uint16_t ACL_READ_WRITE = 0x06;
constexpr std::size_t ACL_HEADER_BYTES = 4;
constexpr std::size_t ACL_ENTRY_BYTES = 8;
constexpr std::size_t ACL_MAX_BYTES = 4096;
const char* const RULE_OR_GROUP_FIX =
    "Install the Tetherix udev rule (it gives the user at the seat the cable) and plug the cable "
    "in again; or: sudo usermod -aG %s $USER, then log out and in.";

// True when the node's access ACL gives `uid` read and write (and its mask lets it through).
bool AclGrantsUser(const std::string& path, uid_t uid)
{
    unsigned char buffer[ACL_MAX_BYTES];
    const ssize_t size = getxattr(path.c_str(), ACL_ATTRIBUTE, buffer, sizeof buffer);
    if (size < static_cast<ssize_t>(ACL_HEADER_BYTES))
        return false;
    bool bUser = false;
    std::uint16_t mask = ACL_READ_WRITE;
    for (std::size_t at = ACL_HEADER_BYTES; at + ACL_ENTRY_BYTES <= static_cast<std::size_t>(size);
         at += ACL_ENTRY_BYTES) {
        std::uint16_t tag = 0;
        std::uint16_t perm = 0;
        std::uint32_t id = 0;
        std::memcpy(&tag, buffer + at, sizeof tag);
        std::memcpy(&perm, buffer + at + 2, sizeof perm);
        std::memcpy(&id, buffer + at + 4, sizeof id);
        if (tag == ACL_USER_TAG && id == uid)
            bUser = (perm & ACL_READ_WRITE) == ACL_READ_WRITE;
        else if (tag == ACL_MASK_TAG)
            mask = perm;
    }
    return bUser && (mask & ACL_READ_WRITE) == ACL_READ_WRITE;
}

std::string WithGroup(const char* format, const std::string& group)
{
    std::string text = format;
    const std::size_t at = text.find("%s");
    return text.replace(at, 2, group);
}

// The verdict for one node; `shown` is the path as the user knows it ("/dev/ttyUSB0").
DoctorCheck NodeAccess(const char* name, const std::string& subject, const std::string& node,
                       const std::string& shown, const DoctorMachine& machine)
{
    struct stat info{};
    if (stat(node.c_str(), &info) != 0)
        return {name, subject, EDoctorStatus::Fail, shown + " does not exist.",
                "Plug the cable in again; if the node still does not appear, udev is not running."};
    constexpr mode_t READ_WRITE_USER = S_IRUSR | S_IWUSR;
    constexpr mode_t READ_WRITE_GROUP = S_IRGRP | S_IWGRP;
    constexpr mode_t READ_WRITE_OTHER = S_IROTH | S_IWOTH;
    if (info.st_uid == machine.uid && (info.st_mode & READ_WRITE_USER) == READ_WRITE_USER)
        return {name, subject, EDoctorStatus::Pass, "You may open " + shown + ": it is yours.", ""};
    if (machine.uid == 0)
        return {name, subject, EDoctorStatus::Pass, "You may open " + shown + " (as root).", ""};
    if (AclGrantsUser(node, machine.uid))
        return {name, subject, EDoctorStatus::Pass,
                "You may open " + shown +
                    " through the uaccess ACL that udev gives the user at the seat.",
                ""};
    const std::string group = GroupNameInTree(info.st_gid, machine.roots);
    const bool bGroupMay = (info.st_mode & READ_WRITE_GROUP) == READ_WRITE_GROUP;
    const bool bCarried = std::find(machine.login.groups.begin(), machine.login.groups.end(),
                                    info.st_gid) != machine.login.groups.end();
    if (bGroupMay && bCarried)
        return {name, subject, EDoctorStatus::Pass,
                "You may open " + shown + " through the group " + group + ".", ""};
    if ((info.st_mode & READ_WRITE_OTHER) == READ_WRITE_OTHER)
        return {name, subject, EDoctorStatus::Pass, "Anyone may open " + shown + ".", ""};
    if (bGroupMay && IsListedGroupMember(machine.login.userName, info.st_gid, machine.roots))
        return {name, subject, EDoctorStatus::Fail,
                "You joined the group " + group + ", but this login started before that, so " +
                    shown + " is not yours yet.",
                "Log out and in again (or run `newgrp " + group + "` in this terminal)."};
    return {name, subject, EDoctorStatus::Fail,
            "You may not open " + shown + " (group " + group +
                (bGroupMay ? "" : ", which may not use it either") + ") and it has no uaccess ACL for you.",
            WithGroup(RULE_OR_GROUP_FIX, bGroupMay ? group : std::string("dialout"))};
}
} // namespace

std::vector<DoctorCheck> CheckAccess(const DoctorMachine& machine, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix)
            continue;
        const std::string tty = cable.cable.ttyName;
        if (!tty.empty())
            checks.push_back(NodeAccess("access.port", tty, machine.roots.dev + "/" + tty,
                                        "/dev/" + tty, machine));
        const std::string node = UsbDeviceNodePath(cable.cable.device, machine.roots);
        if (!node.empty())
            checks.push_back(NodeAccess("access.usb", cable.sysName, node,
                                        "/dev" + node.substr(machine.roots.dev.size()), machine));
    }
    if (checks.empty())
        checks.push_back({"access.port", "", EDoctorStatus::Skipped, "No Tetherix is plugged in.", ""});
    return checks;
}
