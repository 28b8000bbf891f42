#include "cli/FlashOptions.h"

#include "KxVersion.h"
#include "web/ServiceUrl.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {
constexpr long MAX_TIMEOUT_S = 3600;

FlashOptions Only(FlashOptions::EAction action)
{
    FlashOptions options;
    options.action = action;
    return options;
}

FlashOptions Fail(const std::string& text)
{
    FlashOptions options = Only(FlashOptions::EAction::Error);
    options.strError = text;
    return options;
}

bool TakesValue(const std::string& name)
{
    return name == "--port" || name == "--file" || name == "--service" || name == "--log" ||
           name == "--timeout" || name == "--serial";
}

// The short options, as esptool and avrdude spell them, and the long option each stands for.
struct ShortOption {
    char letter;
    const char* longName;
};
constexpr ShortOption SHORT_OPTIONS[] = {
    {'p', "--port"}, {'f', "--file"},    {'y', "--yes"},     {'q', "--quiet"},
    {'v', "--verbose"}, {'V', "--version"}, {'h', "--help"},
};

const char* LongNameOf(char letter)
{
    for (const ShortOption& option : SHORT_OPTIONS)
        if (option.letter == letter)
            return option.longName;
    return nullptr;
}

// Rewrites short options into long ones: "-p X" and "-pX" become "--port=X", "-yq" becomes
// "--yes --quiet". An unknown letter leaves the word as it is, to be refused with its name.
std::vector<std::string> ExpandShortOptions(const std::vector<std::string>& args)
{
    std::vector<std::string> expanded;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-' || arg[1] == '-') {
            expanded.push_back(arg);
            continue;
        }
        std::vector<std::string> words;
        std::size_t at = 1;
        for (; at < arg.size(); ++at) {
            const char* name = LongNameOf(arg[at]);
            if (name == nullptr)
                break;
            if (!TakesValue(name)) {
                words.push_back(name);
                continue;
            }
            // The rest of the word is the value, else the next word (a missing one is said later).
            if (at + 1 < arg.size())
                words.push_back(std::string(name) + "=" + arg.substr(at + 1));
            else if (i + 1 < args.size())
                words.push_back(std::string(name) + "=" + args[++i]);
            else
                words.push_back(name);
            at = arg.size();
            break;
        }
        if (at < arg.size()) {
            expanded.push_back(arg);
            continue;
        }
        expanded.insert(expanded.end(), words.begin(), words.end());
    }
    return expanded;
}

bool ParseSeconds(const std::string& text, int& seconds)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || value < 1 || value > MAX_TIMEOUT_S)
        return false;
    seconds = static_cast<int>(value);
    return true;
}

// The actions that exclude each other; the count of those given decides.
int CountActions(bool bList, bool bDoctor, bool bIdentify, bool bEcho, bool bImage, bool bHistory)
{
    return int(bList) + int(bDoctor) + int(bIdentify) + int(bEcho) + int(bImage) + int(bHistory);
}
} // namespace

FlashOptions ParseFlashOptions(const std::vector<std::string>& givenArgs)
{
    const std::vector<std::string> args = ExpandShortOptions(givenArgs);
    FlashOptions options;
    bool bList = false, bDoctor = false, bIdentify = false, bEcho = false, bServiceGiven = false,
         bHistory = false;
    std::string service;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool bHasValue = false;
        const std::size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            bHasValue = true;
        }
        if (TakesValue(name)) {
            if (!bHasValue) {
                if (i + 1 >= args.size())
                    return Fail(name + " needs a value");
                value = args[++i];
            }
            if (value.empty())
                return Fail(name + " needs a value");
        } else if (bHasValue) {
            return Fail(name + " takes no value");
        }
        if (name == "--help")
            return Only(FlashOptions::EAction::Help);
        if (name == "--version")
            return Only(FlashOptions::EAction::Version);
        if (name == "--port") {
            if (std::find(options.ports.begin(), options.ports.end(), value) != options.ports.end())
                return Fail("port " + value + " is given twice");
            options.ports.push_back(value);
        } else if (name == "--file") {
            if (!options.strFile.empty())
                return Fail("--file is given twice");
            options.strFile = value;
        } else if (name == "--service") {
            service = value;
            bServiceGiven = true;
        } else if (name == "--log") {
            options.strLogPath = value;
        } else if (name == "--timeout") {
            if (!ParseSeconds(value, options.nTimeoutS))
                return Fail("--timeout wants whole seconds from 1 to " + std::to_string(MAX_TIMEOUT_S) +
                            ", not \"" + value + "\"");
        } else if (name == "--web") {
            options.bWeb = true;
        } else if (name == "--list") {
            bList = true;
        } else if (name == "--history") {
            bHistory = true;
        } else if (name == "--serial") {
            if (value.find_first_not_of("-0123456789") != std::string::npos)
                return Fail("--serial wants a unit's serial number, not \"" + value + "\"");
            options.strSerial = value;
        } else if (name == "--doctor") {
            bDoctor = true;
        } else if (name == "--fix") {
            options.bFix = true;
        } else if (name == "--identify") {
            bIdentify = true;
        } else if (name == "--echo-test") {
            bEcho = true;
        } else if (name == "--yes") {
            options.bYes = true;
        } else if (name == "--json") {
            options.bJson = true;
        } else if (name == "--verbose") {
            options.bVerbose = true;
        } else if (name == "--quiet") {
            options.bQuiet = true;
        } else {
            return Fail("unknown option " + args[i]);
        }
    }

    if (!options.strFile.empty() && options.bWeb)
        return Fail("give --file or --web, not both");
    if (options.bQuiet && options.bVerbose)
        return Fail("give --quiet or --verbose, not both");
    if (bServiceGiven && !options.bWeb && !bDoctor)
        return Fail("--service only goes with --web or --doctor");
    if (bServiceGiven) {
        std::string reason;
        if (!CheckServiceUrl(service, options.strService, reason))
            return Fail("--service " + service + ": " + reason);
    }
    const bool bImage = options.bWeb || !options.strFile.empty();
    if (CountActions(bList, bDoctor, bIdentify, bEcho, bImage, bHistory) > 1)
        return Fail("give one of --list, --doctor, --history, --identify, --echo-test, --file or --web");
    if (!options.strSerial.empty() && !bHistory)
        return Fail("--serial only goes with --history");
    if (bHistory) {
        if (!options.ports.empty())
            return Fail("--history takes no --port");
        options.action = FlashOptions::EAction::History;
        return options;
    }
    if (options.bFix && !bDoctor)
        return Fail("--fix only goes with --doctor");
    if (bDoctor) {
        if (!options.ports.empty())
            return Fail("--doctor takes no --port");
        options.action = FlashOptions::EAction::Doctor;
        return options;
    }
    if (bList) {
        if (!options.ports.empty())
            return Fail("--list takes no --port");
        options.action = FlashOptions::EAction::List;
        return options;
    }
    if (options.ports.empty())
        return Fail("name the unit's cable with --port (see --list)");
    if (bIdentify || bEcho) {
        options.action = bIdentify ? FlashOptions::EAction::Identify : FlashOptions::EAction::EchoTest;
        return options;
    }
    if (!bImage)
        return Fail("give the image with --file F.fwr or --web (or --identify, --echo-test)");
    options.action = FlashOptions::EAction::Update;
    return options;
}

std::string FlashUsage()
{
    return "usage: kestova-flash --list [--json]\n"
           "       kestova-flash --history [--json] [--serial N]\n"
           "       kestova-flash --doctor [--fix] [--json] [-q | -v] [--service URL]\n"
           "       kestova-flash -p NAME... (-f F.fwr | --web [--service URL])\n"
           "                     [-y] [--json] [-q | -v] [--timeout S] [--log FILE]\n"
           "       kestova-flash -p NAME... (--identify | --echo-test) [--json] [-q | -v]\n"
           "       kestova-flash -h | -V\n"
           "\n"
           "  --list            list the serial ports, and USB when the Tetherix cable is there\n"
           "  --history         the updates made on this account, newest first\n"
           "  --serial N        with --history: only the unit with serial number N\n"
           "  --doctor          check this computer for the Tetherix: cable, access, udev rule,\n"
           "                    programs that take serial ports, D2XX, latency, service, files\n"
           "  --fix             with --doctor: offer to install and apply the udev rule\n"
           "  -p, --port NAME   a name from --list (USB: the cable through D2XX) or a device\n"
           "                    path; repeat it to update several units at once\n"
           "  -f, --file F.fwr  send the programming file F.fwr\n"
           "  --web             fetch the image that suits each unit from the firmware service\n"
           "  --service URL     the firmware service's address (with --web or --doctor)\n"
           "  --identify        only identify the unit\n"
           "  --echo-test       run the cable's echo test\n"
           "  -y, --yes         do not ask before updating\n"
           "  --json            one JSON object per unit (with --list: per port, with --history:\n"
           "                    per update, with --doctor: per check and a summary) on standard\n"
           "                    output\n"
           "  -q, --quiet       print errors only (with --doctor: warnings and failures)\n"
           "  -v, --verbose     also print the status lines the window would list (with\n"
           "                    --doctor: the details behind each verdict)\n"
           "  --timeout S       seconds to wait for a unit to answer, and to come back after\n"
           "                    an update (default 20)\n"
           "  --log FILE        the support log (default ~/.local/state/kestova/downloader.log)\n"
           "  -h, --help        this text\n"
           "  -V, --version     the version\n"
           "\n"
           "exit status: 0 verified, 1 bad arguments, 2 no cable or no unit, 3 image rejected\n"
           "             or unreadable, 4 update failed, 5 the unit came back on another\n"
           "             version, 6 a check of --doctor failed (0: none failed), 7 finished,\n"
           "             not verified (every line was taken, but the unit did not come back\n"
           "             within the timeout), 130 interrupted (Ctrl+C, SIGTERM or SIGHUP)\n"
           "Colours and cursor movement are left out when NO_COLOR is set, TERM is dumb, or\n"
           "standard error is not a terminal.\n";
}

std::string FlashVersionText()
{
    return std::string("kestova-flash ") + KX_VERSION + "\n";
}
