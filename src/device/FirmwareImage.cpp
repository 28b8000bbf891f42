#include "device/FirmwareImage.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "device/DeviceIdentity.h"
#include "device/NotesBreaker.h"
#include "device/TextValues.h"

namespace {

constexpr std::size_t VERSION_PART_CHARS = 2;

std::string LastChars(const std::string& line, std::size_t count)
{
    return line.size() <= count ? line : line.substr(line.size() - count);
}

// Removes every line that contains tag and returns the value of the topmost one, made by
// valueOf; no value when no line carries the tag. Data lines keep their order.
template <typename ValueOf>
std::optional<std::string> TakeTag(std::deque<std::string>& lines, const char* tag,
                                   ValueOf valueOf)
{
    std::optional<std::string> value;
    std::deque<std::string> kept;
    for (std::string& line : lines) {
        if (line.find(tag) == std::string::npos) {
            kept.push_back(std::move(line));
        } else if (!value) {
            value = valueOf(line);
        }
    }
    lines.swap(kept);
    return value;
}

void RemoveEmptyLines(std::deque<std::string>& lines)
{
    std::erase_if(lines, [](const std::string& line) { return line.empty(); });
}

bool HasEndRecord(const std::deque<std::string>& lines)
{
    return !lines.empty() &&
           LastChars(lines.back(), TAG_VALUE_CHARS).find(END_RECORD_MARK) != std::string::npos;
}

std::string VersionMessage(const std::optional<std::string>& version)
{
    const std::string_view text = version ? std::string_view(*version) : std::string_view();
    const int major = DecimalValue(text.substr(0, std::min(text.size(), VERSION_PART_CHARS)));
    const int minor = text.size() >= VERSION_PART_CHARS
                          ? DecimalValue(text.substr(text.size() - VERSION_PART_CHARS))
                          : 0;
    char message[96];
    std::snprintf(message, sizeof message,
                  "The following firmware was found for your kx410: Ver %i.%02i", major, minor);
    return message;
}

}  // namespace

ImageVerdict CheckImage(FirmwareImage& image, const std::string& model)
{
    ImageVerdict verdict;
    RemoveEmptyLines(image.m_lines);
    const auto notes = TakeTag(image.m_lines, TAG_NOTES, [](const std::string& line) {
        return line.substr(NOTES_VALUE_OFFSET_CHARS);
    });
    const auto lastFour = [](const std::string& line) { return LastChars(line, TAG_VALUE_CHARS); };
    const auto productId = TakeTag(image.m_lines, TAG_PRODUCT_ID, lastFour);
    const auto version = TakeTag(image.m_lines, TAG_VERSION, lastFour);
    if (version) {
        image.m_strVersion = *version;
    }

    if (!HasEndRecord(image.m_lines) || productId != PRODUCT_ID_KX410) {
        verdict.logLines.push_back(TEXT_IMAGE_NOT_SUITABLE);
        return verdict;
    }
    verdict.logLines.push_back(VersionMessage(version));
    if (notes) {
        for (std::string& piece : BreakNotes(NOTES_PREFIX + *notes)) {
            verdict.logLines.push_back(std::move(piece));
        }
    }
    if (model == MODEL_KX410) {
        verdict.logLines.push_back(TEXT_READY_TO_UPDATE);
    }
    verdict.bAccepted = true;
    return verdict;
}
