#include "cli/PortList.h"

#include "cli/UnitReport.h"
#include "device/EngineEvents.h"
#include "device/UpdateEngine.h"
#include "link/PortDescription.h"
#include "link/PortFacts.h"
#include "link/UsbSysfs.h"

namespace {
const char* const USB_DESCRIPTION = "Tetherix cable through the D2XX library";
const std::string DEVICE_PREFIX = "/dev/";

std::string JsonBool(bool b) { return b ? "true" : "false"; }

std::string PortJson(const PortFacts& facts)
{
    std::string users = "[";
    for (const std::string& user : facts.users)
        users += (users.size() > 1 ? "," : "") + JsonString(user);
    users += "]";
    return "{\"name\":" + JsonString(facts.name) +
           ",\"lasting_name\":" + JsonString(facts.lastingName) +
           ",\"description\":" + JsonString(facts.description) +
           ",\"vendor_id\":" + JsonOrNull(facts.vendorId) +
           ",\"product_id\":" + JsonOrNull(facts.productId) +
           ",\"serial_number\":" + JsonOrNull(facts.serial) +
           ",\"in_use\":" + JsonBool(!facts.users.empty()) + ",\"in_use_by\":" + users +
           ",\"permitted\":" + JsonBool(facts.bPermitted) + "}";
}

// The USB entry: the cable is reached through the library, not through a device node. Its ids
// are those of the FTDI device that the kernel's serial driver does not hold, which is the one
// the library can open.
PortFacts UsbCableFacts()
{
    PortFacts facts;
    facts.name = facts.lastingName = CUpdateEngine::USB_PORT_NAME;
    facts.description = USB_DESCRIPTION;
    for (const FtdiCable& cable : FindFtdiCables(SystemRoots().sys)) {
        if (cable.ttyName.empty()) {
            facts.vendorId = cable.device.vendorId;
            facts.productId = cable.device.productId;
            facts.serial = cable.device.serial;
            break;
        }
    }
    return facts;
}
} // namespace

int ListPorts(std::FILE* out, bool bJson)
{
    IEngineEvents events; // nothing the engine says is needed here
    CUpdateEngine engine(events);
    int count = 0;
    if (engine.ProbeUsbCable()) {
        if (bJson)
            std::fprintf(out, "%s\n", PortJson(UsbCableFacts()).c_str());
        else
            std::fprintf(out, "%s\t%s\n", CUpdateEngine::USB_PORT_NAME, USB_DESCRIPTION);
        ++count;
    } else if (!engine.LastDiagnosis().empty()) {
        // The list stays one port a line; why USB is missing goes beside it, for the reader.
        std::fprintf(stderr, "kestova-flash: %s not listed: %s\n", CUpdateEngine::USB_PORT_NAME,
                     engine.LastDiagnosis().c_str());
    }
    for (const std::string& name : engine.ListSerialPorts()) {
        if (bJson)
            std::fprintf(out, "%s\n",
                         PortJson(GatherPortFacts(name, DEVICE_PREFIX + name)).c_str());
        else
            std::fprintf(out, "%s\t%s\n", name.c_str(), DescribePort(name).c_str());
        ++count;
    }
    std::fflush(out);
    if (count == 0)
        std::fputs("kestova-flash: no serial port and no Tetherix cable found\n", stderr);
    return count == 0 ? EXIT_NO_UNIT : EXIT_VERIFIED;
}
