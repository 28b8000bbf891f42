// FTDI cables emulated with umockdev for a program that runs under umockdev's preload library:
// the sysfs tree a real FT232R cable shows (USB device, interface, ftdi_sio's usb-serial device,
// tty), its tty node backed by a pseudo-terminal, its /dev/serial/by-id link, and the kernel's
// plug events in the kernel's order. The program reads all of it through the real libudev.
#pragma once

#include <string>

struct _UMockdevTestbed;

struct EmulatedCable {
    std::string usbName;  // the USB device's sysfs name: "1-1"
    std::string product;  // its description: "Tetherix"
    std::string serial;   // its serial number: "A10K3B2C"
    std::string tty;      // "ttyUSB0" when ftdi_sio made a port of it; empty when D2XX holds it
};

class CUsbTestbed {
public:
    // An empty test bed: from now on the process sees its sysfs and /dev instead of the real ones.
    CUsbTestbed();
    ~CUsbTestbed();
    CUsbTestbed(const CUsbTestbed&) = delete;
    CUsbTestbed& operator=(const CUsbTestbed&) = delete;

    // True when the process runs under umockdev's preload library, without which nothing of the
    // test bed is seen.
    static bool IsEmulating();

    // Adds the cable's devices and reports them as the kernel and udev do: the USB device (added,
    // then bound to its driver), then its tty once the node and the by-id link are in place.
    void Plug(const EmulatedCable& cable);
    // Takes it away as the kernel does: the port is hung up; the by-id link, the node and the
    // tty's class entry go; "remove" is reported for the tty, then the USB device; then the
    // sysfs entries go.
    void Unplug(const EmulatedCable& cable);
    // A terminal with no port behind it, such as a new virtual console, reported as added.
    void AddTerminal(const std::string& name);

    // The test's end of the pseudo-terminal behind a tty node; -1 when there is none.
    int UnitSideFd(const std::string& tty) const;
    // The cable's /dev/serial/by-id name ("usb-FTDI_Tetherix_A10K3B2C-if00-port0").
    static std::string ByIdName(const EmulatedCable& cable);

private:
    std::string InBed(const std::string& path) const { return m_root + path; }
    void RemoveLinksInto(const std::string& sysDevicePath);

    _UMockdevTestbed* m_pBed = nullptr;
    std::string m_root;
};
