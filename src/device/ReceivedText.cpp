#include "device/ReceivedText.h"

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

void AlignIdentification(std::string& buffer)
{
    const std::size_t firstDot = buffer.find('.');
    if (firstDot != std::string::npos) {
        buffer.erase(0, firstDot);
    }
    if (buffer.size() < 2) {
        return;
    }
    const std::size_t restChars = buffer.size() - 1;
    const bool bRestHasDot = buffer.find('.', 1) != std::string::npos;
    if (bRestHasDot && restChars > ALIGNMENT_DROP_CHARS) {
        buffer.erase(0, ALIGNMENT_DROP_CHARS);
    }
}

bool IdentificationComplete(const std::string& buffer)
{
    return buffer.find('.') != std::string::npos && buffer.size() >= IDENTIFICATION_MIN_CHARS;
}
