// kestova-flash --doctor: the computer check printed for a person, or with --json one object
// per check and a summary; --fix offers the udev rule's fix. The exit status says whether any
// check failed.
#pragma once

#include "cli/FlashOptions.h"
#include "doctor/DoctorCheck.h"
#include "doctor/DoctorReport.h"

#include <cstdio>
#include <string>

// {"check":"latency","subject":"ttyUSB0","group":"Driver","status":"warn","text":"...",
// "fix":"...","steps":[...],"follows_from":null}; subject, fix and follows_from are null when
// empty; fix is the steps as the report prints them.
std::string DoctorCheckJson(const DoctorCheck& check);
// {"summary":{"version":...,"user":...,"counts":{...},"verdict":"failed","fix_first":"udev.rule"}}
std::string DoctorSummaryJson(const DoctorHeader& header, const std::vector<DoctorCheck>& checks);

// Runs every check (the service's request on the running Qt Core event loop) and prints them
// to `out`; EXIT_VERIFIED when none failed, else EXIT_DOCTOR_FAILED.
int RunDoctorCommand(const FlashOptions& options, std::FILE* out);
