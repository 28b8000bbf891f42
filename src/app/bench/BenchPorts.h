// Which ports are channels of the service bench: every Tetherix seen as a serial port, ports a
// simulator names (KX_EXTRA_COM_PORTS), and the USB cable when FTDI's D2XX library is there.
#pragma once

#include <string>
#include <utility>
#include <vector>

// A port as the bench shows it: "ttyUSB0" for "/dev/ttyUSB0"; other names as they are.
std::string BenchPortName(const std::string& name);
// The serial ports that are bench channels now, in name order.
std::vector<std::string> FindBenchPorts();
// A newly plugged port is a channel.
bool IsBenchPort(const std::string& ttyName);
// FTDI's D2XX library can be loaded: the USB cable is a channel.
bool IsD2xxLibraryThere();
// What a port is, for the Add Port… list ("ttyUSB0 – FTDI TTL-232R (A10K3B2C)").
std::vector<std::pair<std::string, std::string>> ListAllPorts();
