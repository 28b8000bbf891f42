#include "doctor/DoctorCheck.h"

#include <algorithm>

const char* DoctorStatusName(EDoctorStatus status)
{
    switch (status) {
    case EDoctorStatus::Pass: return "pass";
    case EDoctorStatus::Info: return "info";
    case EDoctorStatus::Warn: return "warn";
    case EDoctorStatus::Fail: return "fail";
    case EDoctorStatus::Skipped: return "skipped";
    }
    return "fail";
}

const char* DoctorGroupName(EDoctorGroup group)
{
    switch (group) {
    case EDoctorGroup::Program: return "This program";
    case EDoctorGroup::Cable: return "Cable";
    case EDoctorGroup::Access: return "Access";
    case EDoctorGroup::Services: return "System services";
    case EDoctorGroup::Driver: return "Driver";
    case EDoctorGroup::Files: return "Program files";
    case EDoctorGroup::Service: return "Firmware service";
    }
    return "Other";
}

EDoctorGroup DoctorGroupOf(const std::string& checkName)
{
    struct Prefix {
        const char* start;
        EDoctorGroup group;
    };
    static const Prefix PREFIXES[] = {
        {"confinement", EDoctorGroup::Program}, {"root.", EDoctorGroup::Access},
        {"cable.", EDoctorGroup::Cable},        {"access.", EDoctorGroup::Access},
        {"udev.", EDoctorGroup::Services},      {"modemmanager", EDoctorGroup::Services},
        {"brltty", EDoctorGroup::Services},     {"port.users", EDoctorGroup::Services},
        {"d2xx.", EDoctorGroup::Driver},        {"way-in", EDoctorGroup::Driver},
        {"latency", EDoctorGroup::Driver},      {"settings.", EDoctorGroup::Files},
        {"support.", EDoctorGroup::Files},      {"service", EDoctorGroup::Service},
    };
    for (const Prefix& prefix : PREFIXES) {
        if (checkName.rfind(prefix.start, 0) == 0)
            return prefix.group;
    }
    return EDoctorGroup::Program;
}

bool AnyDoctorFailure(const std::vector<DoctorCheck>& checks)
{
    return std::any_of(checks.begin(), checks.end(), [](const DoctorCheck& check) {
        return check.status == EDoctorStatus::Fail;
    });
}

bool IsDoctorCommand(const std::string& step) { return !step.empty() && step.back() != '.'; }
