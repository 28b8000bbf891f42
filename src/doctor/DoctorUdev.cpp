// The Tetherix udev rule, installed and applied, and the programs that take serial cables:
// ModemManager, brltty's rules, and any program holding a Tetherix port now.
#include "doctor/Doctor.h"

#include "doctor/DoctorRules.h"
#include "link/CableDiagnosis.h"
#include "link/PortDiagnosis.h"
#include "link/PortUsers.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {
const char* const MM_IGNORE = "ID_MM_DEVICE_IGNORE";
const char* const UACCESS_TAG = "uaccess";
const char* const MODEM_MANAGER = "ModemManager";
const char* const BRLTTY = "brltty";
// FTDI's vendor id as rules match it: in an attribute ("0403"), or in the PRODUCT
// property ("403/6001/600") that brltty's rules match.
const char* const FTDI_VENDOR_MATCHES[] = {"\"0403\"", "\"403/"};
const char* const USBFS = "usbfs";

std::vector<std::string> RunningProcesses(const SystemRoots& roots, const std::string& comm)
{
    std::vector<std::string> pids;
    std::error_code error;
    for (fs::directory_iterator it(roots.proc, error), end; !error && it != end;
         it.increment(error)) {
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
std::vector<std::string> HolderFix(const std::vector<PortUser>& users)
{
    std::string others;
    bool bModemManager = false;
    for (const PortUser& user : users) {
        if (user.name == MODEM_MANAGER)
            bModemManager = true;
        else
            others += (others.empty() ? "" : ", ") +
                      (user.name.empty() ? "pid " + std::to_string(user.pid) : user.name);
    }
    std::vector<std::string> fix;
    if (bModemManager)
        fix.push_back("sudo systemctl stop ModemManager");
    if (!others.empty())
        fix.push_back("Close " + others + ".");
    return fix;
}

bool IsIgnoredByModemManager(const DoctorCable& cable)
{
    return cable.ttyRecord.Property(MM_IGNORE) == "1" || cable.usbRecord.Property(MM_IGNORE) == "1";
}

// brltty's rule files as udev uses them: for each name the first in folder order; masked ones
// are said apart.
struct BrlttyRules {
    std::string claiming; // the first in use that claims FTDI devices, its path
    std::string masked;   // the first masked one whose package copy claims them
};

BrlttyRules FindBrlttyRules(const DoctorMachine& machine)
{
    BrlttyRules found;
    std::set<std::string> seen;
    for (const std::string& folder : UdevRulesFolders(machine)) {
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.find(BRLTTY) == std::string::npos || !seen.insert(name).second)
                continue;
            if (IsMaskedRuleFile(it->path().string())) {
                if (found.masked.empty())
                    found.masked = machine.Shown(it->path().string());
            } else if (found.claiming.empty() && RulesClaimFtdi(it->path().string())) {
                found.claiming = machine.Shown(it->path().string());
            }
        }
    }
    return found;
}

// A Tetherix whose USB device brltty holds (bound to usbfs, no serial port).
const DoctorCable* HeldByBrltty(const DoctorMachine& machine, const DoctorCables& cables)
{
    for (const DoctorCable& cable : cables) {
        if (cable.bTetherix && cable.cable.heldByDriver == USBFS &&
            TetherixHolder(machine, cable) == BRLTTY)
            return &cable;
    }
    return nullptr;
}

DoctorCheck BrlttyCheck(const DoctorMachine& machine, const DoctorCables& cables)
{
    const BrlttyRules rules = FindBrlttyRules(machine);
    const std::string ruleName =
        rules.claiming.empty() ? std::string() : fs::path(rules.claiming).filename().string();
    std::vector<std::string> fix;
    if (!ruleName.empty() && rules.claiming.rfind("/etc/", 0) != 0)
        fix = {"sudo ln -s /dev/null /etc/udev/rules.d/" + ruleName,
               "sudo udevadm control --reload"};
    else if (!ruleName.empty())
        fix = {"Take the FTDI lines out of " + rules.claiming + "."};
    if (const DoctorCable* pHeld = HeldByBrltty(machine, cables)) {
        fix.push_back("sudo systemctl stop 'brltty*'");
        fix.push_back("Unplug the cable and plug it in again.");
        return {
            "brltty", pHeld->sysName, EDoctorStatus::Fail,
            "brltty holds the Tetherix: it took the cable for a braille display, so the "
            "kernel gave it no serial port" +
                (rules.claiming.empty() ? std::string(".") : " (its rule " + rules.claiming + ")."),
            fix};
    }
    if (!rules.claiming.empty())
        return {"brltty",
                "",
                EDoctorStatus::Warn,
                "brltty is installed with a rule that claims FTDI devices (" + rules.claiming +
                    "): it can take the Tetherix a second after it is plugged in, and the port "
                    "vanishes.",
                fix,
                "",
                "No braille display here? Masking the rule leaves brltty for other devices."};
    if (!rules.masked.empty())
        return {"brltty",
                "",
                EDoctorStatus::Pass,
                "brltty's rule " + rules.masked + " is masked: brltty leaves FTDI devices alone.",
                {}};
    return {"brltty", "", EDoctorStatus::Pass, "No brltty udev rule claims FTDI devices.", {}};
}

DoctorCheck ModemManagerCheck(const DoctorMachine& machine, const DoctorCables& cables,
                              bool bInstalled)
{
    if (RunningProcesses(machine.roots, MODEM_MANAGER).empty())
        return {"modemmanager", "", EDoctorStatus::Pass, "ModemManager is not running.", {}};
    std::string probed;
    bool bAnyTetherix = false;
    for (const DoctorCable& cable : cables) {
        bAnyTetherix = bAnyTetherix || cable.bTetherix;
        if (cable.bTetherix && !IsIgnoredByModemManager(cable))
            probed += (probed.empty() ? "" : ", ") + cable.sysName;
    }
    const char* const WITHOUT_RULE =
        " Without the rule, sudo systemctl stop ModemManager keeps it off until the next start.";
    if (!probed.empty())
        return {"modemmanager",
                "",
                EDoctorStatus::Warn,
                "ModemManager is running and may probe the Tetherix (" + probed +
                    "): udev did not mark it ID_MM_DEVICE_IGNORE." + WITHOUT_RULE,
                {},
                bInstalled ? "udev.applied" : "udev.rule"};
    if (!bInstalled && !bAnyTetherix)
        return {
            "modemmanager",
            "",
            EDoctorStatus::Warn,
            std::string("ModemManager is running and no Tetherix udev rule tells it to leave the "
                        "cable alone: it will probe the cable when it is plugged in.") +
                WITHOUT_RULE,
            {},
            "udev.rule"};
    return {
        "modemmanager",
        "",
        EDoctorStatus::Pass,
        bAnyTetherix
            ? "ModemManager is running and leaves the Tetherix alone."
            : "ModemManager is running; the Tetherix udev rule tells it to leave the cable alone.",
        {}};
}
} // namespace

std::string TetherixHolder(const DoctorMachine& machine, const DoctorCable& cable)
{
    const std::string node = UsbDeviceNodePath(cable.cable.device, machine.roots);
    if (!node.empty()) {
        for (const PortUser& user : FindPortUsers(machine.Shown(node), machine.roots)) {
            if (!user.name.empty())
                return user.name;
        }
    }
    // Root's open files are hidden from a normal user; a running brltty is the usual holder.
    if (cable.cable.heldByDriver == USBFS && !RunningProcesses(machine.roots, BRLTTY).empty())
        return BRLTTY;
    return {};
}

std::vector<DoctorCheck> CheckUdevRule(const DoctorMachine& machine, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    const std::string installed = FindTetherixRule(machine);
    if (!installed.empty()) {
        checks.push_back({"udev.rule",
                          "",
                          EDoctorStatus::Pass,
                          "The Tetherix udev rule is installed: " + machine.Shown(installed) + ".",
                          {}});
    } else {
        const std::string copy = PackageRuleCopy(machine);
        checks.push_back({"udev.rule", "", EDoctorStatus::Warn,
                          "The Tetherix udev rule is not installed" +
                              (copy.empty() ? std::string()
                                            : " where udev reads it (the package's copy is " +
                                                  machine.Shown(copy) + ")") +
                              ": the cable's port belongs to the group dialout, ModemManager may "
                              "probe it, and its "
                              "latency timer stays at 16 ms.",
                          RuleInstallSteps(machine)});
    }
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix)
            continue;
        const bool bIgnored = IsIgnoredByModemManager(cable);
        const bool bUaccess =
            cable.ttyRecord.HasTag(UACCESS_TAG) || cable.usbRecord.HasTag(UACCESS_TAG);
        if (!cable.ttyRecord.bFound && !cable.usbRecord.bFound) {
            checks.push_back({"udev.applied",
                              cable.sysName,
                              EDoctorStatus::Warn,
                              "udev keeps no record of the Tetherix (is udev running?).",
                              {"Unplug the cable and plug it in again."}});
        } else if (bIgnored && bUaccess) {
            checks.push_back({"udev.applied",
                              cable.sysName,
                              EDoctorStatus::Pass,
                              "udev applied the rule: ID_MM_DEVICE_IGNORE=1 and the uaccess tag.",
                              {}});
        } else {
            std::string missing = bIgnored ? "" : "no ID_MM_DEVICE_IGNORE=1";
            if (!bUaccess)
                missing += std::string(missing.empty() ? "" : " and ") + "no uaccess tag";
            DoctorCheck check{"udev.applied",
                              cable.sysName,
                              EDoctorStatus::Warn,
                              "udev has not applied the rule to the Tetherix: " + missing + ".",
                              {}};
            if (installed.empty())
                check.followsFrom = "udev.rule";
            else
                check.fix = RuleApplySteps();
            checks.push_back(check);
        }
    }
    return checks;
}

std::vector<DoctorCheck> CheckSerialGrabbers(const DoctorMachine& machine,
                                             const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    checks.push_back(ModemManagerCheck(machine, cables, !FindTetherixRule(machine).empty()));
    checks.push_back(BrlttyCheck(machine, cables));
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix || cable.cable.ttyName.empty())
            continue;
        const std::string device = "/dev/" + cable.cable.ttyName;
        // The holders are looked for in the tree's proc, under the tree's own name for the node.
        std::vector<PortUser> users = FindPortUsers(device, machine.roots);
        if (users.empty())
            checks.push_back({"port.users",
                              cable.cable.ttyName,
                              EDoctorStatus::Pass,
                              "No other program holds " + device + ".",
                              {}});
        else
            checks.push_back({"port.users", cable.cable.ttyName, EDoctorStatus::Fail,
                              ExplainPortInUse(device, users), HolderFix(users)});
    }
    return checks;
}
