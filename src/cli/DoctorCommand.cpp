#include "cli/DoctorCommand.h"

#include "cli/UnitReport.h"
#include "doctor/Doctor.h"
#include "doctor/DoctorService.h"
#include "platform/ProgramPath.h"
#include "platform/SupportLog.h"

#include <QCoreApplication>

namespace {
void Print(std::FILE* out, const std::vector<DoctorCheck>& checks, bool bJson)
{
    if (bJson) {
        for (const DoctorCheck& check : checks)
            std::fprintf(out, "%s\n", DoctorCheckJson(check).c_str());
    } else {
        std::fprintf(out, "Checking this computer for the Tetherix cable (%s)\n\n%s",
                     FlashVersionText().substr(0, FlashVersionText().size() - 1).c_str(),
                     FormatDoctorText(checks).c_str());
    }
    std::fflush(out);
}
} // namespace

std::string DoctorCheckJson(const DoctorCheck& check)
{
    return "{\"check\":" + JsonString(check.name) + ",\"subject\":" + JsonOrNull(check.subject) +
           ",\"status\":" + JsonString(DoctorStatusName(check.status)) +
           ",\"text\":" + JsonString(check.text) + ",\"fix\":" + JsonOrNull(check.fix) + "}";
}

int RunDoctorCommand(const FlashOptions& options, std::FILE* out)
{
    DoctorMachine machine = DoctorMachine::Current();
    // The window beside this program keeps the settings; the service is its, or --service.
    const DoctorSettings settings = FindDoctorSettings(DirectoryOf(GetModuleFileName()),
                                                       KX_INSTALL_PREFIX, KX_WEB_BASE_URL,
                                                       options.strService);
    machine.settingsPath = settings.path;
    machine.serviceUrl = settings.serviceUrl;
    machine.logPath = options.strLogPath.empty() ? CSupportLog::DefaultPath() : options.strLogPath;
    std::vector<DoctorCheck> checks = RunMachineChecks(machine);

    CServiceCheck service;
    const bool bAsked = service.Start(machine.serviceUrl, [](const std::vector<DoctorCheck>&) {
        QCoreApplication::quit();
    });
    if (bAsked)
        QCoreApplication::exec();
    checks.insert(checks.end(), service.Checks().begin(), service.Checks().end());
    Print(out, checks, options.bJson);
    return AnyDoctorFailure(checks) ? EXIT_DOCTOR_FAILED : EXIT_VERIFIED;
}
