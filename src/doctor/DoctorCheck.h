// One finding of the computer check (kestova-flash --doctor, "Check This Computer…"): a stable
// name, the cable or port it is about, a verdict, what was found, and the step that fixes it.
#pragma once

#include <string>
#include <vector>

enum class EDoctorStatus { Pass, Warn, Fail, Skipped };

struct DoctorCheck {
    std::string name;    // stable: "access.port", "latency", ...
    std::string subject; // the port or USB device it is about ("ttyUSB0", "1-1.2"); may be empty
    EDoctorStatus status = EDoctorStatus::Pass;
    std::string text;    // what was found, in words
    std::string fix;     // the one command or step that fixes it; empty when nothing is to do
};

// "pass", "warn", "fail", "skipped".
const char* DoctorStatusName(EDoctorStatus status);

bool AnyDoctorFailure(const std::vector<DoctorCheck>& checks);

// The report as a person reads it: one block per check and a closing count.
std::string FormatDoctorText(const std::vector<DoctorCheck>& checks);
