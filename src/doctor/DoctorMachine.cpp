#include "doctor/DoctorMachine.h"

#include "link/UsbCableLink.h"
#include "platform/PrivateProfile.h"
#include "platform/SettingsLocation.h"

#include <cstdlib>
#include <unistd.h>

namespace {
// Where the window keeps the firmware service's address.
const char* const SETTINGS_SECTION = "Settings";
const char* const KEY_FIRMWARE_SERVICE = "FIRMWARE SERVICE";
} // namespace

DoctorMachine DoctorMachine::Current()
{
    DoctorMachine machine;
    const char* root = std::getenv(DOCTOR_ROOT_VARIABLE);
    if (root != nullptr && *root != '\0') {
        const std::string base = root;
        machine.roots = {base + "/proc", base + "/sys", base + "/dev", base + "/etc",
                         base + "/run",  base + "/var", base + "/usr"};
    }
    machine.login = LoginIdentity::Current();
    machine.uid = geteuid();
    machine.d2xxLibrary = CUsbCableLink::DriverLibraryName();
    return machine;
}

DoctorSettings FindDoctorSettings(const std::string& programDir, const std::string& installPrefix,
                                  const std::string& builtInUrl, const std::string& overrideUrl)
{
    DoctorSettings settings;
    settings.path = ChooseSettingsPath(ProbeSettingsPlaces(programDir, installPrefix));
    settings.serviceUrl = builtInUrl;
    if (!settings.path.empty()) {
        const std::optional<std::string> saved =
            ReadPrivateProfileValue(SETTINGS_SECTION, KEY_FIRMWARE_SERVICE, settings.path.c_str());
        if (saved && !saved->empty())
            settings.serviceUrl = *saved;
    }
    if (!overrideUrl.empty())
        settings.serviceUrl = overrideUrl;
    return settings;
}
