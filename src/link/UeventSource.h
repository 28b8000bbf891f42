// A source of the kernel's device events ("add"/"remove" of a tty or a USB device), read when
// its descriptor is readable. The system's source is CUdevEventSource; tests feed their own.
#pragma once

#include <string>

struct Uevent {
    std::string action;    // "add", "remove", "change", "bind"...
    std::string subsystem; // "tty" or "usb"
    std::string sysName;   // "ttyUSB0" for a tty, "1-1.2" for a USB device
    std::string vendorId;  // a USB device's vendor id ("0403") when the event carries it
    std::string serial;    // a USB device's serial number ("A10K3B2C") when known
    std::string product;   // a USB device's product string ("Tetherix") when known
};

class IUeventSource {
public:
    virtual ~IUeventSource() = default;
    // Readable while events wait; -1 when the source cannot deliver any.
    virtual int Descriptor() const = 0;
    // Takes the next waiting event; false when none waits (never blocks).
    virtual bool Next(Uevent* pEvent) = 0;
};
