// Pure helpers for the received-text buffer (m_strReceived): cleaning the bytes from the cable,
// appending chunks with the buffer's trim, and recognising the unit's identification text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "device/TextValues.h"

inline constexpr std::size_t RECEIVED_TRIM_CHARS = 80;  // protocol buffer
inline constexpr std::size_t ECHO_TRIM_CHARS = 10;      // echo-test buffer
inline constexpr std::size_t IDENTIFICATION_MIN_CHARS = 67;
inline constexpr std::size_t ALIGNMENT_DROP_CHARS = 5;

// The n bytes as text: printable ASCII (0x20-0x7E) and white space (0x09-0x0D) kept, every
// other byte (NUL included) replaced by "?". The result has exactly n characters.
std::string CleanReceivedBytes(const char* bytes, std::size_t n);

// Appends chunk to buffer; when the buffer then holds trimAtChars characters or more, its first
// character is removed (exactly one per chunk, whatever the chunk's length).
void AppendReceivedChunk(std::string& buffer, std::string_view chunk,
                         std::size_t trimAtChars = RECEIVED_TRIM_CHARS);

// Aligns the buffer on the identification text: drops everything before the first "."; then, if
// the text after the buffer's first character contains a "." and is longer than 5 characters,
// drops the buffer's first 5 characters.
void AlignIdentification(std::string& buffer);

// True when the (aligned) buffer contains a "." and holds at least 67 characters.
bool IdentificationComplete(const std::string& buffer);
