// Lists the machine's serial ports from the kernel's device tree (sysfs class "tty"),
// without opening any, and hands each to a callback. A port's name is its device node's
// name ("ttyUSB0"), opened as "/dev/" followed by the name.
#pragma once

#include <string>

// One port as handed to the callback; valid during the callback only.
struct ComPortInfo {
    std::string portName;     // device node name, such as "ttyUSB0"
    std::string friendlyName; // USB product or interface string, else the port name
    std::string enumerator;   // the bus the port sits on: "usb", "pnp", "platform"...
};

// Returns true to go on, false to stop the enumeration (stopping is not an error).
using ComPortCallback = bool (*)(void* context, const ComPortInfo& info);

// Calls `callback` once per port, in name order (ttyS2 before ttyS10); ports whose names are
// listed in the environment variable KX_EXTRA_COM_PORTS (separated by ':', such as a
// simulator's "pts/3") follow. True on success, also without ports or when the callback
// stopped; false with the reason in *pError, when given (EINVAL when no callback is given,
// else the errno of the failed read).
bool EnumerateComPorts(ComPortCallback callback, void* context, int* pError = nullptr);

// Whether the enumeration would list the port now: a newly plugged tty is offered only when it
// passes the same test (a port with a device behind it, or one named in KX_EXTRA_COM_PORTS).
bool IsListedComPort(const std::string& portName);

// The sysfs root the enumeration reads ("/sys" unless changed); tests point it at a tree of
// their own. Not to be changed while an enumeration runs.
void SetComPortSysfsRoot(const std::string& root);
std::string ComPortSysfsRoot();
