// INI-file reading and writing with the behaviour of the classic private-profile functions:
// section and key names match without regard to case, an absent key gives the default, and
// the first write creates the file and the section. Every other line of the file is kept as
// it was, with its own line end. A write keeps what the file is (see FileRewrite.h), so a crash
// in the middle of a write never leaves a truncated settings file behind; it reads and writes a
// line at a time, so a file of any size costs no more memory than its longest line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The whole value of `key` in `section`, read in one pass over the file; nothing when the
// file, the section or the key is absent.
std::optional<std::string> ReadPrivateProfileValue(const char* section, const char* key,
                                                   const char* filePath);

// Writes key=value into section; returns nonzero on success, zero also when a name or the value
// would change another line (a line break, '=' in a key, ']' in a section name).
int WritePrivateProfileString(const char* section, const char* key, const char* value,
                              const char* filePath);
