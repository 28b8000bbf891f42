// Says in the support log how quickly a serial port's driver passes received bytes on: whether
// it took the request for low latency and, for a USB serial port, its latency timer as sysfs
// shows it (/sys/bus/usb-serial/devices/<tty>/latency_timer).
#pragma once

#include <string>

// `device` as opened ("/dev/ttyUSB0" or a link to it such as /dev/serial/by-id/...);
// `lowLatencyResult` as RequestLowLatency gives it (0, or the errno of the driver's refusal).
std::string DescribeSerialLatency(const std::string& device, int lowLatencyResult,
                                  const std::string& sysRoot = "/sys");
