// The Tetherix udev rule as the computer check sees it: where udev reads rules from, where the
// rule is installed, the package's own copy of it, and the commands that install and apply it.
#pragma once

#include "doctor/DoctorMachine.h"

#include <string>
#include <vector>

inline constexpr const char* TETHERIX_RULE_FILE = "70-kestova-tetherix.rules";

// Where udev reads rules from, the administrator's folder first: etc, run, then the packages'
// (usr/lib, and lib on a system whose /usr is not merged, once when /lib is a link to it).
std::vector<std::string> UdevRulesFolders(const DoctorMachine& machine);

// True when a rule file is masked the standard way: it is /dev/null or empty.
bool IsMaskedRuleFile(const std::string& path);

// The rule file udev uses (the first of that name in UdevRulesFolders); empty when none, or
// when the first is masked.
std::string FindTetherixRule(const DoctorMachine& machine);

// The package's copy of the rule outside udev's folders (a program installed under
// /usr/local), which the fix copies into /etc/udev/rules.d; empty when there is none.
std::string PackageRuleCopy(const DoctorMachine& machine);

// The commands that install the rule: from the package's copy when there is one, else its
// text written with sudo tee; then reload and trigger.
std::vector<std::string> RuleInstallSteps(const DoctorMachine& machine);
// udevadm's reload and trigger, as two commands.
std::vector<std::string> RuleApplySteps();

// The rule's own lines (no comments), as the package installs them.
const std::vector<std::string>& TetherixRuleLines();
