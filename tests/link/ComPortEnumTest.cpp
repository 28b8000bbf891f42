// The port enumeration over a fake device tree built in a temporary directory.
#include "link/ComPortEnum.h"
#include <cerrno>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {
bool CollectAll(void* context, const ComPortInfo& info)
{
    static_cast<std::vector<ComPortInfo>*>(context)->push_back(info);
    return true;
}

bool StopAtFirst(void* context, const ComPortInfo& info)
{
    static_cast<std::vector<ComPortInfo>*>(context)->push_back(info);
    return false;
}

std::vector<std::string> Names(const std::vector<ComPortInfo>& ports)
{
    std::vector<std::string> names;
    for (const ComPortInfo& port : ports)
        names.push_back(port.portName);
    return names;
}

// A sysfs-like tree: class/tty entries whose "device" links point into devices/, each
// device linked to its bus under bus/.
class ComPortEnumTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = fs::path(testing::TempDir()) / ("sysfs-" + std::to_string(getpid()));
        fs::remove_all(m_root);
        m_savedRoot = ComPortSysfsRoot();
        SetComPortSysfsRoot(m_root.string());
        unsetenv("KX_EXTRA_COM_PORTS");
    }
    void TearDown() override
    {
        SetComPortSysfsRoot(m_savedRoot);
        unsetenv("KX_EXTRA_COM_PORTS");
        fs::remove_all(m_root);
    }

    fs::path Device(const std::string& relative, const std::string& bus)
    {
        const fs::path dir = m_root / "devices" / relative;
        fs::create_directories(dir);
        fs::create_directories(m_root / "bus" / bus);
        fs::create_directory_symlink(m_root / "bus" / bus, dir / "subsystem");
        return dir;
    }
    void Attribute(const fs::path& dir, const std::string& name, const std::string& value)
    {
        std::ofstream(dir / name) << value << "\n";
    }
    fs::path Tty(const std::string& name, const fs::path& device = {})
    {
        const fs::path entry = m_root / "class" / "tty" / name;
        fs::create_directories(entry);
        if (!device.empty())
            fs::create_directory_symlink(device, entry / "device");
        return entry;
    }
    std::vector<ComPortInfo> Enumerate()
    {
        std::vector<ComPortInfo> ports;
        EXPECT_TRUE(EnumerateComPorts(&CollectAll, &ports));
        return ports;
    }

    // The usual mix: a USB adapter, an ACM modem, a real and an unused UART, consoles.
    void BuildTypicalTree()
    {
        const fs::path usbDevice = Device("pci0/usb1/1-1", "usb");
        Attribute(usbDevice, "product", "Tetherix");
        Device("pci0/usb1/1-1/1-1:1.0", "usb");
        Tty("ttyUSB0", Device("pci0/usb1/1-1/1-1:1.0/ttyUSB0", "usb-serial"));
        const fs::path acm = Device("pci0/usb1/1-2/1-2:1.0", "usb");
        Attribute(acm, "interface", "CDC Abstract Control Model");
        Tty("ttyACM0", acm);
        Device("pnp0/00:04", "pnp");
        Device("pnp0/00:04/00:04:0", "serial-base");
        Attribute(Tty("ttyS0", Device("pnp0/00:04/00:04:0/00:04:0.0", "serial-base")), "type", "4");
        Attribute(Tty("ttyS1", Device("platform/serial8250", "platform")), "type", "0");
        Tty("ttyS2");
        Tty("tty0");
        Tty("console");
    }

    fs::path m_root;
    std::string m_savedRoot;
};
} // namespace

TEST_F(ComPortEnumTest, ListsPortsWithHardwareBehindThem)
{
    BuildTypicalTree();
    const std::vector<ComPortInfo> ports = Enumerate();
    ASSERT_EQ(Names(ports), (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0"}));
    EXPECT_EQ(ports[0].friendlyName, "CDC Abstract Control Model");
    EXPECT_EQ(ports[0].enumerator, "usb");
    EXPECT_EQ(ports[1].friendlyName, "ttyS0");
    EXPECT_EQ(ports[1].enumerator, "pnp");
    EXPECT_EQ(ports[2].friendlyName, "Tetherix");
    EXPECT_EQ(ports[2].enumerator, "usb");
}

TEST_F(ComPortEnumTest, OrdersNumbersByValue)
{
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyUSB1"})
        Tty(name, Device(std::string("usb/") + name, "usb-serial"));
    EXPECT_EQ(Names(Enumerate()), (std::vector<std::string>{"ttyUSB1", "ttyUSB2", "ttyUSB10"}));
}

TEST_F(ComPortEnumTest, ACallbackThatAnswersFalseStopsWithoutFailure)
{
    BuildTypicalTree();
    std::vector<ComPortInfo> ports;
    EXPECT_TRUE(EnumerateComPorts(&StopAtFirst, &ports));
    EXPECT_EQ(ports.size(), 1u);
}

TEST_F(ComPortEnumTest, NoCallbackFailsWithInvalidParameter)
{
    int error = 0;
    EXPECT_FALSE(EnumerateComPorts(nullptr, nullptr, &error));
    EXPECT_EQ(error, EINVAL);
}

TEST_F(ComPortEnumTest, AMachineWithoutPortsIsNoFailure)
{
    EXPECT_TRUE(Enumerate().empty()); // not even a class/tty directory
    Tty("tty0");
    EXPECT_TRUE(Enumerate().empty());
}

TEST_F(ComPortEnumTest, ExtraPortsFromTheEnvironmentFollowTheTree)
{
    BuildTypicalTree();
    setenv("KX_EXTRA_COM_PORTS", "pts/7::pts/9", 1);
    const std::vector<ComPortInfo> ports = Enumerate();
    ASSERT_EQ(Names(ports),
              (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0", "pts/7", "pts/9"}));
    EXPECT_EQ(ports[3].friendlyName, "pts/7");
}
