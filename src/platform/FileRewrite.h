// Rewrites a file from its old content and keeps what the file is: a symbolic link stays a
// link and its target is written, the mode and owner stay, and other names of the same file
// (hard links) see the new content. The file is replaced atomically (a temporary file beside
// it, renamed over it) where that changes nothing else: not a link, a folder this process
// may write, and a temporary that can take the file's mode and owner. Otherwise the file is
// written in place, after a copy of it has been made, which is put back should the write fail.
#pragma once

#include <cstdio>
#include <functional>
#include <istream>
#include <string>

// Makes the new content from the old one (an empty stream for a new file) into `out`; false
// abandons the write.
using FileContentProducer = std::function<bool(std::istream& old, std::FILE* out)>;

// False when the file cannot be written (a file this process may not write, a missing folder,
// a write error) or `produce` refused; the file is then as it was.
bool RewriteFile(const std::string& path, const FileContentProducer& produce);
