#include "device/NotesBreaker.h"

#include <string_view>

namespace {

// Length of the next piece of a remainder that holds at least maxChars characters: up to and
// including the last blank among its first maxChars characters, or maxChars when there is none.
std::size_t PieceLength(const std::string& text, std::size_t start, std::size_t maxChars)
{
    // Only the piece's own characters are searched: looking further back would make a long
    // text without blanks cost the square of its length.
    const std::size_t lastBlank = std::string_view(text).substr(start, maxChars).rfind(' ');
    if (lastBlank == std::string_view::npos) {
        return maxChars;
    }
    return lastBlank + 1;
}

}  // namespace

std::vector<std::string> BreakNotes(const std::string& text, std::size_t maxChars)
{
    if (maxChars == 0) {
        maxChars = 1;
    }
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t remaining = text.size() - start;
        if (remaining < maxChars) {
            pieces.push_back(text.substr(start));
            break;
        }
        const std::size_t length = PieceLength(text, start, maxChars);
        pieces.push_back(text.substr(start, length));
        start += length;
    }
    return pieces;
}
