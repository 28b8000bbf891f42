// Checks a firmware service address given at run time (setting or command line).
#pragma once

#include <string>

// True when `text` is an http:// or https:// address with a host (scheme in any case, no
// blanks or control characters); `normalized` is then the address without trailing '/'.
// Otherwise false, with `reason` saying what is wrong in words a user understands.
bool CheckServiceUrl(const std::string& text, std::string& normalized, std::string& reason);
