// What --list --json says about one serial port: its names, what it is on USB, and whether this
// user can have it now (another program holds it, or the user may not open it). Read from sysfs,
// /dev and /proc without opening the port, so listing never disturbs a unit.
#pragma once

#include "link/SystemRoots.h"

#include <string>
#include <vector>

struct PortFacts {
    std::string name;        // "ttyUSB0"
    std::string lastingName; // the name that survives a re-plug (see StablePortIdentity)
    std::string description; // DescribePort's text
    std::string vendorId;    // USB ids and serial number; empty when not on USB
    std::string productId;
    std::string serial;
    std::vector<std::string> users; // the programs that hold it open
    bool bPermitted = true;         // this user may read and write its device node
};

// `devicePath` is the node the port is opened as ("/dev/ttyUSB0").
PortFacts GatherPortFacts(const std::string& name, const std::string& devicePath,
                          const SystemRoots& roots = SystemRoots());
