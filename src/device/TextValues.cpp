#include "device/TextValues.h"

#include <algorithm>
#include <cstdio>

#include <climits>

namespace {

constexpr std::size_t HEX_DIGITS_32 = 8;

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

int DecimalValue(std::string_view text)
{
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        const int digit = c - '0';
        if (value > (INT_MAX - digit) / 10) {
            break;
        }
        value = value * 10 + digit;
    }
    return value;
}

std::uint32_t HexValue(std::string_view text)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < text.size() && i < HEX_DIGITS_32; ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0) {
            break;
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::string SignedDecimalText(std::uint32_t value)
{
    return std::to_string(static_cast<std::int32_t>(value));
}

std::string VersionNumberText(std::string_view fourDigits)
{
    constexpr std::size_t HALF_CHARS = 2;
    const int major = DecimalValue(fourDigits.substr(0, HALF_CHARS));
    const int minor = DecimalValue(fourDigits.substr(std::min(fourDigits.size(), HALF_CHARS), HALF_CHARS));
    char text[32];
    std::snprintf(text, sizeof text, "%i.%02i", major, minor);
    return text;
}

std::string VersionNumber(std::string_view fourDigits)
{
    return fourDigits.empty() ? std::string() : VersionNumberText(fourDigits);
}
