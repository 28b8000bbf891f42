// What the bench's user chose for every channel: the image (a file, or each unit's own from the
// firmware service) and when units start.
#pragma once

#include <string>

struct BenchPolicy {
    std::string strFile;       // the programming file; empty unless chosen
    bool bFromWeb = false;     // each unit's image comes from the firmware service
    std::string strService;    // the service's base address
    bool bAutoStart = false;   // "Start each unit when it is identified"
    bool bAlsoCurrent = false; // "Also update units that are current"

    bool HasImage() const { return bFromWeb || !strFile.empty(); }
};
