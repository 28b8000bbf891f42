#include "FakeSystemTree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
void Write(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
}

void Link(const fs::path& target, const fs::path& link)
{
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(target, link);
}
} // namespace

FakeSystemTree::FakeSystemTree()
    : m_root(fs::path(testing::TempDir()) / ("kx-tree-" + std::to_string(getpid())))
{
    fs::remove_all(m_root);
    for (const char* top : {"proc", "sys", "dev", "etc", "run/lock", "var/lock"})
        fs::create_directories(m_root / top);
}

FakeSystemTree::~FakeSystemTree() { fs::remove_all(m_root); }

SystemRoots FakeSystemTree::Roots() const
{
    return {(m_root / "proc").string(), (m_root / "sys").string(), (m_root / "dev").string(),
            (m_root / "etc").string(),  (m_root / "run").string(), (m_root / "var").string(),
            (m_root / "usr").string()};
}

void FakeSystemTree::AddUsbSerial(const FakeUsbSerial& d)
{
    const fs::path sys = m_root / "sys";
    const fs::path device = sys / "devices/pci0000:00/usb1" / d.usbName;
    Write(device / "idVendor", d.vendorId);
    Write(device / "idProduct", d.productId);
    Write(device / "manufacturer", d.manufacturer);
    Write(device / "product", d.product);
    Write(device / "serial", d.serial);
    Write(device / "busnum", "1");
    const int devnum = m_nextDevnum++;
    Write(device / "devnum", std::to_string(devnum));
    Write(device / "dev", "189:" + std::to_string(devnum - 1));
    const fs::path interface = device / (d.usbName + ":1.0");
    fs::create_directories(interface);
    if (!d.driver.empty())
        Link(sys / "bus/usb/drivers" / d.driver, interface / "driver");
    Link(device, sys / "bus/usb/devices" / d.usbName);
    Link(interface, sys / "bus/usb/devices" / (d.usbName + ":1.0"));
    if (d.ttyName.empty())
        return;
    const fs::path port = interface / d.ttyName;
    fs::create_directories(port / "tty" / d.ttyName);
    Link(port, port / "tty" / d.ttyName / "device");
    Link(port / "tty" / d.ttyName, sys / "class/tty" / d.ttyName);
    Write(port / "tty" / d.ttyName / "dev", "188:" + std::to_string(devnum - 1));
    if (!d.latencyMs.empty())
        Write(sys / "bus/usb-serial/devices" / d.ttyName / "latency_timer", d.latencyMs);
}

void FakeSystemTree::AddPlatformTty(const std::string& ttyName)
{
    const fs::path sys = m_root / "sys";
    const fs::path port = sys / "devices/platform/serial8250" / ttyName;
    fs::create_directories(port / "tty" / ttyName);
    Link(port, port / "tty" / ttyName / "device");
    Link(port / "tty" / ttyName, sys / "class/tty" / ttyName);
}

void FakeSystemTree::AddByIdLink(const std::string& name, const std::string& ttyName)
{
    const fs::path link = m_root / "dev/serial/by-id" / name;
    fs::create_directories(link.parent_path());
    fs::create_symlink(fs::path("../..") / ttyName, link);
}

void FakeSystemTree::AddNode(const std::string& relative, mode_t mode, gid_t gid)
{
    const fs::path node = m_root / "dev" / relative;
    Write(node, "");
    ASSERT_EQ(0, chown(node.c_str(), getuid(), gid));
    ASSERT_EQ(0, chmod(node.c_str(), mode));
}

void FakeSystemTree::AddProcess(pid_t pid, const std::string& comm,
                                const std::vector<std::string>& openFiles)
{
    const fs::path process = m_root / "proc" / std::to_string(pid);
    Write(process / "comm", comm);
    fs::create_directories(process / "fd");
    for (std::size_t fd = 0; fd < openFiles.size(); ++fd)
        fs::create_symlink(openFiles[fd], process / "fd" / std::to_string(fd));
}

void FakeSystemTree::WriteGroups(const std::string& text) { Write(m_root / "etc/group", text); }

void FakeSystemTree::ClearDevices()
{
    fs::remove_all(m_root / "sys");
    fs::remove_all(m_root / "dev");
    fs::create_directories(m_root / "sys");
    fs::create_directories(m_root / "dev");
}

void FakeSystemTree::AddUdevRecord(const std::string& deviceName, const std::string& content)
{
    const fs::path sys = m_root / "sys";
    std::error_code error;
    fs::path dev = sys / "class/tty" / deviceName / "dev";
    if (!fs::exists(dev, error))
        dev = sys / "bus/usb/devices" / deviceName / "dev";
    std::ifstream file(dev);
    std::string number;
    std::getline(file, number);
    ASSERT_FALSE(number.empty()) << "no device " << deviceName;
    AddFile("run/udev/data/c" + number, content);
}

void FakeSystemTree::AddFile(const std::string& relative, const std::string& content)
{
    AddLockFile(relative, content);
}

void FakeSystemTree::AddLockFile(const std::string& relative, const std::string& content)
{
    const fs::path path = m_root / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}
