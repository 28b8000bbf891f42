// The Tetherix udev rule, installed and applied, and the programs that take serial cables:
// ModemManager, brltty's rules, and any program holding a Tetherix port now.
#include "doctor/Doctor.h"

#include "link/PortDiagnosis.h"
#include "link/PortUsers.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {
const char* const RULE_FILE = "70-kestova-tetherix.rules";
const char* const MM_IGNORE = "ID_MM_DEVICE_IGNORE";
const char* const UACCESS_TAG = "uaccess";
const char* const MODEM_MANAGER = "ModemManager";
const char* const BRLTTY = "brltty";
// FTDI's vendor id as rules match it: in an attribute ("0403"), or in the PRODUCT
// property ("403/6001/600") that brltty's rules match.
const char* const FTDI_VENDOR_MATCHES[] = {"\"0403\"", "\"403/"};
const char* const RELOAD_COMMAND =
    "sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=usb "
    "--subsystem-match=tty --subsystem-match=usb-serial";

// Where udev reads rules from: the administrator's folder first, then the packages'.
std::vector<std::string> RulesFolders(const SystemRoots& roots)
{
    return {roots.etc + "/udev/rules.d", roots.usr + "/lib/udev/rules.d"};
}

// The path as the user knows it: under the real root, not the tree a test points at.
std::string Shown(const std::string& path, const std::string& root, const char* real)
{
    return path.rfind(root, 0) == 0 ? real + path.substr(root.size()) : path;
}

std::vector<std::string> RunningProcesses(const SystemRoots& roots, const std::string& comm)
{
    std::vector<std::string> pids;
    std::error_code error;
    for (fs::directory_iterator it(roots.proc, error), end; !error && it != end; it.increment(error)) {
        const std::string pid = it->path().filename().string();
        if (!pid.empty() && std::all_of(pid.begin(), pid.end(), ::isdigit) &&
            ReadFirstLine(it->path().string() + "/comm") == comm)
            pids.push_back(pid);
    }
    return pids;
}

// Rule lines of a file that match FTDI's vendor id (comments left out).
bool RulesClaimFtdi(const std::string& path)
{
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        for (const char* match : FTDI_VENDOR_MATCHES) {
            if (line.find(match) != std::string::npos)
                return true;
        }
    }
    return false;
}

// Stopping ModemManager for the moment, closing any other holder.
std::string HolderFix(const std::vector<PortUser>& users)
{
    std::string others;
    bool bModemManager = false;
    for (const PortUser& user : users) {
        if (user.name == MODEM_MANAGER)
            bModemManager = true;
        else
            others += (others.empty() ? "" : ", ") + (user.name.empty() ? "pid " + std::to_string(user.pid) : user.name);
    }
    std::string fix = bModemManager ? "sudo systemctl stop ModemManager" : "";
    if (!others.empty())
        fix += (fix.empty() ? "Close " : "; close ") + others;
    return fix + ".";
}

bool IsIgnoredByModemManager(const DoctorCable& cable)
{
    return cable.ttyRecord.Property(MM_IGNORE) == "1" || cable.usbRecord.Property(MM_IGNORE) == "1";
}
} // namespace

std::vector<DoctorCheck> CheckUdevRule(const DoctorMachine& machine, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    std::string installed;
    for (const std::string& folder : RulesFolders(machine.roots)) {
        std::error_code error;
        if (installed.empty() && fs::exists(folder + "/" + RULE_FILE, error))
            installed = folder + "/" + RULE_FILE;
    }
    if (!installed.empty())
        checks.push_back({"udev.rule", "", EDoctorStatus::Pass,
                          "The Tetherix udev rule is installed: " +
                              Shown(Shown(installed, machine.roots.etc, "/etc"), machine.roots.usr, "/usr") + ".",
                          ""});
    else
        checks.push_back({"udev.rule", "", EDoctorStatus::Warn,
                          "The Tetherix udev rule is not installed: the cable's port belongs to "
                          "the group dialout, ModemManager may probe it, and its latency timer "
                          "stays at 16 ms.",
                          "sudo install -m 644 data/udev/" + std::string(RULE_FILE) +
                              " /etc/udev/rules.d/ (the package puts it in /usr/lib/udev/rules.d/), then " +
                              RELOAD_COMMAND});
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix)
            continue;
        const bool bIgnored = IsIgnoredByModemManager(cable);
        const bool bUaccess = cable.ttyRecord.HasTag(UACCESS_TAG) || cable.usbRecord.HasTag(UACCESS_TAG);
        if (!cable.ttyRecord.bFound && !cable.usbRecord.bFound) {
            checks.push_back({"udev.applied", cable.sysName, EDoctorStatus::Warn,
                              "udev keeps no record of the Tetherix (is udev running?).",
                              "Plug the cable in again."});
        } else if (bIgnored && bUaccess) {
            checks.push_back({"udev.applied", cable.sysName, EDoctorStatus::Pass,
                              "udev applied the rule: ID_MM_DEVICE_IGNORE=1 and the uaccess tag.", ""});
        } else {
            std::string missing = bIgnored ? "" : "no ID_MM_DEVICE_IGNORE=1";
            if (!bUaccess)
                missing += std::string(missing.empty() ? "" : " and ") + "no uaccess tag";
            checks.push_back({"udev.applied", cable.sysName, EDoctorStatus::Warn,
                              "udev has not applied the rule to the Tetherix: " + missing + ".",
                              installed.empty() ? "Install the rule (see udev.rule), then " +
                                                      std::string(RELOAD_COMMAND)
                                                : std::string(RELOAD_COMMAND)});
        }
    }
    return checks;
}

std::vector<DoctorCheck> CheckSerialGrabbers(const DoctorMachine& machine, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    // ModemManager probes new USB serial ports unless udev told it to leave them alone.
    if (RunningProcesses(machine.roots, MODEM_MANAGER).empty()) {
        checks.push_back({"modemmanager", "", EDoctorStatus::Pass, "ModemManager is not running.", ""});
    } else {
        std::string probed;
        for (const DoctorCable& cable : cables) {
            if (cable.bTetherix && !IsIgnoredByModemManager(cable))
                probed += (probed.empty() ? "" : ", ") + cable.sysName;
        }
        if (probed.empty())
            checks.push_back({"modemmanager", "", EDoctorStatus::Pass,
                              "ModemManager is running and leaves the Tetherix alone.", ""});
        else
            checks.push_back({"modemmanager", "", EDoctorStatus::Warn,
                              "ModemManager is running and may probe the Tetherix (" + probed +
                                  "): udev did not mark it ID_MM_DEVICE_IGNORE.",
                              "Install the Tetherix udev rule, or: sudo systemctl stop ModemManager"});
    }
    // brltty's rules claim some FTDI chips for braille displays and take the cable's port a
    // moment after it appears.
    std::string claiming;
    for (const std::string& folder : RulesFolders(machine.roots)) {
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (claiming.empty() && name.find(BRLTTY) != std::string::npos &&
                RulesClaimFtdi(it->path().string()))
                claiming = Shown(Shown(it->path().string(), machine.roots.etc, "/etc"),
                                 machine.roots.usr, "/usr");
        }
    }
    if (claiming.empty())
        checks.push_back({"brltty", "", EDoctorStatus::Pass,
                          "No brltty udev rule claims FTDI devices.", ""});
    else
        checks.push_back({"brltty", "", EDoctorStatus::Warn,
                          "brltty is installed with rules that claim FTDI devices (" + claiming +
                              "): it can take the Tetherix a second after it is plugged in, and "
                              "the port vanishes.",
                          "If no braille display is used here: sudo apt remove brltty (or sudo "
                          "systemctl mask brltty-udev.service), then plug the cable in again."});
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix || cable.cable.ttyName.empty())
            continue;
        const std::string device = "/dev/" + cable.cable.ttyName;
        // The holders are looked for in the tree's proc, under the tree's own name for the node.
        std::vector<PortUser> users = FindPortUsers(device, machine.roots);
        if (users.empty())
            checks.push_back({"port.users", cable.cable.ttyName, EDoctorStatus::Pass,
                              "No other program holds " + device + ".", ""});
        else
            checks.push_back({"port.users", cable.cable.ttyName, EDoctorStatus::Fail,
                              ExplainPortInUse(device, users), HolderFix(users)});
    }
    return checks;
}
