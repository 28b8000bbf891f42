// The settings file in use and the support log's folder: there, and writable by this user.
#include "doctor/Doctor.h"

#include "platform/UserDirs.h"

#include <filesystem>
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

// Pass when the file can be written, or created with the folders it lacks.
DoctorCheck FileCheck(const char* name, const char* what, const std::string& path)
{
    std::error_code error;
    if (fs::exists(path, error)) {
        if (access(path.c_str(), W_OK) == 0)
            return {name, "", EDoctorStatus::Pass, std::string(what) + ": " + path + ", writable.", ""};
        return {name, "", EDoctorStatus::Fail, std::string(what) + ": " + path + " cannot be written.",
                "Give it back to your user: sudo chown $USER " + path};
    }
    const fs::path folder = NearestFolder(fs::path(path).parent_path());
    if (IsWritableDirectory(folder.string()))
        return {name, "", EDoctorStatus::Pass,
                std::string(what) + ": " + path + ", made when first written.", ""};
    return {name, "", EDoctorStatus::Fail,
            std::string(what) + ": " + path + " cannot be made: " + folder.string() +
                " is not writable.",
            "Give the folder to your user: sudo chown $USER " + folder.string()};
}
} // namespace

std::vector<DoctorCheck> CheckFiles(const DoctorMachine& machine, const DoctorCables&)
{
    std::vector<DoctorCheck> checks;
    if (machine.settingsPath.empty())
        checks.push_back({"settings.file", "", EDoctorStatus::Warn,
                          "No settings file can be named: no home folder is known ($HOME), so "
                          "settings last only until the program ends.",
                          "Set HOME (or XDG_CONFIG_HOME) to your home folder."});
    else
        checks.push_back(FileCheck("settings.file", "Settings file", machine.settingsPath));
    if (machine.logPath.empty())
        checks.push_back({"support.log", "", EDoctorStatus::Warn,
                          "No support log can be kept: no home folder is known ($HOME).",
                          "Set HOME (or XDG_STATE_HOME), or name a log with --log FILE."});
    else
        checks.push_back(FileCheck("support.log", "Support log", machine.logPath));
    return checks;
}
