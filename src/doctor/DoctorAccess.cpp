// Whether this user may open each Tetherix's serial port and USB device node, and why: its own
// node, the uaccess ACL that udev gives the user at the seat, a group, or none of them.
#include "doctor/Doctor.h"

#include "doctor/DoctorRules.h"
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
const char* const UACCESS_TAG = "uaccess";

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

// What the check knows around one node: the user, and what udev did for the cable.
struct NodeContext {
    const DoctorMachine& machine;
    const DoctorUser& user;
    bool bTagged;    // udev applied the rule to the cable (the uaccess tag)
    bool bInstalled; // the rule is installed
    bool bNeeded;    // the program will open this node (false: the USB node on a serial machine)
};

std::string Who(const DoctorUser& user, const char* you)
{
    return user.bThisLogin ? you : user.name;
}

// No access while udev applied the rule: the ACL goes to the user at the seat only.
DoctorCheck NoSeatAccess(DoctorCheck check, const NodeContext& at, const std::string& shown,
                         const std::string& group, bool bGroupMay)
{
    const DoctorSession& session = at.machine.session;
    check.status = EDoctorStatus::Fail;
    if (!at.user.bThisLogin) {
        check.text = at.user.name + " may not open " + shown +
                     " and has no uaccess ACL on it: udev gives it to the user active at the seat.";
        check.fix = {"Log in at the computer as " + at.user.name + " and run the check again."};
    } else if (session.seat.empty()) {
        check.text = "This login has no seat (" +
                     (session.id.empty() ? std::string("no login session")
                      : session.bRemote  ? "a remote login"
                                         : "a login without a seat") +
                     "): udev gives " + shown + " only to the user at the computer's seat.";
        if (bGroupMay && group != "root")
            check.fix = {"sudo usermod -aG " + group + " $USER", "Log out and in again."};
        else
            check.fix = {"Log in at the computer itself, or use the cable's serial port."};
    } else if (!session.bActive) {
        check.text = "Your session on " + session.seat + " is not the active one: udev gives " +
                     shown + " to the user in front of it.";
        check.fix = {"Switch to your session at the computer."};
    } else {
        check.text = "udev applied the rule, but " + shown + " has no uaccess ACL for you.";
        check.fix = {"Unplug the cable and plug it in again."};
    }
    return check;
}

// The verdict for one node; `shown` is the path as the user knows it ("/dev/ttyUSB0").
DoctorCheck NodeAccess(const char* name, const std::string& subject, const std::string& node,
                       const std::string& shown, const NodeContext& at)
{
    DoctorCheck check{name, subject, EDoctorStatus::Pass, "", {}};
    const DoctorUser& user = at.user;
    const std::string you = Who(user, "You");
    struct stat info {};
    if (stat(node.c_str(), &info) != 0) {
        check.status = at.bNeeded ? EDoctorStatus::Fail : EDoctorStatus::Skipped;
        check.text = shown + " does not exist.";
        if (at.bNeeded)
            check.fix = {"Unplug the cable and plug it in again."};
        return check;
    }
    const std::string group = GroupNameInTree(info.st_gid, at.machine.roots);
    check.detail = shown + ": mode " + std::to_string((info.st_mode >> 6) & 7) +
                   std::to_string((info.st_mode >> 3) & 7) + std::to_string(info.st_mode & 7) +
                   ", group " + group + (at.bTagged ? ", uaccess tag" : ", no uaccess tag");
    constexpr mode_t READ_WRITE_USER = S_IRUSR | S_IWUSR;
    constexpr mode_t READ_WRITE_GROUP = S_IRGRP | S_IWGRP;
    constexpr mode_t READ_WRITE_OTHER = S_IROTH | S_IWOTH;
    const bool bGroupMay = (info.st_mode & READ_WRITE_GROUP) == READ_WRITE_GROUP;
    const bool bCarried =
        std::find(user.groups.begin(), user.groups.end(), info.st_gid) != user.groups.end();
    if (info.st_uid == user.uid && (info.st_mode & READ_WRITE_USER) == READ_WRITE_USER)
        check.text = you + " may open " + shown + ": it is " + Who(user, "yours") +
                     (user.bThisLogin ? "." : "'s.");
    else if (user.uid == 0)
        check.text = you + " may open " + shown + " as root.";
    else if (AclGrantsUser(node, user.uid))
        check.text = you + " may open " + shown +
                     " through the uaccess ACL that udev gives the user at the seat.";
    else if (bGroupMay && bCarried)
        check.text = you + " may open " + shown + " through the group " + group + ".";
    else if ((info.st_mode & READ_WRITE_OTHER) == READ_WRITE_OTHER)
        check.text = "Anyone may open " + shown + ".";
    if (!check.text.empty())
        return check;
    if (!at.bNeeded) {
        check.status = EDoctorStatus::Info;
        check.text = you + " may not open " + shown +
                     ", which only FTDI's library opens; the program uses the cable's serial port.";
        return check;
    }
    if (bGroupMay && user.bThisLogin &&
        IsListedGroupMember(user.name, info.st_gid, at.machine.roots)) {
        check.status = EDoctorStatus::Fail;
        check.text = "You joined the group " + group + ", but this login started before that, so " +
                     shown + " is not yours yet (newgrp " + group + " gives it to one terminal).";
        check.fix = {"Log out and in again."};
        return check;
    }
    if (at.bTagged)
        return NoSeatAccess(check, at, shown, group, bGroupMay);
    check.status = EDoctorStatus::Fail;
    check.text = you + " may not open " + shown + " (group " + group +
                 (bGroupMay ? "" : ", which may not use it either") +
                 "): the Tetherix udev rule gives it to the user at the seat.";
    check.followsFrom = at.bInstalled ? "udev.applied" : "udev.rule";
    if (bGroupMay && group != "root")
        check.text += " Without the rule: sudo usermod -aG " + group + " " + Who(user, "$USER") +
                      ", then log in again.";
    return check;
}

// Root opens everything: the report says so, and whose access it checks instead.
DoctorCheck RootCheck(const DoctorMachine& machine, bool bFound, const DoctorUser& desktop,
                      const std::string& why)
{
    const std::string ran =
        machine.sudoUser.empty() ? "as root" : "as root, through sudo by " + machine.sudoUser;
    if (bFound)
        return {"root.user",
                "",
                EDoctorStatus::Info,
                "Run " + ran + ": root may open every device, so the access checks are " +
                    desktop.name + "'s, the desktop user's.",
                {}};
    return {"root.user",
            "",
            EDoctorStatus::Warn,
            "Run " + ran +
                ": root may open every device, which says nothing of the desktop "
                "user's access, and the desktop user is not known: " +
                why + ".",
            {"Run kestova-flash --doctor again as the user who updates the units."}};
}
} // namespace

std::vector<DoctorCheck> CheckAccess(const DoctorMachine& machine, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    DoctorUser user = ThisDoctorUser(machine);
    if (machine.uid == 0) {
        DoctorUser desktop;
        std::string why;
        const bool bFound = FindDesktopUser(machine, &desktop, &why);
        checks.push_back(RootCheck(machine, bFound, desktop, why));
        if (bFound)
            user = desktop;
    }
    const bool bInstalled = !FindTetherixRule(machine).empty();
    const bool bChoseUsb = SavedDoctorPort(machine.settingsPath) == "USB";
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix)
            continue;
        const bool bTagged =
            cable.ttyRecord.HasTag(UACCESS_TAG) || cable.usbRecord.HasTag(UACCESS_TAG);
        const std::string tty = cable.cable.ttyName;
        if (!tty.empty())
            checks.push_back(NodeAccess("access.port", tty, machine.roots.dev + "/" + tty,
                                        "/dev/" + tty, {machine, user, bTagged, bInstalled, true}));
        const std::string node = UsbDeviceNodePath(cable.cable.device, machine.roots);
        const bool bUsb = cable.cable.heldByDriver.empty() || bChoseUsb;
        if (!node.empty())
            checks.push_back(NodeAccess("access.usb", cable.sysName, node, machine.Shown(node),
                                        {machine, user, bTagged, bInstalled, bUsb}));
    }
    if (checks.empty() || (checks.size() == 1 && machine.uid == 0))
        checks.push_back(
            {"access.port", "", EDoctorStatus::Skipped, "No Tetherix is plugged in.", {}});
    return checks;
}
