// Where the running program lives.
#pragma once

#include <string>

// Full path of the running executable (from /proc/self/exe); empty when it cannot be read.
std::string GetModuleFileName();

// The directory part of a path: everything before its last '/', or the path itself when it
// has no '/'.
std::string DirectoryOf(const std::string& path);
