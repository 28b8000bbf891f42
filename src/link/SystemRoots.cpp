#include "link/SystemRoots.h"

namespace {
const char* const DEV_PREFIX = "/dev/";
}

std::string SystemRoots::DevicePathInTree(const std::string& devicePath) const
{
    const std::string prefix = DEV_PREFIX;
    if (devicePath.compare(0, prefix.size(), prefix) != 0)
        return devicePath;
    return dev + "/" + devicePath.substr(prefix.size());
}
