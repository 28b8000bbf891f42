#include "doctor/DoctorMachine.h"

#include "link/UsbCableLink.h"
#include "platform/PrivateProfile.h"
#include "platform/SettingsLocation.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace {
// Where the window keeps the firmware service's address and the port it uses.
const char* const SETTINGS_SECTION = "Settings";
const char* const KEY_FIRMWARE_SERVICE = "FIRMWARE SERVICE";
const char* const KEY_COM_PORT = "COM PORT";
const char* const FLATPAK_INFO = "/.flatpak-info";
constexpr std::size_t PASSWD_FIELDS = 7;

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// KEY=value lines, as logind writes its records.
std::string RecordValue(const std::string& path, const std::string& key)
{
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    }
    return {};
}

std::vector<std::string> SplitColons(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ':');)
        fields.push_back(field);
    return fields;
}

// The user `name` (or, when empty, the one with `uid`) from the tree's etc/passwd, else the
// system's database when the tree is the real one.
bool LookUpUser(const SystemRoots& roots, const std::string& name, uid_t uid, DoctorUser* pUser,
                gid_t* pGid)
{
    std::ifstream file(roots.etc + "/passwd");
    for (std::string line; std::getline(file, line);) {
        const std::vector<std::string> fields = SplitColons(line);
        if (fields.size() < PASSWD_FIELDS - 1)
            continue;
        const uid_t id = static_cast<uid_t>(std::strtoul(fields[2].c_str(), nullptr, 10));
        if (name.empty() ? id == uid : fields[0] == name) {
            pUser->name = fields[0];
            pUser->uid = id;
            *pGid = static_cast<gid_t>(std::strtoul(fields[3].c_str(), nullptr, 10));
            return true;
        }
    }
    if (roots.etc != "/etc")
        return false;
    const passwd* pEntry = name.empty() ? getpwuid(uid) : getpwnam(name.c_str());
    if (!pEntry)
        return false;
    pUser->name = pEntry->pw_name;
    pUser->uid = pEntry->pw_uid;
    *pGid = pEntry->pw_gid;
    return true;
}

// The groups etc/group lists `name` in, and its own.
std::vector<gid_t> ListedGroups(const SystemRoots& roots, const std::string& name, gid_t own)
{
    std::vector<gid_t> groups{own};
    std::ifstream file(roots.etc + "/group");
    for (std::string line; std::getline(file, line);) {
        const std::vector<std::string> fields = SplitColons(line);
        if (fields.size() < 4)
            continue;
        std::istringstream members(fields[3]);
        for (std::string member; std::getline(members, member, ',');) {
            if (member == name)
                groups.push_back(static_cast<gid_t>(std::strtoul(fields[2].c_str(), nullptr, 10)));
        }
    }
    return groups;
}

std::string Confinement(const std::string& root)
{
    if (!Env("SNAP_NAME").empty())
        return "snap " + Env("SNAP_NAME");
    std::error_code error;
    if (!Env("FLATPAK_ID").empty() || std::filesystem::exists(root + FLATPAK_INFO, error))
        return "flatpak " +
               (Env("FLATPAK_ID").empty() ? std::string("(unknown id)") : Env("FLATPAK_ID"));
    return {};
}
} // namespace

DoctorMachine DoctorMachine::Current()
{
    DoctorMachine machine;
    const std::string root = Env(DOCTOR_ROOT_VARIABLE);
    if (!root.empty()) {
        machine.roots = {root + "/proc", root + "/sys", root + "/dev", root + "/etc",
                         root + "/run",  root + "/var", root + "/usr"};
        machine.lib = root + "/lib";
    }
    machine.login = LoginIdentity::Current();
    machine.uid = geteuid();
    machine.session.id = Env("XDG_SESSION_ID");
    if (!machine.session.id.empty()) {
        const std::string record = machine.roots.run + "/systemd/sessions/" + machine.session.id;
        machine.session.seat = RecordValue(record, "SEAT");
        machine.session.type = RecordValue(record, "TYPE");
        machine.session.bRemote = RecordValue(record, "REMOTE") == "1";
        machine.session.bActive = RecordValue(record, "ACTIVE") == "1";
    }
    machine.sudoUser = Env("SUDO_USER");
    machine.confinement = Confinement(root);
#ifdef KX_INSTALL_PREFIX
    machine.installPrefix = KX_INSTALL_PREFIX;
#endif
    machine.d2xxLibrary = CUsbCableLink::DriverLibraryName();
    return machine;
}

std::string DoctorMachine::Shown(const std::string& path) const
{
    const std::pair<const std::string*, const char*> trees[] = {
        {&roots.etc, "/etc"}, {&roots.usr, "/usr"}, {&roots.dev, "/dev"},
        {&roots.sys, "/sys"}, {&roots.run, "/run"}, {&lib, "/lib"}};
    for (const auto& [pRoot, real] : trees) {
        if (path.rfind(*pRoot + "/", 0) == 0)
            return real + path.substr(pRoot->size());
    }
    return path;
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

std::string SavedDoctorPort(const std::string& settingsPath)
{
    if (settingsPath.empty())
        return {};
    return ReadPrivateProfileValue(SETTINGS_SECTION, KEY_COM_PORT, settingsPath.c_str())
        .value_or("");
}

bool FindDesktopUser(const DoctorMachine& machine, DoctorUser* pUser, std::string* pWhy)
{
    gid_t own = 0;
    pUser->bThisLogin = false;
    if (!machine.sudoUser.empty() && machine.sudoUser != "root") {
        if (!LookUpUser(machine.roots, machine.sudoUser, 0, pUser, &own)) {
            *pWhy = "SUDO_USER names " + machine.sudoUser + ", who is not in the user database";
            return false;
        }
    } else {
        const std::string active =
            RecordValue(machine.roots.run + "/systemd/seats/seat0", "ACTIVE_UID");
        if (active.empty()) {
            *pWhy = "it was not run through sudo and nobody is logged in at the computer's seat";
            return false;
        }
        const uid_t uid = static_cast<uid_t>(std::strtoul(active.c_str(), nullptr, 10));
        if (uid == 0 || !LookUpUser(machine.roots, "", uid, pUser, &own)) {
            *pWhy = "the user at the seat (uid " + active + ") is root or unknown";
            return false;
        }
    }
    pUser->groups = ListedGroups(machine.roots, pUser->name, own);
    return true;
}

DoctorUser ThisDoctorUser(const DoctorMachine& machine)
{
    return {machine.login.userName, machine.uid, machine.login.groups, true};
}
