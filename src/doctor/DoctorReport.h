// The computer check's report as a person reads it: a header (program, system, user, login),
// the checks grouped by family with a mark each, and a summary that starts with the one thing
// to fix first. The command line prints it; the window shows its parts.
#pragma once

#include "doctor/DoctorCheck.h"
#include "doctor/DoctorMachine.h"

#include <string>
#include <utility>
#include <vector>

struct DoctorHeader {
    std::string program; // "kestova-flash 1.0"
    std::string system;  // "Ubuntu 24.04.1 LTS, Linux 6.8.0-45-generic"
    std::string user;    // "alice (uid 1000), run through sudo by alice"
    std::string groups;  // "alice, dialout, plugdev"
    std::string session; // "3 on seat0 (wayland)", "none"

    static DoctorHeader Of(const DoctorMachine& machine, const std::string& program);
    // ("Program", "kestova-flash 1.0"), ("System", …), ("User", …), ("Groups", …), ("Session", …)
    std::vector<std::pair<std::string, std::string>> Lines() const;
};

struct DoctorCounts {
    int pass = 0, info = 0, warn = 0, fail = 0, skipped = 0;
};
DoctorCounts CountDoctorChecks(const std::vector<DoctorCheck>& checks);
// "1 failure, 2 warnings, 9 passed, 1 note, 2 skipped"; parts that are 0 left out.
std::string DoctorCountsText(const DoctorCounts& counts);
// "failed", "warnings" or "ready".
const char* DoctorVerdict(const DoctorCounts& counts);

// The checks in report order: by family, failures first within none (the order they were
// made); `bFailuresFirst` puts every failure, then every warning, ahead of the rest.
std::vector<DoctorCheck> OrderDoctorChecks(const std::vector<DoctorCheck>& checks,
                                           bool bFailuresFirst);

// The check to mend first: the first failure (else warning) by family order, followed to
// the root it follows from; null when nothing is to do.
const DoctorCheck* FirstDoctorFix(const std::vector<DoctorCheck>& checks);

// "Your computer is ready for the Tetherix.", or the counts and the one thing to fix first
// with its steps, one line each.
std::vector<std::string> DoctorSummaryLines(const std::vector<DoctorCheck>& checks);

// A fix's steps as lines: one step as it is, several numbered "1. …".
std::vector<std::string> DoctorFixLines(const std::vector<std::string>& fix);

struct DoctorTextStyle {
    bool bColour = false;  // colour and symbols (a terminal without NO_COLOR)
    bool bQuiet = false;   // only warnings and failures, and the summary
    bool bVerbose = false; // the details behind each verdict
};

// The whole report as text.
std::string FormatDoctorText(const DoctorHeader& header, const std::vector<DoctorCheck>& checks,
                             const DoctorTextStyle& style);
