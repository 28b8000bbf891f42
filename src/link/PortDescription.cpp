#include "link/PortDescription.h"

#include "link/UsbSysfs.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
const char* const SEPARATOR = " \u2013 ";
const char* const LIKELY_CABLE = "likely Tetherix";
const char* const BY_ID_FOLDER = "serial/by-id";
const char* const BY_ID_BUS_PREFIX = "usb-";

fs::path ByIdFolder(const SystemRoots& roots) { return fs::path(roots.dev) / BY_ID_FOLDER; }

// The tty name a by-id link points to ("../../ttyUSB0" -> "ttyUSB0"); empty when absent.
std::string LinkTarget(const fs::path& link)
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

std::string TtyWithSerial(const std::string& serial, const SystemRoots& roots)
{
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(roots.sys) / "class" / "tty", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        UsbDeviceFacts facts;
        const std::string name = it->path().filename().string();
        if (UsbDeviceOfTty(roots.sys, name, &facts) && facts.serial == serial)
            return name;
    }
    return {};
}
} // namespace

std::string DescribePort(const std::string& ttyName, const SystemRoots& roots)
{
    UsbDeviceFacts facts;
    if (!UsbDeviceOfTty(roots.sys, ttyName, &facts))
        return ttyName;
    std::string what = facts.manufacturer;
    if (!facts.product.empty())
        what += (what.empty() ? "" : " ") + facts.product;
    if (what.empty())
        what = "USB " + facts.vendorId + ":" + facts.productId;
    if (!facts.serial.empty())
        what += " (" + facts.serial + ")";
    std::string text = ttyName + SEPARATOR + what;
    if (facts.vendorId == FTDI_VENDOR_ID)
        text += std::string(SEPARATOR) + LIKELY_CABLE;
    return text;
}

std::string StablePortIdentity(const std::string& ttyName, const SystemRoots& roots)
{
    std::error_code ec;
    for (fs::directory_iterator it(ByIdFolder(roots), ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        if (LinkTarget(it->path()) == ttyName)
            return it->path().filename().string();
    }
    UsbDeviceFacts facts;
    if (UsbDeviceOfTty(roots.sys, ttyName, &facts) && !facts.serial.empty())
        return USB_SERIAL_IDENTITY_PREFIX + facts.serial;
    return ttyName;
}

std::string ResolvePortIdentity(const std::string& identity, const SystemRoots& roots)
{
    const std::string prefix = USB_SERIAL_IDENTITY_PREFIX;
    if (identity.compare(0, prefix.size(), prefix) == 0)
        return TtyWithSerial(identity.substr(prefix.size()), roots);
    if (identity.empty() || identity.find('/') != std::string::npos)
        return identity;
    // by-id names start with the bus ("usb-FTDI_TTL-232R_A10K3B2C-if00-port0"); tty names never do.
    if (identity.rfind(BY_ID_BUS_PREFIX, 0) == 0)
        return LinkTarget(ByIdFolder(roots) / identity);
    return identity;
}
