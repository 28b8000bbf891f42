#include "platform/SettingsLocation.h"

#include "platform/UserDirs.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
constexpr const char* SETTINGS_FILE = "/Kestova.ini";
constexpr const char* USER_SETTINGS_DIR = "/Kestova";
constexpr const char* BUILD_TREE_MARK = "CMakeCache.txt";
const char* const SYSTEM_PREFIXES[] = {"/usr", "/usr/local", "/opt"};

// A folder of a CMake build tree, or one below it.
bool IsInBuildTree(const std::string& dir)
{
    std::error_code ec;
    for (fs::path folder = dir; !folder.empty(); folder = folder.parent_path()) {
        if (fs::exists(folder / BUILD_TREE_MARK, ec))
            return true;
        if (folder == folder.parent_path())
            break;
    }
    return false;
}
} // namespace

std::string UserSettingsPath(const std::string& configHome)
{
    return configHome + USER_SETTINGS_DIR + SETTINGS_FILE;
}

std::string ChooseSettingsPath(const SettingsPlaces& places)
{
    const std::string beside = places.programDir + SETTINGS_FILE;
    if (!places.bInstalled && (places.bBesideFileExists || places.bPortable))
        return beside;
    if (!places.configHome.empty())
        return UserSettingsPath(places.configHome);
    return places.bInstalled ? std::string() : beside;
}

bool IsUnderPrefix(const std::string& dir, const std::vector<std::string>& prefixes)
{
    const fs::path folder = fs::path(dir).lexically_normal();
    for (const std::string& prefix : prefixes) {
        const fs::path base = fs::path(prefix).lexically_normal();
        if (base.empty() || base == base.root_path())
            continue;
        const fs::path relative = folder.lexically_relative(base);
        if (!relative.empty() && *relative.begin() != "..")
            return true;
    }
    return false;
}

SettingsPlaces ProbeSettingsPlaces(const std::string& programDir, const std::string& installPrefix)
{
    std::vector<std::string> prefixes(std::begin(SYSTEM_PREFIXES), std::end(SYSTEM_PREFIXES));
    prefixes.push_back(installPrefix);
    SettingsPlaces places;
    places.programDir = programDir;
    const bool bBuildTree = IsInBuildTree(programDir);
    places.bInstalled = !bBuildTree && IsUnderPrefix(programDir, prefixes);
    places.bPortable = (bBuildTree || IsOwnedByThisUser(programDir)) &&
                       IsWritableDirectory(programDir);
    std::error_code ec;
    places.bBesideFileExists = fs::exists(programDir + SETTINGS_FILE, ec);
    places.configHome = XdgConfigHome();
    return places;
}
