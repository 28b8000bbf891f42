#include "doctor/DoctorCables.h"

#include <filesystem>
#include <fstream>

namespace {
std::string BaseName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}
} // namespace

std::string UdevRecord::Property(const std::string& key) const
{
    const auto it = properties.find(key);
    return it == properties.end() ? std::string() : it->second;
}

UdevRecord ReadUdevRecord(const SystemRoots& roots, const std::string& devNumber)
{
    UdevRecord record;
    if (devNumber.empty())
        return record;
    std::ifstream file(roots.run + "/udev/data/c" + devNumber);
    record.bFound = file.is_open();
    for (std::string line; std::getline(file, line);) {
        if (line.size() < 2 || line[1] != ':')
            continue;
        const std::string value = line.substr(2);
        if (line[0] == 'E') {
            const std::size_t equals = value.find('=');
            if (equals != std::string::npos)
                record.properties[value.substr(0, equals)] = value.substr(equals + 1);
        } else if (line[0] == 'G' || line[0] == 'Q') {
            record.tags.insert(value);
        }
    }
    return record;
}

std::vector<DoctorCable> GatherDoctorCables(const SystemRoots& roots)
{
    std::vector<DoctorCable> cables;
    for (const FtdiCable& found : FindFtdiCables(roots.sys)) {
        DoctorCable cable;
        cable.cable = found;
        cable.sysName = BaseName(found.device.path);
        cable.bTetherix = IsTetherix(found.device);
        cable.usbRecord = ReadUdevRecord(roots, ReadFirstLine(found.device.path + "/dev"));
        if (!found.ttyName.empty())
            cable.ttyRecord = ReadUdevRecord(
                roots, ReadFirstLine(roots.sys + "/class/tty/" + found.ttyName + "/dev"));
        cables.push_back(cable);
    }
    return cables;
}

std::string DoctorCableName(const UsbDeviceFacts& device)
{
    std::string name = "FTDI " + (device.product.empty() ? device.productId : device.product);
    if (!device.serial.empty())
        name += " (serial " + device.serial + ")";
    return name;
}
