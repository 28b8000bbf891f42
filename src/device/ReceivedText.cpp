#include "device/ReceivedText.h"

#include "device/DeviceIdentity.h"

#include <algorithm>

namespace {

bool IsKeptByte(unsigned char byte)
{
    const bool bPrintable = byte >= 0x20 && byte <= 0x7E;
    const bool bWhiteSpace = byte >= 0x09 && byte <= 0x0D;
    return bPrintable || bWhiteSpace;
}

}  // namespace

std::string CleanReceivedBytes(const char* bytes, std::size_t n)
{
    std::string text;
    if (bytes == nullptr) {
        return text;
    }
    text.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text.push_back(IsKeptByte(byte) ? static_cast<char>(byte) : '?');
    }
    return text;
}

void AppendReceivedChunk(std::string& buffer, std::string_view chunk, std::size_t trimAtChars)
{
    buffer.append(chunk);
    if (!buffer.empty() && buffer.size() >= trimAtChars) {
        buffer.erase(0, 1);
    }
}

namespace {

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c)
{
    return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsLetterOrDigit(char c)
{
    return IsDecimalDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether the character at `offset` from the "." fits the field found there.
bool FitsField(std::size_t offset, char c)
{
    if (offset >= ID_SERIAL_LOW_POS && offset < ID_SERIAL_HIGH_POS + ID_FIELD_CHARS)
        return IsHexDigit(c);
    if (offset >= ID_PRODUCT_ID_POS && offset < ID_PRODUCT_ID_POS + ID_FIELD_CHARS)
        return IsLetterOrDigit(c);
    if (offset >= ID_LOADER_VERSION_POS && offset < ID_APP_VERSION_POS + ID_FIELD_CHARS)
        return IsDecimalDigit(c);
    return true;
}

// Whether the characters from `start` on fit an identification text as far as they go.
bool FitsSoFar(std::string_view text, std::size_t start)
{
    const std::size_t end = std::min(text.size(), start + ID_SERIAL_HIGH_POS + ID_FIELD_CHARS);
    for (std::size_t i = start + 1; i < end; ++i) {
        if (!FitsField(i - start, text[i]))
            return false;
    }
    return true;
}

}  // namespace

IdentificationScan FindIdentification(std::string_view text)
{
    for (std::size_t dot = text.find('.'); dot != std::string_view::npos;
         dot = text.find('.', dot + 1)) {
        if (FitsSoFar(text, dot))
            return {text.size() - dot >= IDENTIFICATION_MIN_CHARS, dot};
    }
    return {};
}
