// One finding of the computer check (kestova-flash --doctor, "Check This Computer…"): a stable
// name, the cable or port it is about, a verdict, what was found, and the steps that fix it.
#pragma once

#include <string>
#include <vector>

// Info: worth knowing, nothing to do (FTDI's library missing on a machine that uses the
// serial port). Skipped: nothing to look at (no cable plugged in).
enum class EDoctorStatus { Pass, Info, Warn, Fail, Skipped };

// The families a report is grouped by, in the order they are shown.
enum class EDoctorGroup { Program, Cable, Access, Services, Driver, Files, Service };

struct DoctorCheck {
    std::string name;    // stable: "access.port", "latency", ...
    std::string subject; // the port or USB device it is about ("ttyUSB0", "1-1.2"); may be empty
    EDoctorStatus status = EDoctorStatus::Pass;
    std::string text; // what was found, in words
    // The steps that fix it, in order; empty when nothing is to do. A step is either a shell
    // command, pasteable as it stands (never ending in a full stop), or a sentence for the
    // person (always ending in one).
    std::vector<std::string> fix;
    // The check whose fix mends this one too ("udev.applied"); its own fix is then left out.
    std::string followsFrom{};
    std::string detail{}; // what the verdict rests on, shown with -v
};

// "pass", "info", "warn", "fail", "skipped".
const char* DoctorStatusName(EDoctorStatus status);
// "Cable", "Access", ...
const char* DoctorGroupName(EDoctorGroup group);
// The family a check belongs to, by its name.
EDoctorGroup DoctorGroupOf(const std::string& checkName);

bool AnyDoctorFailure(const std::vector<DoctorCheck>& checks);
// True for a step that is a shell command, false for a sentence.
bool IsDoctorCommand(const std::string& step);
