// Numbers read from the texts the unit and the images carry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Value of the leading decimal digits of text; 0 when it does not start with a digit. No sign
// and no blanks are accepted. Meant for short fields (two digits); stops before overflowing int.
int DecimalValue(std::string_view text);

// Value of the leading hexadecimal digits (0-9, a-f, A-F) of text; 0 when there are none. Only
// the first 8 digits count, so the result always fits 32 bits.
std::uint32_t HexValue(std::string_view text);

// The 32-bit value written in decimal as a signed 32-bit integer (0x80000000 and above come out
// negative, 0xFFFFFFFF is "-1").
std::string SignedDecimalText(std::uint32_t value);

// A version field's number, "1.07" for "0107": its first two characters are the major number,
// the next two the minor one ("0.00" for none).
std::string VersionNumberText(std::string_view fourDigits);
// The same, but empty for an empty field.
std::string VersionNumber(std::string_view fourDigits);
