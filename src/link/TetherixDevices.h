// Which USB devices are the Tetherix cable: taken from sysfs while the USB link opens, since by
// the time the kernel reports a device's removal its sysfs entry is gone, and compared with
// each plug event so that another FTDI adapter coming or going never touches the link.
#pragma once

#include <string>
#include <vector>

// A USB device as a plug event names it; serial and product are empty when it did not say.
struct UsbPlugFacts {
    std::string sysName;  // "1-1.2"
    std::string vendorId; // "0403"
    std::string serial;   // "A10K3B2C"
    std::string product;  // "Tetherix"
};

// The Tetherix cables that sysfs shows: FTDI devices with the Tetherix's description.
struct TetherixDevices {
    std::vector<std::string> sysNames;
    std::vector<std::string> serials;
};

TetherixDevices FindTetherixDevices(const std::string& sysRoot);

// The device is a Tetherix: one of `known` by its sysfs name or serial number, or an FTDI
// device with the Tetherix's description.
bool IsTetherixDevice(const UsbPlugFacts& device, const TetherixDevices& known);

// The device may be a Tetherix: it is one, or an FTDI device whose event named neither its
// serial number nor its description.
bool MayBeTetherixDevice(const UsbPlugFacts& device, const TetherixDevices& known);
