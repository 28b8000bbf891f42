#include "doctor/DoctorCheck.h"

#include <algorithm>

namespace {
const char* Mark(EDoctorStatus status)
{
    switch (status) {
    case EDoctorStatus::Pass: return "[ ok ]";
    case EDoctorStatus::Warn: return "[warn]";
    case EDoctorStatus::Fail: return "[FAIL]";
    case EDoctorStatus::Skipped: return "[skip]";
    }
    return "[ ?? ]";
}
} // namespace

const char* DoctorStatusName(EDoctorStatus status)
{
    switch (status) {
    case EDoctorStatus::Pass: return "pass";
    case EDoctorStatus::Warn: return "warn";
    case EDoctorStatus::Fail: return "fail";
    case EDoctorStatus::Skipped: return "skipped";
    }
    return "fail";
}

bool AnyDoctorFailure(const std::vector<DoctorCheck>& checks)
{
    return std::any_of(checks.begin(), checks.end(),
                       [](const DoctorCheck& check) { return check.status == EDoctorStatus::Fail; });
}

std::string FormatDoctorText(const std::vector<DoctorCheck>& checks)
{
    std::string text;
    int counts[4] = {};
    for (const DoctorCheck& check : checks) {
        ++counts[static_cast<int>(check.status)];
        text += std::string(Mark(check.status)) + " " + check.name;
        if (!check.subject.empty())
            text += " (" + check.subject + ")";
        text += ": " + check.text + "\n";
        if (!check.fix.empty())
            text += "       Fix: " + check.fix + "\n";
    }
    text += "\n" + std::to_string(counts[0]) + " passed, " + std::to_string(counts[1]) +
            " warnings, " + std::to_string(counts[2]) + " failed, " + std::to_string(counts[3]) +
            " skipped.\n";
    return text;
}
