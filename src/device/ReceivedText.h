// Pure helpers for the received-text buffer (m_strReceived): cleaning the bytes from the cable,
// appending chunks with the buffer's trim, and finding the unit's identification text in it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "device/TextValues.h"

inline constexpr std::size_t RECEIVED_TRIM_CHARS = 80;  // protocol buffer
inline constexpr std::size_t ECHO_TRIM_CHARS = 10;      // echo-test buffer
inline constexpr std::size_t IDENTIFICATION_MIN_CHARS = 67;

// The n bytes as text: printable ASCII (0x20-0x7E) and white space (0x09-0x0D) kept, every
// other byte (NUL included) replaced by "?". The result has exactly n characters.
std::string CleanReceivedBytes(const char* bytes, std::size_t n);

// Appends chunk to buffer; when the buffer then holds trimAtChars characters or more, its first
// character is removed (exactly one per chunk, whatever the chunk's length).
void AppendReceivedChunk(std::string& buffer, std::string_view chunk,
                         std::size_t trimAtChars = RECEIVED_TRIM_CHARS);

// Where the unit's identification text stands in the received text.
struct IdentificationScan {
    bool bComplete = false;               // a whole, well-formed text starts at pos
    std::size_t pos = std::string::npos;  // where it starts or may still start; npos: nowhere
};

// Finds the identification text by its structure, not by where a "." falls: a "." and, counted
// from it, the boot loader version at 9-12 and the application version at 13-16 (four decimal
// digits each), the product id at 17-20 (four letters or digits) and the serial number at 21-28
// (eight hex digits), IDENTIFICATION_MIN_CHARS characters in all. The first place where such a
// text is whole, or else the first where the characters so far could begin one.
IdentificationScan FindIdentification(std::string_view text);
