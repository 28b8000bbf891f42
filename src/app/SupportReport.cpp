#include "app/SupportReport.h"

std::string ComposeSupportReport(const SupportFacts& facts, const std::string& sessionText)
{
    std::string text = "Kestova Firmware Downloader support log\n";
    text += "Version: " + facts.strVersion + "\n";
    text += "Ports found:";
    if (facts.ports.empty())
        text += " none";
    for (size_t i = 0; i < facts.ports.size(); ++i)
        text += (i == 0 ? " " : ", ") + facts.ports[i];
    text += "\n";
    text += "D2XX library " + facts.strD2xxLibrary + ": " +
            (facts.bD2xxFound ? "found" : "not found") + "\n";
    text += "Settings file: " + facts.strSettingsFile + "\n";
    text += "Firmware service: " + (facts.strServiceUrl.empty() ? "none set" : facts.strServiceUrl) + "\n";
    if (!facts.strLogFile.empty())
        text += "Log file: " + facts.strLogFile + "\n";
    text += "\nThis session:\n" + sessionText;
    return text;
}
