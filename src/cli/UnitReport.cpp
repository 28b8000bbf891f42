#include "cli/UnitReport.h"

#include "device/UpdateCheck.h"

#include <cstdio>

int ExitCodeFor(FlashResult result)
{
    switch (result) {
    case FlashResult::Verified:
    case FlashResult::Identified:
    case FlashResult::EchoPassed: return EXIT_VERIFIED;
    case FlashResult::BadArguments: return EXIT_BAD_ARGUMENTS;
    case FlashResult::NoUnit:
    case FlashResult::EchoFailed: return EXIT_NO_UNIT;
    case FlashResult::Rejected: return EXIT_IMAGE_REJECTED;
    case FlashResult::Failed: return EXIT_UPDATE_FAILED;
    case FlashResult::NotVerified: return EXIT_NOT_VERIFIED;
    case FlashResult::NotSeenBack: return EXIT_NOT_SEEN_BACK;
    case FlashResult::Interrupted: return EXIT_INTERRUPTED;
    }
    return EXIT_UPDATE_FAILED;
}

int WorseExitCode(int a, int b)
{
    const auto rank = [](int code) {
        if (code == EXIT_VERIFIED)
            return 0;
        return code == EXIT_NOT_SEEN_BACK ? 1 : code + 1;
    };
    return rank(a) >= rank(b) ? a : b;
}

const char* ResultName(FlashResult result)
{
    switch (result) {
    case FlashResult::Verified: return "verified";
    case FlashResult::Identified: return "identified";
    case FlashResult::EchoPassed: return "echo-passed";
    case FlashResult::BadArguments: return "declined";
    case FlashResult::NoUnit: return "no-unit";
    case FlashResult::EchoFailed: return "echo-failed";
    case FlashResult::Rejected: return "rejected";
    case FlashResult::Failed: return "failed";
    case FlashResult::NotVerified:
    case FlashResult::NotSeenBack: return "not-verified";
    case FlashResult::Interrupted: return "interrupted";
    }
    return "failed";
}

std::string StatusText(const std::string& status)
{
    const std::string press = "Press ";
    // The window's user powers the unit off after an update; kestova-flash awaits its restart.
    if (status.rfind(press, 0) == 0 || status.rfind("Please unplug the Tetherix", 0) == 0)
        return {};
    const std::size_t at = status.find(". " + press);
    return at == std::string::npos ? status : status.substr(0, at + 1);
}

std::string ReportJson(const UnitReport& r)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", r.dSeconds);
    std::string json = "{";
    json += "\"port\":" + JsonString(r.strPort);
    json += ",\"model\":" + JsonOrNull(r.before.m_strModel);
    json += ",\"serial_number\":" + JsonOrNull(r.before.m_strSerialNumber);
    json += ",\"loader_before\":" + JsonOrNull(VersionNumber(r.before.m_strLoaderVersion));
    json += ",\"app_before\":" + JsonOrNull(VersionNumber(r.before.m_strAppVersion));
    json += ",\"loader_after\":" + JsonOrNull(VersionNumber(r.after.m_strLoaderVersion));
    json += ",\"app_after\":" + JsonOrNull(VersionNumber(r.after.m_strAppVersion));
    json += ",\"image_version\":" + JsonOrNull(VersionNumber(r.strImageVersion));
    json += ",\"lines_sent\":" + std::to_string(r.nLinesSent);
    json += ",\"lines_total\":" + std::to_string(r.nTotalLines);
    json += std::string(",\"seconds\":") + seconds;
    json += std::string(",\"result\":\"") + ResultName(r.result) + "\"";
    json += ",\"exit_code\":" + std::to_string(ExitCodeFor(r.result));
    json += ",\"text\":" + JsonString(OneLine(r.strText));
    return json + "}";
}
