// Port descriptions and lasting port names on fake trees: a saved cable is found again when
// the kernel renumbers it on re-plug.
#include "FakeSystemTree.h"
#include "link/PortDescription.h"

#include <gtest/gtest.h>

namespace {
const char* const TETHERIX_BY_ID = "usb-FTDI_TTL-232R_A10K3B2C-if00-port0";

FakeUsbSerial Tetherix(const std::string& usbName, const std::string& tty)
{
    return {usbName, tty, "0403", "6001", "FTDI", "TTL-232R", "A10K3B2C", "ftdi_sio"};
}

FakeUsbSerial OtherAdapter(const std::string& usbName, const std::string& tty)
{
    return {usbName, tty, "067b", "2303", "Prolific", "USB-Serial Controller", "PL77", "pl2303"};
}

TEST(PortDescription, PortsSayWhatTheyAre)
{
    FakeSystemTree tree;
    tree.AddUsbSerial(Tetherix("1-1", "ttyUSB0"));
    tree.AddUsbSerial({"1-3", "ttyUSB2", "1a86", "7523", "", "", "", "ch341"});
    tree.AddUsbSerial(OtherAdapter("1-2", "ttyUSB1"));
    tree.AddPlatformTty("ttyS0");

    const std::pair<const char*, const char*> cases[] = {
        {"ttyUSB0", "ttyUSB0 \u2013 FTDI TTL-232R (A10K3B2C) \u2013 likely Tetherix"},
        {"ttyUSB1", "ttyUSB1 \u2013 Prolific USB-Serial Controller (PL77)"},
        {"ttyUSB2", "ttyUSB2 \u2013 USB 1a86:7523"},
        {"ttyS0", "ttyS0"},
        {"pts/3", "pts/3"},
    };
    for (const auto& [name, description] : cases)
        EXPECT_EQ(description, DescribePort(name, tree.Roots())) << name;
}

TEST(PortDescription, SavedCableIsFoundAgainUnderANewNumber)
{
    FakeSystemTree tree;
    tree.AddUsbSerial(Tetherix("1-1", "ttyUSB0"));
    tree.AddByIdLink(TETHERIX_BY_ID, "ttyUSB0");
    tree.AddUsbSerial(OtherAdapter("1-2", "ttyUSB1")); // udev made no by-id link for it
    tree.AddPlatformTty("ttyS0");
    const std::string cable = StablePortIdentity("ttyUSB0", tree.Roots());
    const std::string adapter = StablePortIdentity("ttyUSB1", tree.Roots());
    EXPECT_EQ(TETHERIX_BY_ID, cable);
    EXPECT_EQ("usb-serial:PL77", adapter);
    EXPECT_EQ("ttyS0", StablePortIdentity("ttyS0", tree.Roots()));

    // Both unplugged and plugged back in the other order.
    tree.ClearDevices();
    tree.AddUsbSerial(OtherAdapter("1-2", "ttyUSB0"));
    tree.AddUsbSerial(Tetherix("1-1", "ttyUSB1"));
    tree.AddByIdLink(TETHERIX_BY_ID, "ttyUSB1");
    const std::pair<std::string, std::string> replugged[] = {
        {cable, "ttyUSB1"}, {adapter, "ttyUSB0"},
        // Names from an older settings file stay as they are.
        {"ttyUSB0", "ttyUSB0"}, {"USB", "USB"}, {"pts/3", "pts/3"},
    };
    for (const auto& [identity, tty] : replugged)
        EXPECT_EQ(tty, ResolvePortIdentity(identity, tree.Roots())) << identity;

    tree.ClearDevices();
    EXPECT_EQ("", ResolvePortIdentity(cable, tree.Roots()));
    EXPECT_EQ("", ResolvePortIdentity(adapter, tree.Roots()));
}
} // namespace
