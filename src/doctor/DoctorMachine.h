// What the computer check looks at: the system's trees (tests point them at fake ones), the
// user it runs as and the login it runs in, and the program's own choices of library,
// settings file, log and service.
#pragma once

#include "link/PortDiagnosis.h"
#include "link/SystemRoots.h"

#include <string>
#include <sys/types.h>

// Names a folder under which the check reads proc, sys, dev, etc, run, var, usr and lib
// instead of the real ones: for tests, and for looking at a copy of another computer's trees.
inline constexpr const char* DOCTOR_ROOT_VARIABLE = "KX_DOCTOR_ROOT";

// The login session the check runs in, as systemd-logind records it under run/systemd.
struct DoctorSession {
    std::string id;   // $XDG_SESSION_ID; empty when the process has none
    std::string seat; // "seat0"; empty for a login without a seat (ssh, a service)
    std::string type; // "x11", "wayland", "tty"
    bool bRemote = false;
    bool bActive = false;
};

// A user whose access is checked: the one running the check, or the desktop user when the
// check runs as root.
struct DoctorUser {
    std::string name;
    uid_t uid = 0;
    std::vector<gid_t> groups; // those the login carries (or, for another user, may carry)
    bool bThisLogin = true;    // false: the desktop user seen from root's run
};

struct DoctorMachine {
    SystemRoots roots;
    std::string lib = "/lib"; // lib/udev/rules.d of a system without a merged /usr
    LoginIdentity login;
    uid_t uid = 0;
    DoctorSession session;
    std::string sudoUser;    // $SUDO_USER: who ran the check through sudo
    std::string confinement; // "snap kestova", "flatpak com.kestova.Downloader"; empty: none
    std::string installPrefix = "/usr"; // where the program's package put its files
    std::string d2xxLibrary;            // name or path, as the USB link loads it
    std::string settingsPath;           // empty: none can be named (no home folder)
    std::string logPath;                // the support log; empty: none
    std::string serviceUrl;             // the firmware service as set; empty: none

    // This process's user, login and trees (under KX_DOCTOR_ROOT when set), FTDI's library as
    // the USB link would load it; the files and the service are the caller's to fill in.
    static DoctorMachine Current();
    // A path under the trees as the user knows it ("/usr/lib/udev/..." for the tree's usr).
    std::string Shown(const std::string& path) const;
};

// The settings file that a program in `programDir` uses (see SettingsLocation.h), and the
// firmware service it names: `overrideUrl` when given, else the file's, else `builtInUrl`.
struct DoctorSettings {
    std::string path;
    std::string serviceUrl;
};
DoctorSettings FindDoctorSettings(const std::string& programDir, const std::string& installPrefix,
                                  const std::string& builtInUrl, const std::string& overrideUrl);

// The port saved in the settings file ("USB", "/dev/ttyUSB0"); empty when none.
std::string SavedDoctorPort(const std::string& settingsPath);

// The user the desktop belongs to when the check runs as root: $SUDO_USER's, else the user
// active at seat0; the reason in `why` when none is known.
bool FindDesktopUser(const DoctorMachine& machine, DoctorUser* pUser, std::string* pWhy);

// The user running the check, as its login sees itself.
DoctorUser ThisDoctorUser(const DoctorMachine& machine);
