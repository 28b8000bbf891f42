#include "app/bench/BenchPorts.h"

#include "link/ComPortEnum.h"
#include "link/D2xxLibrary.h"
#include "link/PortDescription.h"
#include "link/UsbCableLink.h"
#include "link/UsbSysfs.h"

#include <cstdlib>
#include <sstream>

namespace {
bool IsNamedBySimulator(const std::string& name)
{
    const char* extra = std::getenv("KX_EXTRA_COM_PORTS");
    if (extra == nullptr)
        return false;
    std::istringstream list(extra);
    std::string entry;
    while (std::getline(list, entry, ':')) {
        if (entry == name)
            return true;
    }
    return false;
}

bool CollectPort(void* context, const ComPortInfo& info)
{
    static_cast<std::vector<ComPortInfo>*>(context)->push_back(info);
    return true;
}

std::vector<ComPortInfo> AllPorts()
{
    std::vector<ComPortInfo> ports;
    EnumerateComPorts(&CollectPort, &ports);
    return ports;
}
} // namespace

std::string BenchPortName(const std::string& name)
{
    const std::string prefix = "/dev/";
    return name.rfind(prefix, 0) == 0 ? name.substr(prefix.size()) : name;
}

bool IsBenchPort(const std::string& ttyName)
{
    return IsTetherixTty(ComPortSysfsRoot(), ttyName) || IsNamedBySimulator(ttyName);
}

std::vector<std::string> FindBenchPorts()
{
    std::vector<std::string> names;
    for (const ComPortInfo& info : AllPorts()) {
        if (IsBenchPort(info.portName))
            names.push_back(info.portName);
    }
    return names;
}

bool IsD2xxLibraryThere()
{
    CD2xxLibrary library;
    return !library.Load(CUsbCableLink::DriverLibraryName()).Failed();
}

std::vector<std::pair<std::string, std::string>> ListAllPorts()
{
    std::vector<std::pair<std::string, std::string>> ports;
    SystemRoots roots;
    roots.sys = ComPortSysfsRoot();
    for (const ComPortInfo& info : AllPorts())
        ports.emplace_back(info.portName, DescribePort(info.portName, roots));
    return ports;
}
