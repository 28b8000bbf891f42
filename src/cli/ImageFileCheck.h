// The programming file named with --file, checked before any port is opened, so that a wrong
// path or a file that is no image ends the run at once instead of after the unit answered.
#pragma once

#include <string>

// Empty when `path` names a plain file that can be read, is not too large and holds a valid
// kx410 image; otherwise what is wrong, with the path and the system's own words for it
// ("/tmp/a.fwr: No such file or directory").
std::string CheckImageFile(const std::string& path);
