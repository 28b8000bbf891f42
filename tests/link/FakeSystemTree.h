// Fake /proc, /sys, /dev and /etc trees in a temporary directory, laid out as the kernel and
// udev lay out the real ones, for the port description and diagnosis tests.
#pragma once

#include "link/SystemRoots.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

struct FakeUsbSerial {
    std::string usbName;   // "1-1"
    std::string ttyName;   // "ttyUSB0"; empty when no driver made a port of it
    std::string vendorId;  // "0403"
    std::string productId; // "6001"
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::string driver = "ftdi_sio"; // the interface's driver; empty for none
    std::string latencyMs{};         // the port's latency_timer in sysfs; empty for none
};

class FakeSystemTree {
public:
    FakeSystemTree();
    ~FakeSystemTree();
    FakeSystemTree(const FakeSystemTree&) = delete;
    FakeSystemTree& operator=(const FakeSystemTree&) = delete;

    SystemRoots Roots() const;
    std::filesystem::path Root() const { return m_root; }

    // The device gets the next device number on bus 1 (dev/bus/usb/001/004, then 005...), and
    // character device numbers 189:<n> and, for its port, 188:<n>, as udev's records name them.
    void AddUsbSerial(const FakeUsbSerial& device);
    void AddPlatformTty(const std::string& ttyName);
    // A by-id link under dev/serial/by-id, pointing to ../../<ttyName> as udev makes it.
    void AddByIdLink(const std::string& name, const std::string& ttyName);
    // A device node (a plain file) under dev with the given mode and group.
    void AddNode(const std::string& relative, mode_t mode, gid_t gid);
    // A process under proc with its command name and the targets of its open files.
    void AddProcess(pid_t pid, const std::string& comm, const std::vector<std::string>& openFiles);
    void WriteGroups(const std::string& text);
    // A file under the tree's root ("run/lock/LCK..ttyUSB0") with exactly this content.
    void AddLockFile(const std::string& relative, const std::string& content);
    // A file under the tree's root with exactly this content, its folders made.
    void AddFile(const std::string& relative, const std::string& content);
    // udev's record of the device with the given USB name or tty name ("E:ID_MM_DEVICE_IGNORE=1\n
    // G:uaccess\n"), under run/udev/data as udev keeps it.
    void AddUdevRecord(const std::string& deviceName, const std::string& content);
    // Forgets every device (the cables were unplugged).
    void ClearDevices();

private:
    std::filesystem::path m_root;
    int m_nextDevnum = 4;
};
