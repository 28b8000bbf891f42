// What a session of the downloader starts its support log with, the same for the window and the
// command line: the program and its version, the serial ports found, and whether FTDI's D2XX
// library can be loaded.
#pragma once

#include <string>
#include <vector>

class CSupportLog;

struct SessionFacts {
    std::string strVersion;         // "kestova-flash 1.0"
    std::vector<std::string> ports; // "ttyUSB0 (TTL-232R, usb)", one a port
    std::string strD2xxLibrary;     // the D2XX library's name or path
    bool bD2xxFound = false;
};

// Looks at the machine now: enumerates the serial ports and tries the D2XX library.
SessionFacts GatherSessionFacts(const std::string& version);

// "Ports found: ttyS0, ttyUSB0 (TTL-232R, usb)", or "Ports found: none".
std::string PortsFoundText(const std::vector<std::string>& ports);
// "D2XX library libftd2xx.so: found" (or "not found").
std::string D2xxLibraryText(const SessionFacts& facts);

// The session's first entries: "session started: <version> (pid <n>)", the ports, the library.
void WriteSessionHeader(CSupportLog& log, const SessionFacts& facts);
