#include "app/bench/BenchImage.h"

#include "app/bench/BenchRow.h"
#include "device/DeviceIdentity.h"
#include "device/FirmwareImage.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

BenchImageFacts ReadBenchImage(const std::string& path)
{
    BenchImageFacts facts;
    struct stat info {};
    // Only a plain file of a programming file's size is read: a pipe would hold the window.
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        facts.strProblem = "the file cannot be opened";
        return facts;
    }
    if (info.st_size > MAX_PROGRAMMING_FILE_BYTES) {
        facts.strProblem = "the file is too large to be a programming file";
        return facts;
    }
    std::ifstream file(path, std::ios::in | std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
    FirmwareImage image;
    image.m_lines = SplitImageLines(content);
    for (const std::string& line : image.m_lines) {
        const std::size_t at = line.find(TAG_NOTES);
        if (at == std::string::npos || line.size() <= at + NOTES_VALUE_OFFSET_CHARS)
            continue;
        if (!facts.strNotes.empty())
            facts.strNotes += '\n';
        facts.strNotes += line.substr(at + NOTES_VALUE_OFFSET_CHARS);
    }
    const ImageVerdict verdict = CheckImage(image, MODEL_KX410);
    if (!verdict.bAccepted) {
        facts.strProblem =
            verdict.logLines.empty() ? "the image is not a kx410 image" : verdict.logLines.back();
        return facts;
    }
    facts.bUsable = true;
    facts.strVersion = image.m_version.value_or(std::string());
    facts.nLines = static_cast<int>(image.m_lines.size());
    return facts;
}

std::string BenchImageText(const std::string& path, const BenchImageFacts& facts)
{
    if (path.empty())
        return "No image chosen";
    const std::string name = std::filesystem::path(path).filename().string();
    if (!facts.bUsable)
        return name + ": " + facts.strProblem;
    const std::string version = facts.strVersion.empty()
                                    ? std::string("names no version")
                                    : "version " + ShortVersion(facts.strVersion);
    return name + ": " + version + ", " + std::to_string(facts.nLines) + " lines";
}
