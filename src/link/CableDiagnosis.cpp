#include "link/CableDiagnosis.h"

#include "link/UsbSysfs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {
const char* const SERIAL_DRIVER = "ftdi_sio";
constexpr int USB_NUMBER_DIGITS = 3;

std::string CableName(const UsbDeviceFacts& device)
{
    const std::string product = device.product.empty() ? device.productId : device.product;
    return "FTDI " + product;
}
} // namespace

// dev/bus/usb/<bus>/<device>, three digits each.
std::string UsbDeviceNodePath(const UsbDeviceFacts& device, const SystemRoots& roots)
{
    const int bus = std::atoi(ReadFirstLine(device.path + "/busnum").c_str());
    const int number = std::atoi(ReadFirstLine(device.path + "/devnum").c_str());
    if (bus <= 0 || number <= 0)
        return {};
    char relative[32];
    std::snprintf(relative, sizeof relative, "bus/usb/%0*d/%0*d", USB_NUMBER_DIGITS, bus,
                  USB_NUMBER_DIGITS, number);
    return roots.dev + "/" + relative;
}

std::string ExplainD2xxLoadFailure(const std::string& libraryName, const std::string& loaderError,
                                   const SystemRoots& roots)
{
    std::string text = "FTDI's D2XX library " + libraryName + " could not be loaded";
    text += loaderError.empty() ? "." : " (" + loaderError + ").";
    text += " Install it, or name it with " + std::string(D2XX_LIBRARY_VARIABLE) +
            "=/path/to/libftd2xx.so, or add its folder to LD_LIBRARY_PATH.";
    // The kernel's driver gives the cable a serial port, which works without the library.
    std::string serialTty;
    for (const FtdiCable& cable : FindFtdiCables(roots.sys)) {
        if (cable.ttyName.empty())
            continue;
        if (IsTetherix(cable.device))
            return text + " The Tetherix is there as " + cable.ttyName +
                   " through the kernel's serial driver: pick " + cable.ttyName +
                   " in the port list.";
        if (serialTty.empty())
            serialTty = cable.ttyName;
    }
    if (!serialTty.empty())
        text += " An FTDI cable is there as " + serialTty +
                " through the kernel's serial driver: if it is the Tetherix, pick " + serialTty +
                " in the port list.";
    return text;
}

std::string ExplainD2xxOpenFailure(const SystemRoots& roots)
{
    std::vector<FtdiCable> cables = FindFtdiCables(roots.sys);
    // The cable that describes itself as the Tetherix is the one FTDI's library looked for.
    std::stable_partition(cables.begin(), cables.end(),
                          [](const FtdiCable& cable) { return IsTetherix(cable.device); });
    if (cables.empty())
        return "No FTDI USB device is plugged in: plug the Tetherix in.";
    for (const FtdiCable& cable : cables) {
        if (cable.heldByDriver != SERIAL_DRIVER)
            continue;
        if (cable.ttyName.empty())
            return "The Tetherix is held by the kernel's ftdi_sio driver: unload ftdi_sio (sudo "
                   "rmmod ftdi_sio) to use FTDI's library.";
        return "The Tetherix is held by the kernel's ftdi_sio driver as " + cable.ttyName +
               ": choose " + cable.ttyName +
               ", or unload ftdi_sio (sudo rmmod ftdi_sio) to use FTDI's library.";
    }
    const UsbDeviceFacts& device = cables.front().device;
    const std::string node = UsbDeviceNodePath(device, roots);
    if (!node.empty() && access(node.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
        return "Your user may not use the " + CableName(device) + " at " + node +
               ". Install the Tetherix udev rule, then plug the cable in again.";
    return "The " + CableName(device) +
           " is plugged in but FTDI's library could not open it; close any other program "
           "that uses it and try again.";
}
