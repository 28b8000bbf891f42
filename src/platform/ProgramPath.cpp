#include "platform/ProgramPath.h"

#include <unistd.h>

#include <climits>

std::string GetModuleFileName()
{
    char buffer[PATH_MAX + 1] = {};
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0)
        return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string DirectoryOf(const std::string& path)
{
    const auto pos = path.rfind('/');
    if (pos == std::string::npos)
        return path;
    return path.substr(0, pos);
}
