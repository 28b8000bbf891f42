// The settings file in use and the support log's folder: there, and writable by this user.
#include "doctor/Doctor.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
// The nearest folder of `path` that exists: the one a write would create the rest in.
fs::path NearestFolder(fs::path folder)
{
    std::error_code error;
    while (!folder.empty() && !fs::exists(folder, error) && folder != folder.parent_path())
        folder = folder.parent_path();
    return folder;
}

struct FileRole {
    const char* name;     // "settings.file"
    const char* what;     // "Settings file"
    const char* variable; // the variable that moves it: "XDG_CONFIG_HOME"
};

bool OwnedBy(const fs::path& path, uid_t uid)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && info.st_uid == uid;
}

// Whether `user` may write `path`, from its owner, group and mode (root may write anything).
bool MayWrite(const fs::path& path, const DoctorUser& user)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return false;
    if (user.uid == 0)
        return true;
    if (info.st_uid == user.uid)
        return (info.st_mode & S_IWUSR) != 0;
    if (std::find(user.groups.begin(), user.groups.end(), info.st_gid) != user.groups.end())
        return (info.st_mode & S_IWGRP) != 0;
    return (info.st_mode & S_IWOTH) != 0;
}

// A file or folder the user cannot write: theirs (give themselves write access), in a folder
// of theirs (a file root left there: take it back), or not theirs at all (move it).
std::vector<std::string> WriteFix(const FileRole& role, const fs::path& path, bool bFolder,
                                  uid_t uid)
{
    if (OwnedBy(path, uid))
        return {"chmod u+w " + path.string()};
    if (!bFolder && OwnedBy(path.parent_path(), uid))
        return {"sudo chown $USER: " + path.string()};
    return {"Set " + std::string(role.variable) +
            " to a folder of yours and start the program again."};
}

// Pass when the file can be written, or created with the folders it lacks.
DoctorCheck FileCheck(const FileRole& role, const std::string& path, const DoctorUser& user)
{
    const uid_t uid = user.uid;
    std::error_code error;
    const std::string what = role.what;
    if (fs::exists(path, error)) {
        if (MayWrite(path, user))
            return {role.name, "", EDoctorStatus::Pass, what + ": " + path + ", writable.", {}};
        const bool bTheirs = OwnedBy(path, uid) || OwnedBy(fs::path(path).parent_path(), uid);
        return {role.name, "", EDoctorStatus::Fail,
                what + ": " + path + " cannot be written" +
                    (bTheirs ? std::string(".") : ": it is not yours, nor in a folder of yours."),
                WriteFix(role, path, false, uid)};
    }
    const fs::path folder = NearestFolder(fs::path(path).parent_path());
    if (MayWrite(folder, user))
        return {role.name,
                "",
                EDoctorStatus::Pass,
                what + ": " + path + ", made when first written.",
                {}};
    const bool bTheirs = OwnedBy(folder, uid);
    return {role.name, "", EDoctorStatus::Fail,
            what + ": " + path + " cannot be made: " + folder.string() + " is not writable" +
                (bTheirs ? std::string(".")
                         : " and is not your folder (" + std::string(role.variable) +
                               " or HOME names a folder that is not yours)."),
            WriteFix(role, folder, true, uid)};
}
} // namespace

std::vector<DoctorCheck> CheckProgram(const DoctorMachine& machine, const DoctorCables&)
{
    if (machine.confinement.empty())
        return {{"confinement",
                 "",
                 EDoctorStatus::Pass,
                 "The program runs unconfined: it sees the system's devices.",
                 {}}};
    const bool bFlatpak = machine.confinement.rfind("flatpak ", 0) == 0;
    const std::string id = machine.confinement.substr(machine.confinement.find(' ') + 1);
    DoctorCheck check{"confinement",
                      "",
                      EDoctorStatus::Warn,
                      "The program runs confined (" + machine.confinement +
                          "): it sees serial ports and USB devices only where its sandbox lets it, "
                          "and this check sees the sandbox, not the computer.",
                      {}};
    if (bFlatpak)
        check.fix = {"flatpak override --user --device=all " + id};
    else
        check.fix = {"sudo snap connect " + id + ":raw-usb",
                     "For the cable's serial port, install the downloader from its .deb package."};
    return {check};
}

std::vector<DoctorCheck> CheckFiles(const DoctorMachine& machine, const DoctorCables&)
{
    static const FileRole SETTINGS{"settings.file", "Settings file", "XDG_CONFIG_HOME"};
    static const FileRole LOG{"support.log", "Support log", "XDG_STATE_HOME"};
    std::vector<DoctorCheck> checks;
    if (machine.settingsPath.empty())
        checks.push_back(
            {SETTINGS.name,
             "",
             EDoctorStatus::Warn,
             "No settings file can be named: no home folder is known ($HOME), so "
             "settings last only until the program ends.",
             {"Set HOME to your home folder, or XDG_CONFIG_HOME to a folder of yours."}});
    else
        checks.push_back(FileCheck(SETTINGS, machine.settingsPath, ThisDoctorUser(machine)));
    if (machine.logPath.empty())
        checks.push_back(
            {LOG.name,
             "",
             EDoctorStatus::Warn,
             "No support log can be kept: no home folder is known ($HOME).",
             {"Set HOME to your home folder, or XDG_STATE_HOME to a folder of yours."}});
    else
        checks.push_back(FileCheck(LOG, machine.logPath, ThisDoctorUser(machine)));
    return checks;
}
