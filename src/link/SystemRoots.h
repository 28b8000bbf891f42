// Where the kernel's and the system's trees are read from: the real "/proc", "/sys", "/dev",
// "/etc", "/run", "/var" and "/usr" unless a test points them at fake trees of its own.
#pragma once

#include <string>

struct SystemRoots {
    std::string proc = "/proc";
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string etc = "/etc";
    std::string run = "/run"; // run/lock holds the serial ports' lock files
    std::string var = "/var"; // var/lock, where older programs put them
    std::string usr = "/usr"; // usr/lib/udev/rules.d, where packages put their udev rules

    // The path under `dev` of a device path as a user writes it ("/dev/ttyUSB0"); paths
    // outside "/dev/" are returned unchanged.
    std::string DevicePathInTree(const std::string& devicePath) const;
};
