#include "app/SettingsStore.h"

#include "platform/ProgramPath.h"
#include "platform/SettingsLocation.h"

#include <QDir>

#include <filesystem>
#include <system_error>

namespace {
constexpr const char* SECTION = "Settings";
constexpr const char* KEY_COM_PORT = "COM PORT";
constexpr const char* KEY_LAST_DIRECTORY = "LAST DIRECTORY";
constexpr const char* KEY_FIRMWARE_SERVICE = "FIRMWARE SERVICE";
} // namespace

CSettingsStore::CSettingsStore(std::function<void(const std::string&)> fnSay)
    : m_fnSay(std::move(fnSay))
{
}

std::string CSettingsStore::ProgramDir() const
{
    return m_strProgramDirOverride.empty() ? DirectoryOf(GetModuleFileName())
                                           : m_strProgramDirOverride;
}

void CSettingsStore::Open()
{
    const std::string path =
        ChooseSettingsPath(ProbeSettingsPlaces(ProgramDir(), KX_INSTALL_PREFIX));
    std::error_code error;
    if (!path.empty())
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    m_ini.SetPath(path.c_str());
    m_ini.SetWriteFailedHandler([this](const std::string& failed) { OnWriteFailed(failed); });
    WriteFirstRunDefaults();
    m_strLastDirectory = m_ini.GetString(SECTION, KEY_LAST_DIRECTORY);
}

void CSettingsStore::WriteFirstRunDefaults()
{
    if (m_ini.KeyExists(SECTION, KEY_COM_PORT))
        return;
    // The program's own folder is where its files are looked for first, as long as it keeps
    // its settings beside itself (a portable copy); an installed program starts in the home.
    const std::string programDir = ProgramDir();
    const std::string home = QDir::homePath().toStdString();
    const bool bPortable = m_ini.Path() && DirectoryOf(m_ini.Path()) == programDir;
    const std::string firstDir = bPortable || home.empty() ? programDir : home;
    m_ini.WriteString(SECTION, KEY_LAST_DIRECTORY, firstDir.c_str());
    m_ini.WriteString(SECTION, KEY_COM_PORT, "");
}

void CSettingsStore::OnWriteFailed(const std::string& path)
{
    // Said once: every later write fails the same way, and the list is for the update.
    if (m_bFailureShown)
        return;
    m_bFailureShown = true;
    const std::string where =
        path.empty() ? std::string(": no user folder ($HOME) is known") : " to " + path;
    m_fnSay("Settings cannot be saved" + where + "; they will be lost when the program ends.");
}

std::string CSettingsStore::SavedPort() const { return m_ini.GetString(SECTION, KEY_COM_PORT); }

void CSettingsStore::SavePort(const std::string& lastingName)
{
    m_ini.WriteString(SECTION, KEY_COM_PORT, lastingName.c_str());
}

void CSettingsStore::SaveLastDirectory(const std::string& dir)
{
    m_ini.WriteString(SECTION, KEY_LAST_DIRECTORY, dir.c_str());
    m_strLastDirectory = dir;
}

std::string CSettingsStore::FirmwareService() const
{
    return m_ini.GetString(SECTION, KEY_FIRMWARE_SERVICE);
}

void CSettingsStore::SaveFirmwareService(const std::string& url)
{
    m_ini.WriteString(SECTION, KEY_FIRMWARE_SERVICE, url.c_str());
}
