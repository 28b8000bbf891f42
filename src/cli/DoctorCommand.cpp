#include "cli/DoctorCommand.h"

#include "cli/UnitReport.h"
#include "doctor/Doctor.h"
#include "doctor/DoctorFix.h"
#include "doctor/DoctorReport.h"
#include "doctor/DoctorService.h"
#include "platform/JsonText.h"
#include "platform/ProgramPath.h"
#include "platform/SupportLog.h"
#include "platform/TerminalIo.h"

#include <QCoreApplication>

#include <cstdlib>
#include <iostream>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int STDOUT_FD = 1;
constexpr int STDIN_FD = 0;

std::string ProgramName()
{
    const std::string version = FlashVersionText();
    return version.substr(0, version.size() - 1);
}

std::string StepsJson(const std::vector<std::string>& steps)
{
    std::string json = "[";
    for (const std::string& step : steps)
        json += (json.size() > 1 ? "," : "") + JsonString(step);
    return json + "]";
}

std::string FixText(const std::vector<std::string>& fix)
{
    std::string text;
    for (const std::string& line : DoctorFixLines(fix))
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

std::vector<DoctorCheck> RunChecks(const DoctorMachine& machine)
{
    std::vector<DoctorCheck> checks = RunMachineChecks(machine);
    CServiceCheck service;
    const bool bAsked = service.Start(
        machine.serviceUrl, [](const std::vector<DoctorCheck>&) { QCoreApplication::quit(); });
    if (bAsked)
        QCoreApplication::exec();
    checks.insert(checks.end(), service.Checks().begin(), service.Checks().end());
    return checks;
}

void Print(std::FILE* out, const DoctorMachine& machine, const std::vector<DoctorCheck>& checks,
           const FlashOptions& options)
{
    const DoctorHeader header = DoctorHeader::Of(machine, ProgramName());
    if (options.bJson) {
        for (const DoctorCheck& check : checks)
            std::fprintf(out, "%s\n", DoctorCheckJson(check).c_str());
        std::fprintf(out, "%s\n", DoctorSummaryJson(header, checks).c_str());
    } else {
        DoctorTextStyle style;
        style.bColour = out == stdout && IsTerminal(STDOUT_FD) &&
                        std::getenv("NO_COLOR") == nullptr &&
                        std::string(std::getenv("TERM") ? std::getenv("TERM") : "dumb") != "dumb";
        style.bQuiet = options.bQuiet;
        style.bVerbose = options.bVerbose;
        std::fputs(FormatDoctorText(header, checks, style).c_str(), out);
    }
    std::fflush(out);
}

// Runs one command of the fix (through sudo unless this is root); true when it succeeded.
bool RunFixCommand(std::vector<std::string> argv, std::FILE* out)
{
    if (geteuid() != 0)
        argv.insert(argv.begin(), "sudo");
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    std::fflush(out);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// --fix: says what it would do, asks, does it and says what it did.
void OfferFix(const DoctorMachine& machine, const std::vector<DoctorCheck>& checks,
              const FlashOptions& options, std::FILE* out)
{
    const DoctorFixPlan plan = PlanDoctorFix(machine, checks);
    if (plan.actions.empty()) {
        std::fprintf(out, "\n--fix: nothing to do: %s.\n", plan.why.c_str());
        return;
    }
    std::fprintf(out, "\n--fix would do this%s:\n", geteuid() == 0 ? "" : " (through sudo)");
    for (std::size_t i = 0; i < plan.actions.size(); ++i)
        std::fprintf(out, "  %zu. %s\n", i + 1, plan.actions[i].what.c_str());
    if (!options.bYes) {
        if (!IsTerminal(STDIN_FD)) {
            std::fputs("Nothing was done: standard input is not a terminal; add --yes to do it "
                       "without asking.\n",
                       out);
            return;
        }
        std::fputs("Do it now? [y/N] ", out);
        std::fflush(out);
        std::string answer;
        std::getline(std::cin, answer);
        if (answer != "y" && answer != "Y" && answer != "yes") {
            std::fputs("Nothing was done.\n", out);
            return;
        }
    }
    for (const DoctorFixAction& action : plan.actions) {
        const bool bDone = RunFixCommand(action.argv, out);
        std::fprintf(out, "%s: %s\n", bDone ? "Done" : "Failed", action.what.c_str());
        if (!bDone) {
            std::fputs("The rest was not done.\n", out);
            return;
        }
    }
    std::fputs(
        "Unplug the cable and plug it in again, then run kestova-flash --doctor once more.\n", out);
}
} // namespace

std::string DoctorCheckJson(const DoctorCheck& check)
{
    return "{\"check\":" + JsonString(check.name) + ",\"subject\":" + JsonOrNull(check.subject) +
           ",\"group\":" + JsonString(DoctorGroupName(DoctorGroupOf(check.name))) +
           ",\"status\":" + JsonString(DoctorStatusName(check.status)) +
           ",\"text\":" + JsonString(check.text) + ",\"fix\":" + JsonOrNull(FixText(check.fix)) +
           ",\"steps\":" + StepsJson(check.fix) +
           ",\"follows_from\":" + JsonOrNull(check.followsFrom) + "}";
}

std::string DoctorSummaryJson(const DoctorHeader& header, const std::vector<DoctorCheck>& checks)
{
    const DoctorCounts counts = CountDoctorChecks(checks);
    const DoctorCheck* pFirst = FirstDoctorFix(checks);
    return "{\"summary\":{\"version\":" + JsonString(header.program) +
           ",\"system\":" + JsonString(header.system) + ",\"user\":" + JsonString(header.user) +
           ",\"groups\":" + JsonString(header.groups) +
           ",\"session\":" + JsonString(header.session) +
           ",\"counts\":{\"pass\":" + std::to_string(counts.pass) +
           ",\"info\":" + std::to_string(counts.info) + ",\"warn\":" + std::to_string(counts.warn) +
           ",\"fail\":" + std::to_string(counts.fail) +
           ",\"skipped\":" + std::to_string(counts.skipped) +
           "},\"verdict\":" + JsonString(DoctorVerdict(counts)) +
           ",\"fix_first\":" + (pFirst ? JsonString(pFirst->name) : std::string("null")) + "}}";
}

int RunDoctorCommand(const FlashOptions& options, std::FILE* out)
{
    DoctorMachine machine = DoctorMachine::Current();
    // The window beside this program keeps the settings; the service is its, or --service.
    const DoctorSettings settings = FindDoctorSettings(
        DirectoryOf(GetModuleFileName()), KX_INSTALL_PREFIX, KX_WEB_BASE_URL, options.strService);
    machine.settingsPath = settings.path;
    machine.serviceUrl = settings.serviceUrl;
    machine.logPath = options.strLogPath.empty() ? CSupportLog::DefaultPath() : options.strLogPath;
    const std::vector<DoctorCheck> checks = RunChecks(machine);
    Print(out, machine, checks, options);
    if (options.bFix && !options.bJson)
        OfferFix(machine, checks, options, out);
    return AnyDoctorFailure(checks) ? EXIT_DOCTOR_FAILED : EXIT_VERIFIED;
}
