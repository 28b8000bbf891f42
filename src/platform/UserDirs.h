// The per-user folders of the XDG base-directory convention, and whether a folder may be
// written by this process.
#pragma once

#include <string>

// $XDG_CONFIG_HOME, or $HOME/.config when it is unset, empty or not absolute; empty when
// neither gives an absolute folder.
std::string XdgConfigHome();
// $XDG_STATE_HOME, or $HOME/.local/state in the same way.
std::string XdgStateHome();
// True when this process may create files in `dir` (an existing folder).
bool IsWritableDirectory(const std::string& dir);
// True when `path` exists and belongs to this process's user.
bool IsOwnedByThisUser(const std::string& path);
