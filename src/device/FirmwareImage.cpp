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

// The values of the tagged lines, each from the topmost line that carries its tag.
struct TaggedValues {
    std::optional<std::string> notes;
    std::optional<std::string> productId;
    std::optional<std::string> version;
};

std::string LastFour(const std::string& line) { return LastChars(line, TAG_VALUE_CHARS); }

// Removes the empty lines and every line that carries a tag, in one pass whatever the image's
// length; data lines keep their order. A line with several tags counts for the first of notes,
// product id and version.
TaggedValues TakeTaggedLines(std::deque<std::string>& lines)
{
    TaggedValues values;
    std::size_t kept = 0;
    for (std::string& line : lines) {
        if (line.empty())
            continue;
        if (line.find(TAG_NOTES) != std::string::npos) {
            if (!values.notes)
                values.notes = line.substr(NOTES_VALUE_OFFSET_CHARS);
        } else if (line.find(TAG_PRODUCT_ID) != std::string::npos) {
            if (!values.productId)
                values.productId = LastFour(line);
        } else if (line.find(TAG_VERSION) != std::string::npos) {
            if (!values.version)
                values.version = LastFour(line);
        } else {
            if (&lines[kept] != &line)
                lines[kept] = std::move(line);
            ++kept;
        }
    }
    lines.resize(kept);
    return values;
}

bool HasControlByte(const std::string& line)
{
    return std::any_of(line.begin(), line.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

bool IsTagged(const std::string& line)
{
    return line.find(TAG_NOTES) != std::string::npos ||
           line.find(TAG_PRODUCT_ID) != std::string::npos ||
           line.find(TAG_VERSION) != std::string::npos;
}

// The first data line, counted from 1 among all the image's lines, that holds a control byte.
std::size_t FirstControlByteLine(const std::deque<std::string>& lines)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!IsTagged(lines[i]) && HasControlByte(lines[i]))
            return i + 1;
    }
    return 0;
}

bool HasEndRecord(const std::deque<std::string>& lines)
{
    return !lines.empty() &&
           LastChars(lines.back(), TAG_VALUE_CHARS).find(END_RECORD_MARK) != std::string::npos;
}

}  // namespace

std::string FoundFirmwareText(const std::optional<std::string>& version)
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

ImageVerdict CheckImage(FirmwareImage& image, const std::string& model)
{
    ImageVerdict verdict;
    verdict.nControlByteLine = FirstControlByteLine(image.m_lines);
    const TaggedValues tagged = TakeTaggedLines(image.m_lines);
    const std::optional<std::string>& notes = tagged.notes;
    const std::optional<std::string>& productId = tagged.productId;
    const std::optional<std::string>& version = tagged.version;
    image.m_version = version;
    image.m_strNotes = notes.value_or(std::string());

    if (!HasEndRecord(image.m_lines) || productId != PRODUCT_ID_KX410 ||
        verdict.nControlByteLine > 0) {
        verdict.logLines.push_back(TEXT_IMAGE_NOT_SUITABLE);
        return verdict;
    }
    if (model != MODEL_KX410) {
        verdict.logLines.push_back(TEXT_IMAGE_NOT_SUITABLE_FOR + model);
        return verdict;
    }
    verdict.logLines.push_back(FoundFirmwareText(version));
    if (notes) {
        for (std::string& piece : BreakNotes(NOTES_PREFIX + *notes)) {
            verdict.logLines.push_back(std::move(piece));
        }
    }
    verdict.logLines.push_back(TEXT_READY_TO_UPDATE);
    verdict.bAccepted = true;
    return verdict;
}

std::deque<std::string> SplitImageLines(const std::string& content)
{
    std::deque<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = content.find('\n', start);
        std::string line =
            content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (!lines.back().empty())
        lines.emplace_back();
    return lines;
}
