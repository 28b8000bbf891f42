// The text of a saved support log: what the program is and what it found on this machine,
// followed by the current session's log.
#pragma once

#include "device/SessionFacts.h"

#include <string>

struct SupportFacts {
    SessionFacts session;                // version, ports found, the D2XX library
    std::string strSettingsFile;
    std::string strServiceUrl;
    std::string strLogFile;              // where the session is also appended; may be empty
};

std::string ComposeSupportReport(const SupportFacts& facts, const std::string& sessionText);
