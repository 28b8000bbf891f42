// The FTDI cables as the computer check sees them: what sysfs says of each, and what udev
// recorded for its serial port and its USB device (the database under /run/udev/data that
// libudev itself reads).
#pragma once

#include "link/SystemRoots.h"
#include "link/UsbSysfs.h"

#include <map>
#include <set>
#include <string>
#include <vector>

// udev's record of one device: its properties ("E:" lines) and tags ("G:" and "Q:" lines).
struct UdevRecord {
    bool bFound = false;
    std::map<std::string, std::string> properties;
    std::set<std::string> tags;

    bool HasTag(const std::string& tag) const { return tags.count(tag) > 0; }
    std::string Property(const std::string& key) const;
};

struct DoctorCable {
    FtdiCable cable;
    std::string sysName; // the USB device's sysfs name, "1-1.2"
    bool bTetherix = false;
    UdevRecord ttyRecord; // the serial port's record; not found when there is no port
    UdevRecord usbRecord; // the USB device's record
};

// udev's record of the character device "major:minor" under run/udev/data.
UdevRecord ReadUdevRecord(const SystemRoots& roots, const std::string& devNumber);

// Every FTDI device plugged in, in the order of their sysfs paths.
std::vector<DoctorCable> GatherDoctorCables(const SystemRoots& roots);

// "FTDI TTL-232R (serial A10K3B2C)": how a cable is named in the report.
std::string DoctorCableName(const UsbDeviceFacts& device);
