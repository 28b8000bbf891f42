#include "link/PortFacts.h"

#include "link/PortDescription.h"
#include "link/PortUsers.h"
#include "link/UsbSysfs.h"

#include <unistd.h>

#include <cerrno>

PortFacts GatherPortFacts(const std::string& name, const std::string& devicePath,
                          const SystemRoots& roots)
{
    PortFacts facts;
    facts.name = name;
    facts.lastingName = StablePortIdentity(name, roots);
    facts.description = DescribePort(name, roots);
    UsbDeviceFacts usb;
    if (UsbDeviceOfTty(roots.sys, name, &usb)) {
        facts.vendorId = usb.vendorId;
        facts.productId = usb.productId;
        facts.serial = usb.serial;
    }
    for (const PortUser& user : FindPortUsers(devicePath, roots))
        facts.users.push_back(user.name);
    const std::string node = roots.DevicePathInTree(devicePath);
    facts.bPermitted =
        !(access(node.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM));
    return facts;
}
