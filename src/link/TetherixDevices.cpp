#include "link/TetherixDevices.h"

#include "link/UsbSysfs.h"

#include <algorithm>
#include <filesystem>

namespace {
bool Contains(const std::vector<std::string>& names, const std::string& name)
{
    return !name.empty() && std::find(names.begin(), names.end(), name) != names.end();
}
} // namespace

TetherixDevices FindTetherixDevices(const std::string& sysRoot)
{
    TetherixDevices found;
    for (const FtdiCable& cable : FindFtdiCables(sysRoot)) {
        if (!IsTetherix(cable.device))
            continue;
        found.sysNames.push_back(std::filesystem::path(cable.device.path).filename().string());
        if (!cable.device.serial.empty())
            found.serials.push_back(cable.device.serial);
    }
    return found;
}

bool IsTetherixDevice(const UsbPlugFacts& device, const TetherixDevices& known)
{
    if (Contains(known.sysNames, device.sysName) || Contains(known.serials, device.serial))
        return true;
    UsbDeviceFacts facts;
    facts.vendorId = device.vendorId;
    facts.product = device.product;
    return IsTetherix(facts);
}

bool MayBeTetherixDevice(const UsbPlugFacts& device, const TetherixDevices& known)
{
    if (IsTetherixDevice(device, known))
        return true;
    return device.vendorId == FTDI_VENDOR_ID && device.serial.empty() && device.product.empty();
}
