#include "doctor/Doctor.h"

std::vector<DoctorCheck> RunMachineChecks(const DoctorMachine& machine)
{
    using Family = std::vector<DoctorCheck> (*)(const DoctorMachine&, const DoctorCables&);
    static const Family FAMILIES[] = {CheckProgram,        CheckCables, CheckAccess,  CheckUdevRule,
                                      CheckSerialGrabbers, CheckWaysIn, CheckLatency, CheckFiles};
    const DoctorCables cables = GatherDoctorCables(machine.roots);
    std::vector<DoctorCheck> checks;
    for (Family family : FAMILIES) {
        std::vector<DoctorCheck> found = family(machine, cables);
        checks.insert(checks.end(), found.begin(), found.end());
    }
    return checks;
}
