// What a serial port is, in words a user recognises ("ttyUSB0 – FTDI TTL-232R (A10K3B2C) –
// likely Tetherix"), and a name for it that lasts when the kernel renumbers it on re-plug.
#pragma once

#include "link/SystemRoots.h"

#include <string>

// Prefix of an identity made from a USB serial number when no /dev/serial/by-id link exists.
inline constexpr const char* USB_SERIAL_IDENTITY_PREFIX = "usb-serial:";

// "ttyUSB0 – FTDI TTL-232R (A10K3B2C)" from the port's USB device in sysfs, with
// " – likely Tetherix" for FTDI devices; the bare name for ports that are not on USB.
std::string DescribePort(const std::string& ttyName, const SystemRoots& roots = SystemRoots());

// The name to save for a port: the /dev/serial/by-id link that points to its node, else
// "usb-serial:" and its USB serial number, else the tty name itself.
std::string StablePortIdentity(const std::string& ttyName, const SystemRoots& roots = SystemRoots());

// The tty name that a saved identity stands for now ("ttyUSB1" after a re-plug); empty when
// the cable is not plugged in. A plain name without an identity form ("ttyUSB0", "USB",
// "pts/3", from an older settings file) is returned unchanged.
std::string ResolvePortIdentity(const std::string& identity,
                                const SystemRoots& roots = SystemRoots());
