#include "doctor/DoctorRules.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
const char* const RULE_TARGET = "/etc/udev/rules.d/";
const char* const RELOAD_COMMAND = "sudo udevadm control --reload";
const char* const TRIGGER_COMMAND = "sudo udevadm trigger --subsystem-match=usb "
                                    "--subsystem-match=tty --subsystem-match=usb-serial";

bool SameFolder(const std::string& a, const std::string& b)
{
    std::error_code error;
    return fs::equivalent(a, b, error);
}

// A path in the tree's usr for a path under /usr; others as they are.
std::string InTree(const DoctorMachine& machine, const std::string& path)
{
    return path.rfind("/usr/", 0) == 0 ? machine.roots.usr + path.substr(4) : path;
}

// Single quotes for the shell around a text without single quotes.
std::string Quoted(const std::string& text) { return "'" + text + "'"; }
} // namespace

std::vector<std::string> UdevRulesFolders(const DoctorMachine& machine)
{
    std::vector<std::string> folders = {machine.roots.etc + "/udev/rules.d",
                                        machine.roots.run + "/udev/rules.d",
                                        machine.roots.usr + "/lib/udev/rules.d"};
    const std::string lib = machine.lib + "/udev/rules.d";
    std::error_code error;
    if (fs::is_directory(lib, error) && !SameFolder(lib, folders.back()))
        folders.push_back(lib);
    return folders;
}

bool IsMaskedRuleFile(const std::string& path)
{
    std::error_code error;
    if (fs::is_symlink(path, error) && fs::read_symlink(path, error) == "/dev/null")
        return true;
    return fs::is_regular_file(path, error) && fs::file_size(path, error) == 0;
}

std::string FindTetherixRule(const DoctorMachine& machine)
{
    for (const std::string& folder : UdevRulesFolders(machine)) {
        const std::string path = folder + "/" + TETHERIX_RULE_FILE;
        std::error_code error;
        if (fs::exists(fs::symlink_status(path, error)))
            return IsMaskedRuleFile(path) ? std::string() : path;
    }
    return {};
}

std::string PackageRuleCopy(const DoctorMachine& machine)
{
    for (const std::string& prefix : {machine.installPrefix, std::string("/usr/local")}) {
        const std::string path =
            InTree(machine, prefix + "/lib/udev/rules.d/" + TETHERIX_RULE_FILE);
        std::error_code error;
        if (fs::is_regular_file(path, error) && !IsMaskedRuleFile(path))
            return path;
    }
    return {};
}

std::vector<std::string> RuleInstallSteps(const DoctorMachine& machine)
{
    std::vector<std::string> steps;
    const std::string copy = PackageRuleCopy(machine);
    if (!copy.empty()) {
        steps.push_back("sudo install -m 644 " + machine.Shown(copy) + " " + RULE_TARGET);
    } else {
        std::string command = "printf '%s\\n'";
        for (const std::string& line : TetherixRuleLines())
            command += " " + Quoted(line);
        steps.push_back(command + " | sudo tee " + RULE_TARGET + TETHERIX_RULE_FILE +
                        " >/dev/null");
    }
    for (const std::string& step : RuleApplySteps())
        steps.push_back(step);
    return steps;
}

std::vector<std::string> RuleApplySteps() { return {RELOAD_COMMAND, TRIGGER_COMMAND}; }

const std::vector<std::string>& TetherixRuleLines()
{
    // Kept equal to data/udev/70-kestova-tetherix.rules by a test.
    static const std::vector<std::string> LINES = {
        R"(ACTION=="remove", GOTO="kestova_tetherix_end")",
        R"(SUBSYSTEM=="usb", ENV{DEVTYPE}=="usb_device", ATTR{idVendor}=="0403", ATTR{idProduct}=="6001", TAG+="uaccess", ENV{ID_MM_DEVICE_IGNORE}="1")",
        R"(SUBSYSTEM=="usb", ENV{DEVTYPE}=="usb_device", ATTR{idVendor}=="0403", ATTR{idProduct}=="6015", TAG+="uaccess", ENV{ID_MM_DEVICE_IGNORE}="1")",
        R"(SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", TAG+="uaccess", ENV{ID_MM_DEVICE_IGNORE}="1")",
        R"(SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6015", TAG+="uaccess", ENV{ID_MM_DEVICE_IGNORE}="1")",
        R"(SUBSYSTEM=="usb-serial", DRIVER=="ftdi_sio", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", ATTR{latency_timer}="1")",
        R"(SUBSYSTEM=="usb-serial", DRIVER=="ftdi_sio", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6015", ATTR{latency_timer}="1")",
        R"(LABEL="kestova_tetherix_end")",
    };
    return LINES;
}
