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
    // The tty's own name behind a lasting name (/dev/serial/by-id/... -> ../../ttyUSB0), found
    // link by link: realpath(), which fs::canonical calls, is not safe in every test bed.
    fs::path path(device);
    for (int hops = 0; hops < 8; ++hops) {
        std::error_code error;
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    const std::string tty = path.filename().string();
    const std::string timer =
        ReadFirstLine(sysRoot + "/bus/usb-serial/devices/" + tty + "/latency_timer");
    if (!timer.empty())
        text += "; latency_timer " + timer + " ms";
    return text;
}
