// Where the settings file lives. An installed program (its folder under the install prefix or a
// system prefix such as /usr, /usr/local or /opt) never writes beside itself, not even as root:
// it uses the user's file, $XDG_CONFIG_HOME/Kestova/Kestova.ini. Any other copy that already has
// a Kestova.ini beside itself uses that one (read, and written where it may be), and a portable
// copy (a build tree, or a folder this user owns) that may write its folder starts one there.
#pragma once

#include <string>
#include <vector>

struct SettingsPlaces {
    std::string programDir;         // the executable's folder
    bool bInstalled = false;        // under the install prefix or a system prefix
    bool bPortable = false;         // a build tree or a folder of this user's, which it may write
    bool bBesideFileExists = false; // a Kestova.ini beside the executable
    std::string configHome;         // $XDG_CONFIG_HOME or ~/.config; empty when unknown
};

// "<configHome>/Kestova/Kestova.ini".
std::string UserSettingsPath(const std::string& configHome);
// The settings file to read and write. Without a user folder, a program that is not installed
// uses its own folder even when it cannot be written, and an installed one has none (empty);
// the failed writes are then reported by the caller.
std::string ChooseSettingsPath(const SettingsPlaces& places);
// True when `dir` is one of `prefixes` or lies under one; "/" and empty prefixes are ignored.
bool IsUnderPrefix(const std::string& dir, const std::vector<std::string>& prefixes);
// The places as this process finds them for a program in `programDir`, installed under
// `installPrefix` by the build.
SettingsPlaces ProbeSettingsPlaces(const std::string& programDir, const std::string& installPrefix);
