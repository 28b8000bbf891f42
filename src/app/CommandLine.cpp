#include "app/CommandLine.h"

#include "KxVersion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {
// Qt's own options that take a value in the next word.
bool IsQtOptionWithValue(const std::string& arg)
{
    static const char* const WITH_VALUE[] = {
        "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-display",
        "-geometry", "-qwindowgeometry", "-qwindowicon", "-qwindowtitle", "-title",
        "-style", "-stylesheet", "-session", "-name", "-qmljsdebugger"};
    return std::any_of(std::begin(WITH_VALUE), std::end(WITH_VALUE),
                       [&](const char* option) { return arg == option; });
}

std::string Absolute(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}
} // namespace

std::string StartFileProblem(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return std::strerror(errno);
    if (S_ISDIR(info.st_mode))
        return std::strerror(EISDIR);
    if (!S_ISREG(info.st_mode))
        return "not a plain file";
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    close(fd);
    return {};
}

DownloaderOptions ParseDownloaderOptions(const std::vector<std::string>& args)
{
    using EAction = DownloaderOptions::EAction;
    DownloaderOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h")
            return {EAction::Help, {}, {}};
        if (arg == "--version")
            return {EAction::Version, {}, {}};
        if (arg == "--service") {
            if (i + 1 >= args.size())
                return {EAction::Error, {}, "--service needs an address"};
            options.strService = args[++i];
        } else if (arg.rfind("--service=", 0) == 0) {
            options.strService = arg.substr(10);
        } else if (arg == "--bench") {
            options.bBench = true;
        } else if (arg == "--auto") {
            options.bAuto = true;
        } else if (arg == "-p" || arg == "--port") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return {EAction::Error, {}, arg + " needs a port"};
            if (std::find(options.ports.begin(), options.ports.end(), args[i + 1]) !=
                options.ports.end())
                return {EAction::Error, {}, "port " + args[i + 1] + " is given twice"};
            options.ports.push_back(args[++i]);
        } else if (arg.rfind("--", 0) == 0) {
            return {EAction::Error, {}, "unknown option " + arg};
        } else if (IsQtOptionWithValue(arg)) {
            ++i;
        } else if (!arg.empty() && arg[0] != '-') {
            if (!options.strFile.empty())
                return {EAction::Error, {}, "only one programming file can be opened"};
            options.strFile = Absolute(arg);
        }
    }
    if (!options.bBench && (options.bAuto || !options.ports.empty()))
        return {EAction::Error, {}, options.bAuto ? "--auto needs --bench" : "-p needs --bench"};
    return options;
}

std::string DownloaderUsage()
{
    return "Usage: kestova-downloader [--service URL] [Qt options] [FILE.fwr]\n"
           "       kestova-downloader --bench [-p PORT]... [--auto] [FILE.fwr]\n"
           "Updates the firmware of a kx410 unit through a Tetherix cable. A FILE is\n"
           "opened as Open Local File once the unit is identified.\n"
           "\n"
           "  --bench        the service bench: several units at once, one row per port,\n"
           "                 FILE the image for every unit\n"
           "  -p, --port PORT  a channel of the bench (repeatable; as kestova-flash -p takes\n"
           "                 it); without -p every Tetherix cable is a channel\n"
           "  --auto         the bench starts each unit when it is identified\n"
           "  --service URL  firmware service address (http or https); overrides the\n"
           "                 FIRMWARE SERVICE setting (also set by Firmware Service...\n"
           "                 in the window menu)\n"
           "  --help         show this text and exit\n"
           "  --version      show the version and exit\n"
           "\n"
           "Settings: $XDG_CONFIG_HOME/Kestova/Kestova.ini for an installed program; a copy\n"
           "elsewhere uses a Kestova.ini beside itself when there is one or when it is a\n"
           "portable copy in a folder of yours. Support log:\n"
           "$XDG_STATE_HOME/kestova/downloader.log.\n";
}

std::string DownloaderVersionText()
{
    return "kestova-downloader " KX_VERSION "\n";
}

std::string NoDisplayText()
{
    return "kestova-downloader needs a graphical session (no display was found); in a terminal, "
           "use kestova-flash.\n";
}
