#include "link/ComPortEnum.h"

#include <cerrno>

#include "link/UsbSysfs.h"


#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {
const char* const DEFAULT_SYSFS_ROOT = "/sys";
const char* const EXTRA_PORTS_VARIABLE = "KX_EXTRA_COM_PORTS";
constexpr char EXTRA_PORTS_SEPARATOR = ':';
// How far above a port's device the bus and the product strings are looked for.
constexpr int MAX_PARENT_LEVELS = 6;
// A UART slot without hardware behind it reports this port type.
const char* const UNKNOWN_PORT_TYPE = "0";

std::string& SysfsRoot()
{
    static std::string s_root = DEFAULT_SYSFS_ROOT;
    return s_root;
}

// First line of a sysfs attribute, without trailing blanks; empty when absent.
std::string ReadAttribute(const fs::path& path)
{
    return ReadFirstLine(path.string());
}

// Layers of the serial core that sit between a port and the bus it is found on.
bool IsSerialLayer(const std::string& subsystem)
{
    return subsystem == "usb-serial" || subsystem == "serial-base";
}

std::string BusOf(fs::path device)
{
    for (int level = 0; level < MAX_PARENT_LEVELS && device.has_relative_path(); ++level) {
        std::error_code ec;
        const fs::path subsystem = fs::canonical(device / "subsystem", ec);
        if (!ec && !IsSerialLayer(subsystem.filename().string()))
            return subsystem.filename().string();
        device = device.parent_path();
    }
    return {};
}

std::string NearestAttribute(fs::path device, const char* name)
{
    for (int level = 0; level < MAX_PARENT_LEVELS && device.has_relative_path(); ++level) {
        const std::string value = ReadAttribute(device / name);
        if (!value.empty())
            return value;
        device = device.parent_path();
    }
    return {};
}

// Fills `info` for a tty class entry; false for a terminal with no port behind it.
bool DescribePort(const fs::path& ttyEntry, ComPortInfo* pInfo)
{
    std::error_code ec;
    const fs::path device = fs::canonical(ttyEntry / "device", ec);
    if (ec)
        return false; // virtual terminals, consoles, pseudo-terminals
    if (ReadAttribute(ttyEntry / "type") == UNKNOWN_PORT_TYPE)
        return false; // an unused UART slot
    pInfo->portName = ttyEntry.filename().string();
    pInfo->enumerator = BusOf(device);
    pInfo->friendlyName = NearestAttribute(device, "product");
    if (pInfo->friendlyName.empty())
        pInfo->friendlyName = NearestAttribute(device, "interface");
    if (pInfo->friendlyName.empty())
        pInfo->friendlyName = pInfo->portName;
    return true;
}

// Orders "ttyS2" before "ttyS10": by the text before the trailing number, then the number.
bool PortNameLess(const ComPortInfo& a, const ComPortInfo& b)
{
    auto split = [](const std::string& name) {
        std::size_t digits = name.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
            --digits;
        const std::string number = name.substr(digits);
        return std::make_tuple(name.substr(0, digits), number.size(), number);
    };
    return split(a.portName) < split(b.portName);
}

int CollectTreePorts(std::vector<ComPortInfo>* pPorts)
{
    std::error_code ec;
    fs::directory_iterator entry(fs::path(SysfsRoot()) / "class" / "tty", ec);
    if (ec)
        return ec == std::errc::no_such_file_or_directory ? 0 : ec.value();
    for (; entry != fs::directory_iterator(); entry.increment(ec)) {
        ComPortInfo info;
        if (DescribePort(entry->path(), &info))
            pPorts->push_back(std::move(info));
    }
    if (ec)
        return ec.value();
    std::sort(pPorts->begin(), pPorts->end(), PortNameLess);
    return 0;
}

void CollectExtraPorts(std::vector<ComPortInfo>* pPorts)
{
    const char* list = std::getenv(EXTRA_PORTS_VARIABLE);
    const std::string names = list ? list : "";
    std::size_t start = 0;
    while (start < names.size()) {
        std::size_t end = names.find(EXTRA_PORTS_SEPARATOR, start);
        if (end == std::string::npos)
            end = names.size();
        const std::string name = names.substr(start, end - start);
        if (!name.empty())
            pPorts->push_back(ComPortInfo{name, name, ""});
        start = end + 1;
    }
}
} // namespace

void SetComPortSysfsRoot(const std::string& root) { SysfsRoot() = root; }

std::string ComPortSysfsRoot() { return SysfsRoot(); }

bool IsListedComPort(const std::string& portName)
{
    ComPortInfo info;
    if (portName.find('/') == std::string::npos &&
        DescribePort(fs::path(SysfsRoot()) / "class" / "tty" / portName, &info))
        return true;
    std::vector<ComPortInfo> extra;
    CollectExtraPorts(&extra);
    return std::any_of(extra.begin(), extra.end(),
                       [&](const ComPortInfo& port) { return port.portName == portName; });
}

bool EnumerateComPorts(ComPortCallback callback, void* context, int* pError)
{
    if (pError != nullptr)
        *pError = 0;
    if (!callback) {
        if (pError != nullptr)
            *pError = EINVAL;
        return false;
    }
    std::vector<ComPortInfo> ports;
    const int code = CollectTreePorts(&ports);
    if (code != 0) {
        if (pError != nullptr)
            *pError = code;
        return false;
    }
    CollectExtraPorts(&ports);
    for (const ComPortInfo& port : ports) {
        if (!callback(context, port))
            break;
    }
    return true;
}
