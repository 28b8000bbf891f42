// The text of a saved support log: what the program is and what it found on this machine,
// followed by the current session's log.
#pragma once

#include <string>
#include <vector>

struct SupportFacts {
    std::string strVersion;              // "kestova-downloader 1.0"
    std::vector<std::string> ports;      // the serial ports found, one description each
    std::string strD2xxLibrary;          // the D2XX library's name
    bool bD2xxFound = false;
    std::string strSettingsFile;
    std::string strServiceUrl;
    std::string strLogFile;              // where the session is also appended; may be empty
};

std::string ComposeSupportReport(const SupportFacts& facts, const std::string& sessionText);
