#include "doctor/DoctorFix.h"

#include "doctor/DoctorRules.h"

#include <algorithm>

namespace {
const char* const RULES_TARGET = "/etc/udev/rules.d/";

bool Failing(const std::vector<DoctorCheck>& checks, const std::string& name)
{
    return std::any_of(checks.begin(), checks.end(), [&](const DoctorCheck& check) {
        return check.name == name &&
               (check.status == EDoctorStatus::Warn || check.status == EDoctorStatus::Fail);
    });
}

void AddApply(DoctorFixPlan* pPlan)
{
    pPlan->actions.push_back({"Have udev reload its rules", {"udevadm", "control", "--reload"}});
    pPlan->actions.push_back({"Have udev apply them to USB and serial devices",
                              {"udevadm", "trigger", "--subsystem-match=usb",
                               "--subsystem-match=tty", "--subsystem-match=usb-serial"}});
}
} // namespace

DoctorFixPlan PlanDoctorFix(const DoctorMachine& machine, const std::vector<DoctorCheck>& checks)
{
    DoctorFixPlan plan;
    if (Failing(checks, "udev.rule")) {
        const std::string copy = PackageRuleCopy(machine);
        if (copy.empty()) {
            plan.why = "the Tetherix udev rule is not installed and this program has no installed "
                       "copy of it to install; paste the udev.rule fix instead";
            return plan;
        }
        plan.actions.push_back(
            {"Install the Tetherix udev rule from " + machine.Shown(copy) + " into " + RULES_TARGET,
             {"install", "-m", "644", copy, machine.roots.etc + "/udev/rules.d/"}});
        AddApply(&plan);
        return plan;
    }
    if (Failing(checks, "udev.applied")) {
        AddApply(&plan);
        return plan;
    }
    plan.why = "the Tetherix udev rule is installed and applied; nothing else is fixed for you";
    return plan;
}
