#include "device/SessionFacts.h"

#include "link/ComPortEnum.h"
#include "link/UsbCableLink.h"
#include "platform/DynamicLibrary.h"
#include "platform/SupportLog.h"

#include <unistd.h>

namespace {

bool AddPortDescription(void* context, const ComPortInfo& info)
{
    auto* ports = static_cast<std::vector<std::string>*>(context);
    std::string text = info.portName;
    if (info.friendlyName != info.portName || !info.enumerator.empty())
        text += " (" + info.friendlyName + ", " + info.enumerator + ")";
    ports->push_back(text);
    return true;
}

bool IsD2xxLibraryFound(const std::string& name)
{
    if (CDynamicLibrary::IsResident(name))
        return true;
    CDynamicLibrary library;
    return library.Load(name);
}

} // namespace

SessionFacts GatherSessionFacts(const std::string& version)
{
    SessionFacts facts;
    facts.strVersion = version;
    if (!facts.strVersion.empty() && facts.strVersion.back() == '\n')
        facts.strVersion.pop_back();
    EnumerateComPorts(&AddPortDescription, &facts.ports);
    facts.strD2xxLibrary = CUsbCableLink::DriverLibraryName();
    facts.bD2xxFound = IsD2xxLibraryFound(facts.strD2xxLibrary);
    return facts;
}

std::string PortsFoundText(const std::vector<std::string>& ports)
{
    std::string text = "Ports found:";
    if (ports.empty())
        text += " none";
    for (std::size_t i = 0; i < ports.size(); ++i)
        text += (i == 0 ? " " : ", ") + ports[i];
    return text;
}

std::string D2xxLibraryText(const SessionFacts& facts)
{
    return "D2XX library " + facts.strD2xxLibrary + ": " +
           (facts.bD2xxFound ? "found" : "not found");
}

void WriteSessionHeader(CSupportLog& log, const SessionFacts& facts)
{
    // Two processes may share one log file: the process id tells their sessions apart.
    log.Status("session started: " + facts.strVersion + " (pid " + std::to_string(getpid()) + ")");
    log.Status(PortsFoundText(facts.ports));
    log.Status(D2xxLibraryText(facts));
}
