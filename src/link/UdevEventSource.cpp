#include "link/UdevEventSource.h"

#include <libudev.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
// Present while the udev daemon runs; without it only the kernel's events arrive.
const char* const UDEV_CONTROL_PATH = "/run/udev/control";
const char* const USB_DEVICE_TYPE = "usb_device";
constexpr int VENDOR_ID_DIGITS = 4;

const char* OrEmpty(const char* text) { return text ? text : ""; }

// The vendor id from udev's property, else from the kernel's PRODUCT ("403/6001/600").
std::string VendorIdOf(udev_device* pDevice)
{
    const char* udevVendor = udev_device_get_property_value(pDevice, "ID_VENDOR_ID");
    if (udevVendor)
        return udevVendor;
    const char* product = udev_device_get_property_value(pDevice, "PRODUCT");
    if (!product)
        return {};
    char padded[16];
    std::snprintf(padded, sizeof padded, "%0*lx", VENDOR_ID_DIGITS, std::strtoul(product, nullptr, 16));
    return padded;
}

// A USB device's descriptor string: from sysfs while the device is there, else from what udev
// recorded of it (a removed device's sysfs entry is gone); empty when neither says.
std::string DescriptorOf(udev_device* pDevice, bool bRemoved, const char* attribute,
                         const char* property)
{
    const char* value = bRemoved ? nullptr : udev_device_get_sysattr_value(pDevice, attribute);
    if (!value)
        value = udev_device_get_property_value(pDevice, property);
    return OrEmpty(value);
}

void ReadUsbFacts(udev_device* pDevice, Uevent* pEvent)
{
    const bool bRemoved = pEvent->action == "remove";
    pEvent->vendorId = VendorIdOf(pDevice);
    pEvent->serial = DescriptorOf(pDevice, bRemoved, "serial", "ID_SERIAL_SHORT");
    pEvent->product = DescriptorOf(pDevice, bRemoved, "product", "ID_MODEL");
}
} // namespace

CUdevEventSource::CUdevEventSource()
{
    m_pUdev = udev_new();
    if (!m_pUdev)
        return;
    const char* group = access(UDEV_CONTROL_PATH, F_OK) == 0 ? "udev" : "kernel";
    m_pMonitor = udev_monitor_new_from_netlink(m_pUdev, group);
    if (!m_pMonitor)
        return;
    if (udev_monitor_filter_add_match_subsystem_devtype(m_pMonitor, "tty", nullptr) < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(m_pMonitor, "usb", USB_DEVICE_TYPE) < 0 ||
        udev_monitor_enable_receiving(m_pMonitor) < 0) {
        udev_monitor_unref(m_pMonitor);
        m_pMonitor = nullptr;
    }
}

CUdevEventSource::~CUdevEventSource()
{
    if (m_pMonitor)
        udev_monitor_unref(m_pMonitor);
    if (m_pUdev)
        udev_unref(m_pUdev);
}

int CUdevEventSource::Descriptor() const
{
    return m_pMonitor ? udev_monitor_get_fd(m_pMonitor) : -1;
}

bool CUdevEventSource::Next(Uevent* pEvent)
{
    if (!m_pMonitor)
        return false;
    udev_device* pDevice = udev_monitor_receive_device(m_pMonitor);
    if (!pDevice)
        return false;
    pEvent->action = OrEmpty(udev_device_get_action(pDevice));
    pEvent->subsystem = OrEmpty(udev_device_get_subsystem(pDevice));
    pEvent->sysName = OrEmpty(udev_device_get_sysname(pDevice));
    pEvent->vendorId.clear();
    pEvent->serial.clear();
    pEvent->product.clear();
    if (pEvent->subsystem == "usb")
        ReadUsbFacts(pDevice, pEvent);
    udev_device_unref(pDevice);
    return true;
}
