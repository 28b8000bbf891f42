// The downloader's string table: the message texts with their fixed resource ids 101-118.
#pragma once

#include <string>

constexpr int IDS_ABOUTBOX = 101;          // system menu item "&About Bootloader"
constexpr int IDS_UNPLUG_PROMPT = 102;     // Detect, first prompt
constexpr int IDS_PLUG_IN_PROMPT = 103;    // Detect, second prompt
constexpr int IDS_NOT_DETECTED = 104;      // Detect found no cable
constexpr int IDS_FOUND_CABLE_ON = 105;    // Detect found the cable, first part
constexpr int IDS_UNABLE_TO_OPEN = 106;    // a port failed to open
constexpr int IDS_PLUG_INTO_DEVICE = 108;  // Detect found the cable, last part
constexpr int IDS_TRYING_TO_CONNECT = 109; // base text of the activity line
constexpr int IDS_UNEXPECTED_EOF = 112;    // Send with no data lines
constexpr int IDS_OS_NOT_SUPPORTED = 115;  // start-up check
constexpr int IDS_ECHO_PASSED = 117;       // echo test passed
constexpr int IDS_ECHO_FAILED = 118;       // echo test failed

// The text of string `nId`; an empty string for an id the table does not hold.
std::string LoadString(int nId);
