#include "app/SettingsLocation.h"

namespace {
constexpr const char* SETTINGS_FILE = "/Kestova.ini";
constexpr const char* USER_SETTINGS_DIR = "/Kestova";
} // namespace

std::string UserSettingsPath(const std::string& configHome)
{
    return configHome + USER_SETTINGS_DIR + SETTINGS_FILE;
}

std::string ChooseSettingsPath(const SettingsPlaces& places)
{
    const bool bHasUserDir = !places.configHome.empty();
    if (bHasUserDir && places.bUserFileExists)
        return UserSettingsPath(places.configHome);
    if (places.bProgramDirWritable || !bHasUserDir)
        return places.programDir + SETTINGS_FILE;
    return UserSettingsPath(places.configHome);
}
