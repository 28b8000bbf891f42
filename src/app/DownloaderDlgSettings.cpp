// Where the main dialog keeps its settings, and the firmware service address chosen at run time.
#include "app/DownloaderDlg.h"

#include "app/DoctorDlg.h"
#include "app/ServiceDlg.h"
#include "platform/SupportLog.h"
#include "platform/SettingsLocation.h"
#include "web/ServiceUrl.h"

#include <filesystem>
#include <system_error>


std::string CDownloaderDlg::ChooseSettingsFile()
{
    const std::string path = ChooseSettingsPath(ProbeSettingsPlaces(m_strProgramDir, KX_INSTALL_PREFIX));
    std::error_code error;
    if (!path.empty())
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    return path;
}

void CDownloaderDlg::OnSettingsWriteFailed(const std::string& path)
{
    // Said once: every later write fails the same way, and the list is for the update.
    if (m_bSettingsFailureShown)
        return;
    m_bSettingsFailureShown = true;
    const std::string where = path.empty() ? std::string(": no user folder ($HOME) is known")
                                           : " to " + path;
    LogLine("Settings cannot be saved" + where + "; they will be lost when the program ends.");
}

void CDownloaderDlg::ApplyServiceAddress()
{
    // The setting overrides the built-in address, the command line overrides both.
    for (const std::string& candidate :
         {m_ini.GetString(SETTINGS_SECTION, KEY_FIRMWARE_SERVICE), m_strServiceOverride}) {
        if (candidate.empty())
            continue;
        std::string url;
        std::string reason;
        if (CheckServiceUrl(candidate, url, reason))
            SetWebBaseUrl(url);
        else
            LogLine("Firmware service \"" + candidate + "\" not used: " + reason + ". " +
                    (m_engine.WebBaseUrl().empty() ? std::string("No firmware service is set.")
                                                   : "Using " + m_engine.WebBaseUrl() + "."));
    }
}

void CDownloaderDlg::OnFirmwareService()
{
    CServiceDlg dlg(this);
    dlg.SetAddress(m_engine.WebBaseUrl());
    if (dlg.exec() == QDialog::Accepted)
        SetFirmwareService(dlg.Address());
}

void CDownloaderDlg::SetFirmwareService(const std::string& url)
{
    m_ini.WriteString(SETTINGS_SECTION, KEY_FIRMWARE_SERVICE, url.c_str());
    SetWebBaseUrl(url);
    LogLine(url.empty() ? std::string("No firmware service is set.") : "Firmware service: " + url);
}

void CDownloaderDlg::OnCheckComputer()
{
    DoctorMachine machine = DoctorMachine::Current();
    machine.settingsPath = m_ini.Path() ? m_ini.Path() : "";
    machine.logPath = m_pSupportLog ? m_pSupportLog->Path() : CSupportLog::DefaultPath();
    machine.serviceUrl = m_engine.WebBaseUrl();
    CDoctorDlg dlg(this);
    dlg.Run(machine);
    dlg.exec();
}
