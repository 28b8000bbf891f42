// Reads USB facts about serial ports and cables from sysfs: which USB device a tty belongs
// to, its descriptor strings, and which driver holds each of its interfaces.
#pragma once

#include <string>
#include <vector>

// Vendor id of FTDI, whose USB-serial chips the Tetherix cable is built on.
inline constexpr const char* FTDI_VENDOR_ID = "0403";
// The USB device description (product string) the Tetherix cable carries.
inline constexpr const char* TETHERIX_DESCRIPTION = "Tetherix";

struct UsbDeviceFacts {
    std::string path;         // the USB device's sysfs directory
    std::string vendorId;     // "0403"
    std::string productId;    // "6001"
    std::string manufacturer; // "FTDI"
    std::string product;      // "TTL-232R"
    std::string serial;       // "A10K3B2C"
};

// An FTDI cable as the kernel sees it: its device and, when ftdi_sio holds an interface,
// the tty name ftdi_sio gave it.
struct FtdiCable {
    UsbDeviceFacts device;
    std::string heldByDriver; // driver of its first interface, such as "ftdi_sio"; may be empty
    std::string ttyName;      // "ttyUSB0" when the kernel made a serial port of it
};

// True when the device describes itself as the Tetherix.
bool IsTetherix(const UsbDeviceFacts& device);

// True when the tty (under sysRoot/class/tty) sits on a USB device that describes itself as the
// Tetherix.
bool IsTetherixTty(const std::string& sysRoot, const std::string& ttyName);

// First line of a sysfs attribute or a /proc file, without trailing blanks; empty when absent.
std::string ReadFirstLine(const std::string& path);

// The USB device a tty (under sysRoot/class/tty) belongs to; false when it is not on USB.
bool UsbDeviceOfTty(const std::string& sysRoot, const std::string& ttyName, UsbDeviceFacts* pFacts);

// Names of the ttys under sysRoot/class/tty that sit on a USB device of the given vendor,
// in directory order.
std::vector<std::string> UsbTtysOfVendor(const std::string& sysRoot, const std::string& vendorId);

// Every FTDI USB device under sysRoot/bus/usb/devices, with its interface driver and tty, in
// the order of their sysfs paths.
std::vector<FtdiCable> FindFtdiCables(const std::string& sysRoot);
