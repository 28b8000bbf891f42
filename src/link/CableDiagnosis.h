// Why the USB cable could not be reached through FTDI's D2XX library, and what the user can
// do about it: one sentence that follows the notice. Pure functions of the loader's answer
// and of the system's trees (which tests replace by fake ones).
#pragma once

#include "link/D2xxLibraryVariable.h"
#include "link/SystemRoots.h"
#include "link/UsbSysfs.h"

#include <string>

// The node FTDI's library opens for a USB device (dev/bus/usb/001/004 under the tree's dev),
// from its busnum and devnum; empty when sysfs does not give them.
std::string UsbDeviceNodePath(const UsbDeviceFacts& device, const SystemRoots& roots = SystemRoots());

// The library `libraryName` could not be loaded; `loaderError` is the loader's own text. Says
// how to point at the library and, when an FTDI cable's serial port exists, to choose it.
std::string ExplainD2xxLoadFailure(const std::string& libraryName, const std::string& loaderError,
                                   const SystemRoots& roots = SystemRoots());

// The library is loaded but did not open the cable: no FTDI device is plugged in, the
// kernel's ftdi_sio driver holds it (named with its serial port), or the user may not use it.
std::string ExplainD2xxOpenFailure(const SystemRoots& roots = SystemRoots());
