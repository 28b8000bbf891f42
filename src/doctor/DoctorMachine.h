// What the computer check looks at: the system's trees (tests point them at fake ones), the
// user it runs as, and the program's own choices of library, settings file, log and service.
#pragma once

#include "link/PortDiagnosis.h"
#include "link/SystemRoots.h"

#include <string>
#include <sys/types.h>

// Names a folder under which the check reads proc, sys, dev, etc, run, var and usr instead of
// the real ones: for tests, and for looking at a copy of another computer's trees.
inline constexpr const char* DOCTOR_ROOT_VARIABLE = "KX_DOCTOR_ROOT";

struct DoctorMachine {
    SystemRoots roots;
    LoginIdentity login;
    uid_t uid = 0;
    std::string d2xxLibrary;  // name or path, as the USB link loads it
    std::string settingsPath; // empty: none can be named (no home folder)
    std::string logPath;      // the support log; empty: none
    std::string serviceUrl;   // the firmware service as set; empty: none

    // This process's user and trees (under KX_DOCTOR_ROOT when set), FTDI's library as the USB
    // link would load it; the files and the service are the caller's to fill in.
    static DoctorMachine Current();
};

// The settings file that a program in `programDir` uses (see SettingsLocation.h), and the
// firmware service it names: `overrideUrl` when given, else the file's, else `builtInUrl`.
struct DoctorSettings {
    std::string path;
    std::string serviceUrl;
};
DoctorSettings FindDoctorSettings(const std::string& programDir, const std::string& installPrefix,
                                  const std::string& builtInUrl, const std::string& overrideUrl);
