// Where the kernel's and the system's trees are read from: the real "/proc", "/sys", "/dev"
// and "/etc" unless a test points them at fake trees of its own.
#pragma once

#include <string>

struct SystemRoots {
    std::string proc = "/proc";
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string etc = "/etc";

    // The path under `dev` of a device path as a user writes it ("/dev/ttyUSB0"); paths
    // outside "/dev/" are returned unchanged.
    std::string DevicePathInTree(const std::string& devicePath) const;
};
