// Finds the other processes that hold a device open, so that a port held without the kernel's
// exclusive lock (a terminal program, ModemManager probing a new USB serial device) is noticed
// before it is opened and its pending input is stolen: by their open files under /proc where
// this user may read them, and by the UUCP lock file that terminal programs leave for a port
// ("LCK..ttyUSB0" under /run/lock or /var/lock), which any user may read.
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

// Processes other than this one with `devicePath` ("/dev/ttyUSB0") open, or whose live process
// holds the port's lock file, in pid order. Processes whose open files this user may not read
// and that leave no lock file are not seen.
std::vector<PortUser> FindPortUsers(const std::string& devicePath,
                                    const SystemRoots& roots = SystemRoots());
