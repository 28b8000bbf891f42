// kx410-sim: a simulated kx410 unit on a pseudo-terminal. Prints the slave's path as its
// first line, then answers the downloader until SIGTERM, SIGINT or SIGHUP (or, with
// --exit-on-close, until the port has been opened and closed again).
#include "PtyUnitRunner.h"
#include "UnitSimulator.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {
volatile std::sig_atomic_t g_bStop = 0;

void OnStopSignal(int) { g_bStop = 1; }

const char* const USAGE =
    "usage: kx410-sim [--baud-pace] [--corrupt-at N] [--silent-at N] [--garbage]\n"
    "                 [--serial N] [--product PPPP] [--loader MM.mm] [--app MM.mm]\n"
    "                 [--app-after MM.mm] [--mute-at-finish] [--log FILE] [--timing FILE]\n"
    "                 [--exit-on-close] [--no-wake-in-loader]\n"
    "  --no-wake-in-loader  once identified, ignore the wake-up until \"C\" or a restart\n"
    "  --timing FILE  at exit, write each turnaround in microseconds, one a line: the time\n"
    "                 from writing an acknowledgement to the first byte that follows it\n";

struct Options {
    UnitIdentity identity;
    PtyRunnerOptions runner;
    int nCorruptAt = 0;
    int nSilentAt = 0;
    bool bGarbage = false;
    bool bMuteAtFinish = false;
    bool bNoWakeInLoader = false;
    std::string strLogPath;
    std::string strTimingPath;
};

bool ParseNumber(const char* text, unsigned long long max, unsigned long long* pValue)
{
    if (!text || !*text || *text == '-')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0' || value > max)
        return false;
    *pValue = value;
    return true;
}

// "2.08" or "2.8": major and minor, each 0..99.
bool ParseVersion(const char* text, int* pMajor, int* pMinor)
{
    int major = 0, minor = 0;
    char extra = 0;
    if (!text || std::sscanf(text, "%d.%d%c", &major, &minor, &extra) != 2 || major < 0 ||
        major > 99 || minor < 0 || minor > 99)
        return false;
    *pMajor = major;
    *pMinor = minor;
    return true;
}

bool ParseOption(const std::string& name, const char* value, Options* pOptions, bool* pbUsedValue)
{
    unsigned long long number = 0;
    *pbUsedValue = true;
    if (name == "--corrupt-at" && ParseNumber(value, 1000000, &number) && number > 0)
        pOptions->nCorruptAt = static_cast<int>(number);
    else if (name == "--silent-at" && ParseNumber(value, 1000000, &number) && number > 0)
        pOptions->nSilentAt = static_cast<int>(number);
    else if (name == "--serial" && ParseNumber(value, 0xFFFFFFFFull, &number))
        pOptions->identity.serialNumber = static_cast<std::uint32_t>(number);
    else if (name == "--product" && value && std::strlen(value) == 4)
        pOptions->identity.productId = value;
    else if (name == "--loader")
        return ParseVersion(value, &pOptions->identity.loaderMajor,
                            &pOptions->identity.loaderMinor);
    else if (name == "--app")
        return ParseVersion(value, &pOptions->identity.appMajor, &pOptions->identity.appMinor);
    else if (name == "--app-after")
        return ParseVersion(value, &pOptions->identity.appAfterMajor, &pOptions->identity.appAfterMinor);
    else if (name == "--log" && value && *value)
        pOptions->strLogPath = value;
    else if (name == "--timing" && value && *value) {
        pOptions->strTimingPath = value;
        pOptions->runner.bRecordTurnaround = true;
    }
    else {
        *pbUsedValue = false;
        if (name == "--baud-pace")
            pOptions->runner.bBaudPace = true;
        else if (name == "--garbage")
            pOptions->bGarbage = true;
        else if (name == "--mute-at-finish")
            pOptions->bMuteAtFinish = true;
        else if (name == "--no-wake-in-loader")
            pOptions->bNoWakeInLoader = true;
        else if (name == "--exit-on-close")
            pOptions->runner.bExitOnClose = true;
        else
            return false;
    }
    return true;
}

bool ParseArguments(int argc, char** argv, Options* pOptions)
{
    for (int i = 1; i < argc; ++i) {
        bool bUsedValue = false;
        if (!ParseOption(argv[i], i + 1 < argc ? argv[i + 1] : nullptr, pOptions, &bUsedValue)) {
            std::fprintf(stderr, "kx410-sim: bad option or value: %s\n", argv[i]);
            return false;
        }
        if (bUsedValue)
            ++i;
    }
    return true;
}

// Stop signals are blocked except while the runner waits, so none is lost between a check
// of the flag and the wait. Returns the mask to wait with.
sigset_t InstallStopSignals()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(sig, &action, nullptr);
        sigaddset(&stopSignals, sig);
    }
    signal(SIGPIPE, SIG_IGN);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigdelset(&waitMask, sig);
    return waitMask;
}

void WriteLog(const std::string& path, const std::string& received)
{
    std::ofstream log(path, std::ios::binary | std::ios::trunc);
    log.write(received.data(), static_cast<std::streamsize>(received.size()));
    if (!log)
        std::fprintf(stderr, "kx410-sim: cannot write the log %s\n", path.c_str());
}
void WriteTimings(const std::string& path, const CPtyUnitRunner& runner)
{
    std::ofstream out(path, std::ios::trunc);
    for (const CPtyUnitRunner::Clock::duration& turnaround : runner.Turnarounds())
        out << std::chrono::duration_cast<std::chrono::microseconds>(turnaround).count() << '\n';
    if (!out)
        std::fprintf(stderr, "kx410-sim: cannot write the timings %s\n", path.c_str());
}
} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const sigset_t waitMask = InstallStopSignals();
    UnitSimulator unit(options.identity);
    unit.ReportCorruptAtLine(options.nCorruptAt);
    unit.FallSilentAtLine(options.nSilentAt);
    unit.SetGarbageBeforeIdentification(options.bGarbage);
    unit.SetMuteAtFinish(options.bMuteAtFinish);
    unit.SetWakeInLoader(!options.bNoWakeInLoader);
    CPtyUnitRunner runner(unit, options.runner);
    std::string slavePath, error;
    if (!runner.Open(&slavePath, &error)) {
        std::fprintf(stderr, "kx410-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);
    runner.Run(&g_bStop, waitMask);
    if (!options.strLogPath.empty())
        WriteLog(options.strLogPath, unit.ReceivedBytes());
    if (!options.strTimingPath.empty())
        WriteTimings(options.strTimingPath, runner);
    return 0;
}
