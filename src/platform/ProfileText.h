// The lines of an INI file as the private-profile functions see them, read one at a time so
// that a file of any size costs no more memory than its longest line: where a section and a
// key are, the key's value, and the line ends the file uses.
#pragma once

#include <cstddef>
#include <cstdio>
#include <istream>
#include <optional>
#include <string>

struct ProfilePlace {
    std::optional<size_t> sectionLine; // index of the section's header line
    size_t sectionEnd = 0;             // index after the section's last key line
    std::optional<size_t> keyLine;     // index of the key's line
    std::optional<std::string> value;  // the key's value, without surrounding blanks
    std::string lineEnd = "\n";        // "\r\n" when the file's first line ends so
};

// Reads `in` to the end of the first section named `section` (names match without regard to
// case); with bStopAtKey, stops at the key's line already.
ProfilePlace ScanProfile(std::istream& in, const char* section, const char* key, bool bStopAtKey);

// Copies `in` to `out` with `entry` ("key=value") put in the place `place` found: over the key's
// line, after the section's last key, or in a new section at the end. Every line keeps its own
// line end; new lines, and a last line that had none, get the file's. False on a write error.
bool CopyProfileWithEntry(std::istream& in, std::FILE* out, const ProfilePlace& place,
                          const char* section, const std::string& entry);

// True when `text` can be a section name, a key or a value without changing any other line:
// no line break, and for names none of the characters that end them ('=' in a key, ']' in a
// section) nor a comment mark at the start of a key.
bool IsProfileValue(const char* text);
bool IsProfileKey(const char* text);
bool IsProfileSection(const char* text);
