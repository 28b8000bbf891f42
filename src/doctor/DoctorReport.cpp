#include "doctor/DoctorReport.h"

#include "link/UsbSysfs.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sys/utsname.h>

namespace {
const char* const NO_FIX_NEEDED = "Your computer is ready for the Tetherix.";
const char* const COLOUR_RESET = "\033[0m";
const char* const COLOUR_BOLD = "\033[1m";
const char* const INDENT = "  ";
const char* const STEP_INDENT = "       ";

struct Mark {
    const char* plain;
    const char* symbol;
    const char* colour;
};

Mark MarkOf(EDoctorStatus status)
{
    switch (status) {
    case EDoctorStatus::Pass: return {"[ok]  ", "\u2713", "\033[32m"};
    case EDoctorStatus::Info: return {"[info]", "i", "\033[36m"};
    case EDoctorStatus::Warn: return {"[warn]", "!", "\033[33m"};
    case EDoctorStatus::Fail: return {"[FAIL]", "\u2717", "\033[31m"};
    case EDoctorStatus::Skipped: return {"[skip]", "-", "\033[2m"};
    }
    return {"[?]   ", "?", ""};
}

std::string OsRelease(const DoctorMachine& machine)
{
    for (const std::string& path :
         {machine.roots.etc + "/os-release", machine.roots.usr + "/lib/os-release"}) {
        std::ifstream file(path);
        for (std::string line; std::getline(file, line);) {
            if (line.rfind("PRETTY_NAME=", 0) != 0)
                continue;
            std::string value = line.substr(12);
            value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
            return value;
        }
    }
    return "an unknown system";
}

std::string Kernel(const DoctorMachine& machine)
{
    std::string release = ReadFirstLine(machine.roots.proc + "/sys/kernel/osrelease");
    utsname names{};
    if (release.empty() && uname(&names) == 0)
        release = names.release;
    return "Linux " + (release.empty() ? std::string("(unknown)") : release);
}

std::string Plural(int count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

int Severity(EDoctorStatus status)
{
    return status == EDoctorStatus::Fail ? 0 : status == EDoctorStatus::Warn ? 1 : 2;
}

const DoctorCheck* Named(const std::vector<DoctorCheck>& checks, const std::string& name)
{
    for (const DoctorCheck& check : checks) {
        if (check.name == name)
            return &check;
    }
    return nullptr;
}
} // namespace

DoctorHeader DoctorHeader::Of(const DoctorMachine& machine, const std::string& program)
{
    DoctorHeader header;
    header.program = program;
    header.system = OsRelease(machine) + ", " + Kernel(machine);
    header.user =
        (machine.login.userName.empty() ? std::string("(unnamed)") : machine.login.userName) +
        " (uid " + std::to_string(machine.uid) + ")";
    if (!machine.sudoUser.empty())
        header.user += ", run through sudo by " + machine.sudoUser;
    else if (machine.uid == 0)
        header.user += ", root";
    for (gid_t gid : machine.login.groups) {
        const std::string name = GroupNameInTree(gid, machine.roots);
        if (header.groups.find(name) == std::string::npos)
            header.groups += (header.groups.empty() ? "" : ", ") + name;
    }
    const DoctorSession& session = machine.session;
    if (session.id.empty())
        header.session = "none (XDG_SESSION_ID is not set)";
    else
        header.session = session.id +
                         (session.seat.empty() ? std::string(", no seat") : " on " + session.seat) +
                         (session.type.empty() ? std::string() : " (" + session.type + ")") +
                         (session.bRemote ? ", remote" : "") +
                         (!session.seat.empty() && !session.bActive ? ", not active" : "");
    if (!machine.confinement.empty())
        header.program += ", confined: " + machine.confinement;
    return header;
}

std::vector<std::pair<std::string, std::string>> DoctorHeader::Lines() const
{
    return {{"Program", program},
            {"System", system},
            {"User", user},
            {"Groups", groups},
            {"Session", session}};
}

DoctorCounts CountDoctorChecks(const std::vector<DoctorCheck>& checks)
{
    DoctorCounts counts;
    for (const DoctorCheck& check : checks) {
        switch (check.status) {
        case EDoctorStatus::Pass: ++counts.pass; break;
        case EDoctorStatus::Info: ++counts.info; break;
        case EDoctorStatus::Warn: ++counts.warn; break;
        case EDoctorStatus::Fail: ++counts.fail; break;
        case EDoctorStatus::Skipped: ++counts.skipped; break;
        }
    }
    return counts;
}

std::string DoctorCountsText(const DoctorCounts& counts)
{
    std::vector<std::string> parts;
    if (counts.fail > 0)
        parts.push_back(Plural(counts.fail, "failure", "failures"));
    if (counts.warn > 0)
        parts.push_back(Plural(counts.warn, "warning", "warnings"));
    parts.push_back(std::to_string(counts.pass) + " passed");
    if (counts.info > 0)
        parts.push_back(Plural(counts.info, "note", "notes"));
    if (counts.skipped > 0)
        parts.push_back(std::to_string(counts.skipped) + " skipped");
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

const char* DoctorVerdict(const DoctorCounts& counts)
{
    return counts.fail > 0 ? "failed" : counts.warn > 0 ? "warnings" : "ready";
}

std::vector<DoctorCheck> OrderDoctorChecks(const std::vector<DoctorCheck>& checks,
                                           bool bFailuresFirst)
{
    std::vector<DoctorCheck> ordered = checks;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const DoctorCheck& a, const DoctorCheck& b) {
                         if (bFailuresFirst && Severity(a.status) != Severity(b.status))
                             return Severity(a.status) < Severity(b.status);
                         return static_cast<int>(DoctorGroupOf(a.name)) <
                                static_cast<int>(DoctorGroupOf(b.name));
                     });
    return ordered;
}

const DoctorCheck* FirstDoctorFix(const std::vector<DoctorCheck>& checks)
{
    const std::vector<DoctorCheck> ordered = OrderDoctorChecks(checks, true);
    if (ordered.empty() || Severity(ordered.front().status) > 1)
        return nullptr;
    const DoctorCheck* pFirst = Named(checks, ordered.front().name);
    for (const DoctorCheck& check : checks) {
        if (check.name == ordered.front().name && check.subject == ordered.front().subject)
            pFirst = &check;
    }
    // Follow the chain to its root (a few steps at most; a loop would stop at the bound).
    for (int step = 0; step < 4 && pFirst && !pFirst->followsFrom.empty(); ++step) {
        const DoctorCheck* pRoot = Named(checks, pFirst->followsFrom);
        if (!pRoot)
            break;
        pFirst = pRoot;
    }
    return pFirst;
}

std::vector<std::string> DoctorFixLines(const std::vector<std::string>& fix)
{
    if (fix.size() == 1)
        return fix;
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < fix.size(); ++i)
        lines.push_back(std::to_string(i + 1) + ". " + fix[i]);
    return lines;
}

std::vector<std::string> DoctorSummaryLines(const std::vector<DoctorCheck>& checks)
{
    const DoctorCounts counts = CountDoctorChecks(checks);
    const DoctorCheck* pFirst = FirstDoctorFix(checks);
    if (!pFirst)
        return {std::string(NO_FIX_NEEDED) + " (" + DoctorCountsText(counts) + ")"};
    std::vector<std::string> lines = {DoctorCountsText(counts) + ".",
                                      "Fix this first (" + pFirst->name +
                                          (pFirst->subject.empty() ? "" : " " + pFirst->subject) +
                                          "): " + pFirst->text};
    for (const std::string& line : DoctorFixLines(pFirst->fix))
        lines.push_back(INDENT + line);
    return lines;
}

std::string FormatDoctorText(const DoctorHeader& header, const std::vector<DoctorCheck>& checks,
                             const DoctorTextStyle& style)
{
    std::string text;
    if (!style.bQuiet) {
        for (const auto& [label, value] : header.Lines())
            text += label + ":" + std::string(9 - label.size(), ' ') + value + "\n";
    }
    int group = -1;
    for (const DoctorCheck& check : OrderDoctorChecks(checks, false)) {
        if (style.bQuiet && Severity(check.status) > 1)
            continue;
        if (static_cast<int>(DoctorGroupOf(check.name)) != group) {
            group = static_cast<int>(DoctorGroupOf(check.name));
            const std::string name = DoctorGroupName(DoctorGroupOf(check.name));
            text += "\n" + (style.bColour ? COLOUR_BOLD + name + COLOUR_RESET : name) + "\n";
        }
        const Mark mark = MarkOf(check.status);
        text += INDENT +
                (style.bColour ? std::string(mark.colour) + mark.symbol + COLOUR_RESET
                               : std::string(mark.plain)) +
                " " + check.name + (check.subject.empty() ? "" : " " + check.subject) + ": " +
                check.text + "\n";
        const std::string indent = style.bColour ? "    " : STEP_INDENT;
        if (!check.followsFrom.empty())
            text += indent + "follows from: " + check.followsFrom + "\n";
        const std::vector<std::string> fix = DoctorFixLines(check.fix);
        if (fix.size() == 1)
            text += indent + "Fix: " + fix.front() + "\n";
        else if (!fix.empty())
            text += indent + "Fix:\n";
        for (std::size_t i = 0; fix.size() > 1 && i < fix.size(); ++i)
            text += indent + INDENT + fix[i] + "\n";
        if (style.bVerbose && !check.detail.empty())
            text += indent + "Details: " + check.detail + "\n";
    }
    text += "\n";
    for (const std::string& line : DoctorSummaryLines(checks))
        text += line + "\n";
    return text;
}
