#include "UsbTestbed.h"

#include <umockdev.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
const char* const USB_HOST_PATH = "/devices/pci0000:00/0000:00:14.0/usb1/";
const char* const INTERFACE_SUFFIX = ":1.0";
const char* const PRELOAD_NAME = "libumockdev-preload";

std::string UsbPath(const EmulatedCable& cable) { return USB_HOST_PATH + cable.usbName; }
std::string InterfacePath(const EmulatedCable& cable)
{
    return UsbPath(cable) + "/" + cable.usbName + INTERFACE_SUFFIX;
}
std::string TtyPath(const EmulatedCable& cable)
{
    return InterfacePath(cable) + "/" + cable.tty + "/tty/" + cable.tty;
}

// The properties udev's usb_id gives an FT232R cable's devices.
std::string UsbIdProperties(const EmulatedCable& cable)
{
    return "E: ID_VENDOR=FTDI\nE: ID_VENDOR_ID=0403\nE: ID_MODEL=" + cable.product +
           "\nE: ID_MODEL_ID=6001\nE: ID_SERIAL=FTDI_" + cable.product + "_" + cable.serial +
           "\nE: ID_SERIAL_SHORT=" + cable.serial + "\n";
}

std::string UsbDeviceRecord(const EmulatedCable& cable)
{
    return "P: " + UsbPath(cable) +
           "\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: PRODUCT=403/6001/600\nE: TYPE=0/0/0\n"
           "E: SUBSYSTEM=usb\n" +
           UsbIdProperties(cable) +
           "A: idVendor=0403\nA: idProduct=6001\nA: bcdDevice=0600\nA: manufacturer=FTDI\n"
           "A: product=" + cable.product + "\nA: serial=" + cable.serial + "\n\n";
}

// Its one interface, bound to ftdi_sio when the kernel made a port of it.
std::string InterfaceRecord(const EmulatedCable& cable)
{
    const bool bBound = !cable.tty.empty();
    return "P: " + InterfacePath(cable) +
           "\nE: DEVTYPE=usb_interface\nE: PRODUCT=403/6001/600\nE: INTERFACE=255/255/255\n"
           "E: SUBSYSTEM=usb\n" +
           (bBound ? "E: DRIVER=ftdi_sio\nL: driver=../../../../../../bus/usb/drivers/ftdi_sio\n"
                   : "") +
           "A: bInterfaceNumber=00\nA: bInterfaceClass=ff\nA: interface=" + cable.product +
           "\n\n";
}

std::string PortRecords(const EmulatedCable& cable)
{
    const std::string byId = CUsbTestbed::ByIdName(cable);
    return "P: " + InterfacePath(cable) + "/" + cable.tty +
           "\nE: DRIVER=ftdi_sio\nE: SUBSYSTEM=usb-serial\nA: port_number=0\nA: latency_timer=16\n"
           "\n"
           "P: " + TtyPath(cable) + "\nN: " + cable.tty + "\nE: DEVNAME=/dev/" + cable.tty +
           "\nE: SUBSYSTEM=tty\nE: ID_BUS=usb\nE: ID_USB_INTERFACE_NUM=00\n"
           "E: ID_USB_DRIVER=ftdi_sio\n" +
           UsbIdProperties(cable) + "E: DEVLINKS=/dev/serial/by-id/" + byId +
           "\nS: serial/by-id/" + byId + "\nL: device=../../../" + cable.tty + "\n\n";
}

void Add(UMockdevTestbed* pBed, const std::string& record)
{
    GError* pError = nullptr;
    if (!umockdev_testbed_add_from_string(pBed, record.c_str(), &pError)) {
        std::fprintf(stderr, "umockdev: %s\n", pError ? pError->message : "?");
        std::abort();
    }
}

void RemoveFile(const std::string& path)
{
    std::error_code ec;
    fs::remove(path, ec);
}
} // namespace

CUsbTestbed::CUsbTestbed()
{
    m_pBed = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(m_pBed);
    m_root = root;
    g_free(root);
}

CUsbTestbed::~CUsbTestbed()
{
    g_object_unref(m_pBed);
}

bool CUsbTestbed::IsEmulating()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::string(preload).find(PRELOAD_NAME) != std::string::npos;
}

std::string CUsbTestbed::ByIdName(const EmulatedCable& cable)
{
    return "usb-FTDI_" + cable.product + "_" + cable.serial + "-if00-port0";
}

int CUsbTestbed::UnitSideFd(const std::string& tty) const
{
    return umockdev_testbed_get_dev_fd(m_pBed, ("/dev/" + tty).c_str());
}

void CUsbTestbed::Plug(const EmulatedCable& cable)
{
    Add(m_pBed, UsbDeviceRecord(cable) + InterfaceRecord(cable));
    umockdev_testbed_uevent(m_pBed, ("/sys" + UsbPath(cable)).c_str(), "add");
    umockdev_testbed_uevent(m_pBed, ("/sys" + UsbPath(cable)).c_str(), "bind");
    if (cable.tty.empty())
        return;
    Add(m_pBed, PortRecords(cable));
    umockdev_testbed_uevent(m_pBed, ("/sys" + TtyPath(cable)).c_str(), "add");
}

void CUsbTestbed::Unplug(const EmulatedCable& cable)
{
    if (!cable.tty.empty()) {
        // Closing the last descriptor of the pseudo-terminal's master hangs its port up. The
        // test bed closes the descriptor it keeps when it ends: /dev/null holds its number.
        const int unitSide = UnitSideFd(cable.tty);
        const int placeholder = open("/dev/null", O_RDWR | O_CLOEXEC);
        dup2(placeholder, unitSide);
        close(placeholder);
        RemoveFile(InBed("/dev/serial/by-id/" + ByIdName(cable)));
        RemoveFile(InBed("/dev/" + cable.tty));
        RemoveFile(InBed("/sys/class/tty/" + cable.tty));
        umockdev_testbed_uevent(m_pBed, ("/sys" + TtyPath(cable)).c_str(), "remove");
    }
    umockdev_testbed_uevent(m_pBed, ("/sys" + UsbPath(cable)).c_str(), "remove");
    RemoveLinksInto(UsbPath(cable));
    std::error_code ec;
    fs::remove_all(InBed("/sys" + UsbPath(cable)), ec);
}

// The class and bus entries that point into a device's sysfs directory, or below it.
void CUsbTestbed::RemoveLinksInto(const std::string& sysDevicePath)
{
    std::error_code ec;
    const fs::path sys = InBed("/sys");
    for (const char* kind : {"class", "bus"}) {
        for (fs::recursive_directory_iterator it(sys / kind, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (!it->is_symlink(ec))
                continue;
            const std::string target = fs::read_symlink(it->path(), ec).string();
            if (target.ends_with(sysDevicePath) ||
                target.find(sysDevicePath + "/") != std::string::npos)
                RemoveFile(it->path().string());
        }
    }
}

void CUsbTestbed::AddTerminal(const std::string& name)
{
    const std::string path = "/devices/virtual/tty/" + name;
    Add(m_pBed, "P: " + path + "\nN: " + name + "\nE: DEVNAME=/dev/" + name +
                    "\nE: SUBSYSTEM=tty\n\n");
    umockdev_testbed_uevent(m_pBed, ("/sys" + path).c_str(), "add");
}
