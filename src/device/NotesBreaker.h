// Breaking an image's release notes into status-list pieces of limited width.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

inline constexpr std::size_t NOTES_PIECE_MAX_CHARS = 75;
inline constexpr const char* NOTES_PREFIX = "Version Notes: ";

// Splits text into pieces of at most maxChars characters. A remainder shorter than maxChars is
// the last piece. Otherwise a piece ends at the last blank within its first maxChars characters
// (the blank stays at the end of the piece); a run of maxChars characters without a blank is
// broken hard after maxChars. Empty text gives no pieces. maxChars 0 is treated as 1.
std::vector<std::string> BreakNotes(const std::string& text,
                                    std::size_t maxChars = NOTES_PIECE_MAX_CHARS);
