// The downloader's command line, read before any window exists so that --help and --version
// are answered without a display.
#pragma once

#include <string>
#include <vector>

struct DownloaderOptions {
    enum class EAction { Run, Help, Version, Error };
    EAction action = EAction::Run;
    std::string strService;   // --service URL, as given (checked when the window starts)
    std::string strError;     // what was wrong, for EAction::Error
    std::string strFile = {}; // a programming file to open once a unit is identified (absolute)
    bool bBench = false;      // --bench: the service bench instead of the one-unit window
    std::vector<std::string> ports = {}; // -p/--port: the bench's channels (none: every Tetherix)
    bool bAuto = false;       // --auto: the bench starts each unit when it is identified
};

// Options of our own start with "--" (and -p PORT, the bench's channel); other options with one
// dash are left to Qt (-platform, ...), with the value of those of Qt's that take one. A word
// that is neither is the file to open.
DownloaderOptions ParseDownloaderOptions(const std::vector<std::string>& args);

// Why the programming file a start names cannot be opened ("No such file or directory",
// "Permission denied", "Is a directory"); empty when it can.
std::string StartFileProblem(const std::string& path);

// The texts printed for --help and --version.
std::string DownloaderUsage();
std::string DownloaderVersionText();
// The one line said when the window cannot be shown: there is no graphical session.
std::string NoDisplayText();
