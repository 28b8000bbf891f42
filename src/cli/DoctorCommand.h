// kestova-flash --doctor: the computer check printed for a person, or with --json one object
// per check; the exit status says whether any check failed.
#pragma once

#include "cli/FlashOptions.h"
#include "doctor/DoctorCheck.h"

#include <cstdio>
#include <string>

// {"check":"latency","subject":"ttyUSB0","status":"warn","text":"...","fix":"..."}; subject and
// fix are null when empty.
std::string DoctorCheckJson(const DoctorCheck& check);

// Runs every check (the service's request on the running Qt Core event loop) and prints them
// to `out`; EXIT_VERIFIED when none failed, else EXIT_DOCTOR_FAILED.
int RunDoctorCommand(const FlashOptions& options, std::FILE* out);
