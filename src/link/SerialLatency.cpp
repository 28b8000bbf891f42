#include "link/SerialLatency.h"

#include "link/UsbSysfs.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string DescribeSerialLatency(const std::string& device, int lowLatencyResult,
                                  const std::string& sysRoot)
{
    std::string text =
        lowLatencyResult == 0
            ? std::string("low latency set")
            : "low latency refused (" + std::string(std::strerror(lowLatencyResult)) + ")";
    std::error_code error;
    const fs::path real = fs::canonical(device, error);
    const std::string tty = (error ? fs::path(device) : real).filename().string();
    const std::string timer =
        ReadFirstLine(sysRoot + "/bus/usb-serial/devices/" + tty + "/latency_timer");
    if (!timer.empty())
        text += "; latency_timer " + timer + " ms";
    return text;
}
