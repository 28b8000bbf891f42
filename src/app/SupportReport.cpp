#include "app/SupportReport.h"

std::string ComposeSupportReport(const SupportFacts& facts, const std::string& sessionText)
{
    std::string text = "Kestova Firmware Downloader support log\n";
    text += "Version: " + facts.session.strVersion + "\n";
    text += PortsFoundText(facts.session.ports) + "\n";
    text += D2xxLibraryText(facts.session) + "\n";
    text += "Settings file: " + facts.strSettingsFile + "\n";
    text += "Firmware service: " + (facts.strServiceUrl.empty() ? "none set" : facts.strServiceUrl) + "\n";
    if (!facts.strLogFile.empty())
        text += "Log file: " + facts.strLogFile + "\n";
    text += "\nThis session:\n" + sessionText;
    return text;
}
