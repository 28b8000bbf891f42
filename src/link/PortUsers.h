// Finds the other processes that hold a device open, by their open files under /proc, so
// that a port held without any lock (a terminal program, ModemManager probing a new USB
// serial device) is noticed before it is opened and its pending input is stolen.
#pragma once

#include "link/SystemRoots.h"

#include <string>
#include <sys/types.h>
#include <vector>

struct PortUser {
    pid_t pid = 0;
    std::string name; // the process's command name, such as "ModemManager"

    bool operator==(const PortUser&) const = default;
};

// Processes other than this one with `devicePath` ("/dev/ttyUSB0") open, in pid order.
// Processes whose open files this user may not read are not seen.
std::vector<PortUser> FindPortUsers(const std::string& devicePath,
                                    const SystemRoots& roots = SystemRoots());
