// The window's settings: the Kestova.ini it keeps (beside a portable copy, else the user's), the
// keys it holds, and a failed write said once.
#pragma once

#include "app/IniFile.h"

#include <functional>
#include <string>

class CSettingsStore {
public:
    // fnSay shows a sentence in the window's status list.
    explicit CSettingsStore(std::function<void(const std::string&)> fnSay);

    // Where the executable's folder is taken from; tests may place the settings elsewhere.
    void SetProgramDirOverride(const std::string& dir) { m_strProgramDirOverride = dir; }
    // Finds the settings file and writes a first run's defaults.
    void Open();
    const char* Path() const { return m_ini.Path(); }

    // The saved port's lasting name (empty: none chosen yet).
    std::string SavedPort() const;
    void SavePort(const std::string& lastingName);
    // The folder Open Local File and Save Support Log start in.
    const std::string& LastDirectory() const { return m_strLastDirectory; }
    void SaveLastDirectory(const std::string& dir);
    std::string FirmwareService() const;
    void SaveFirmwareService(const std::string& url);

private:
    std::string ProgramDir() const;
    void WriteFirstRunDefaults();
    void OnWriteFailed(const std::string& path);

    std::function<void(const std::string&)> m_fnSay;
    CIniFile m_ini;
    std::string m_strProgramDirOverride;
    std::string m_strLastDirectory;
    bool m_bFailureShown = false;
};
