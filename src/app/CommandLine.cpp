#include "app/CommandLine.h"

#include "KxVersion.h"

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
        } else if (arg.rfind("--", 0) == 0) {
            return {EAction::Error, {}, "unknown option " + arg};
        }
    }
    return options;
}

std::string DownloaderUsage()
{
    return "Usage: kestova-downloader [--service URL] [Qt options]\n"
           "Updates the firmware of a kx410 unit through a Tetherix cable.\n"
           "\n"
           "  --service URL  firmware service address (http or https); overrides the\n"
           "                 FIRMWARE SERVICE setting and the built-in " KX_WEB_BASE_URL "\n"
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
