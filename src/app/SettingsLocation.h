// Where the settings file lives: beside the executable when that folder may be written (a
// build tree, a portable copy), else in the user's configuration folder. A file already in the
// user's folder wins, so that settings saved there once are always found again.
#pragma once

#include <string>

struct SettingsPlaces {
    std::string programDir;         // the executable's folder
    bool bProgramDirWritable = false;
    std::string configHome;         // $XDG_CONFIG_HOME or ~/.config; empty when unknown
    bool bUserFileExists = false;   // the file in the user's folder is there already
};

// "<configHome>/Kestova/Kestova.ini".
std::string UserSettingsPath(const std::string& configHome);
// The settings file to read and write. Without a user folder the program's folder is used
// even when it cannot be written; the failed writes are then reported by the caller.
std::string ChooseSettingsPath(const SettingsPlaces& places);
