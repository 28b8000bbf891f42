#include "link/UsbSysfs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {
// How far above a port's device its USB device is looked for (port, interface, device...).
constexpr int MAX_PARENT_LEVELS = 6;
const char* const TTY_USB_PREFIX = "ttyUSB";

UsbDeviceFacts ReadFacts(const fs::path& device)
{
    UsbDeviceFacts facts;
    facts.path = device.string();
    facts.vendorId = ReadFirstLine((device / "idVendor").string());
    facts.productId = ReadFirstLine((device / "idProduct").string());
    facts.manufacturer = ReadFirstLine((device / "manufacturer").string());
    facts.product = ReadFirstLine((device / "product").string());
    facts.serial = ReadFirstLine((device / "serial").string());
    return facts;
}

bool IsUsbDevice(const fs::path& dir)
{
    std::error_code ec;
    return fs::exists(dir / "idVendor", ec);
}

// The tty a USB interface was made into by its driver ("ttyUSB0"), or empty.
std::string TtyOfInterface(const fs::path& interface)
{
    std::error_code ec;
    for (fs::directory_iterator it(interface, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(TTY_USB_PREFIX, 0) == 0)
            return name;
    }
    return {};
}

// The interfaces of a USB device are its subdirectories named "<device>:<config>.<number>".
std::vector<fs::path> InterfacesOf(const fs::path& device)
{
    std::vector<fs::path> interfaces;
    const std::string prefix = device.filename().string() + ":";
    std::error_code ec;
    for (fs::directory_iterator it(device, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        if (it->path().filename().string().rfind(prefix, 0) == 0)
            interfaces.push_back(it->path());
    }
    std::sort(interfaces.begin(), interfaces.end());
    return interfaces;
}
} // namespace

bool IsTetherix(const UsbDeviceFacts& device)
{
    return device.vendorId == FTDI_VENDOR_ID && device.product == TETHERIX_DESCRIPTION;
}

bool IsTetherixTty(const std::string& sysRoot, const std::string& ttyName)
{
    UsbDeviceFacts facts;
    return UsbDeviceOfTty(sysRoot, ttyName, &facts) && IsTetherix(facts);
}

std::string ReadFirstLine(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    if (!file || !std::getline(file, line))
        return {};
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

bool UsbDeviceOfTty(const std::string& sysRoot, const std::string& ttyName, UsbDeviceFacts* pFacts)
{
    std::error_code ec;
    fs::path device = fs::canonical(fs::path(sysRoot) / "class" / "tty" / ttyName / "device", ec);
    if (ec)
        return false;
    for (int level = 0; level < MAX_PARENT_LEVELS && device.has_relative_path(); ++level) {
        if (IsUsbDevice(device)) {
            *pFacts = ReadFacts(device);
            return true;
        }
        device = device.parent_path();
    }
    return false;
}

std::vector<std::string> UsbTtysOfVendor(const std::string& sysRoot, const std::string& vendorId)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(sysRoot) / "class" / "tty", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        UsbDeviceFacts facts;
        const std::string name = it->path().filename().string();
        if (UsbDeviceOfTty(sysRoot, name, &facts) && facts.vendorId == vendorId)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<FtdiCable> FindFtdiCables(const std::string& sysRoot)
{
    std::vector<FtdiCable> cables;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(sysRoot) / "bus" / "usb" / "devices", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code linkEc;
        const fs::path device = fs::canonical(it->path(), linkEc);
        if (linkEc || !IsUsbDevice(device) ||
            ReadFirstLine((device / "idVendor").string()) != FTDI_VENDOR_ID)
            continue;
        FtdiCable cable;
        cable.device = ReadFacts(device);
        for (const fs::path& interface : InterfacesOf(device)) {
            const fs::path driver = fs::read_symlink(interface / "driver", linkEc);
            if (cable.heldByDriver.empty() && !linkEc)
                cable.heldByDriver = driver.filename().string();
            if (cable.ttyName.empty())
                cable.ttyName = TtyOfInterface(interface);
        }
        cables.push_back(std::move(cable));
    }
    std::sort(cables.begin(), cables.end(), [](const FtdiCable& a, const FtdiCable& b) {
        return a.device.path < b.device.path;
    });
    return cables;
}
