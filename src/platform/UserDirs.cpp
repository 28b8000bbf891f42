#include "platform/UserDirs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

bool IsAbsolute(const char* pszPath)
{
    return pszPath != nullptr && pszPath[0] == '/';
}

// A relative value is ignored, as the convention asks.
std::string BaseDir(const char* pszVariable, const char* pszHomeRelative)
{
    const char* pszValue = std::getenv(pszVariable);
    if (IsAbsolute(pszValue))
        return pszValue;
    const char* pszHome = std::getenv("HOME");
    if (!IsAbsolute(pszHome))
        return {};
    return std::string(pszHome) + pszHomeRelative;
}

} // namespace

std::string XdgConfigHome()
{
    return BaseDir("XDG_CONFIG_HOME", "/.config");
}

std::string XdgStateHome()
{
    return BaseDir("XDG_STATE_HOME", "/.local/state");
}

bool IsWritableDirectory(const std::string& dir)
{
    struct stat info {};
    if (dir.empty() || stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    return access(dir.c_str(), W_OK | X_OK) == 0;
}

bool IsOwnedByThisUser(const std::string& path)
{
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && info.st_uid == geteuid();
}
