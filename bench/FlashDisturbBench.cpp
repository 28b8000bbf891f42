// kx-flash-disturb-bench: kestova-flash updating one kx410-sim unit paced at 9600 baud, alone
// and then beside a second unit on the (simulated) USB cable that fails early and is let go
// while the first is still programming. Prints the first unit's longest turnaround (from its
// "." to the next byte it hears) in both runs: what the second unit's reset and close cost the
// first. A measurement, never a test verdict. KX_FLASH_PATH measures another kestova-flash.
#include "FlashProcess.h"
#include "SimProcess.h"

#include "GeneratedImage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr int RUN_LIMIT_MS = 600000;
constexpr int DEFAULT_LINES = 150;
constexpr int CORRUPT_AT_LINE = 3; // the second unit reports its third line corrupt

// The longest turnaround of the paced unit in microseconds, or -1 when the run failed.
long long LongestTurnaround(const std::string& dir, const std::string& image, bool bDisturbed)
{
    const std::string timing = dir + (bDisturbed ? "/disturbed.txt" : "/alone.txt");
    auto pSim = std::make_unique<CSimProcess>(
        std::vector<std::string>{"--baud-pace", "--serial", "1001", "--timing", timing});
    if (!pSim->IsStarted())
        return -1;
    std::vector<std::string> args{"--file", image, "--yes", "--log", "/dev/null", "--port",
                                  pSim->SlavePath()};
    if (bDisturbed) {
        args.push_back("--port");
        args.push_back("USB");
    }
    {
        // Another build's kestova-flash, when named, stands in for this one.
        std::vector<std::string> launcher;
        if (std::getenv("KX_FLASH_PATH") != nullptr)
            launcher = {"/bin/sh", "-c", "shift; exec \"$KX_FLASH_PATH\" \"$@\"", "sh"};
        CFlashProcess flash(args, launcher);
        const int status = flash.Wait(RUN_LIMIT_MS);
        // The first unit must be updated; the second fails on purpose.
        if (flash.Out().find("1001") == std::string::npos && status != 0 && !bDisturbed)
            return -1;
        if (status < 0) {
            std::fprintf(stderr, "kx-flash-disturb-bench: the run did not end:\n%s", flash.Err().c_str());
            return -1;
        }
    }
    pSim.reset(); // writes the timing file
    // The last turnaround is the pause before "C", which the update makes on purpose.
    std::ifstream in(timing);
    std::vector<long long> turnarounds;
    for (long long us = 0; in >> us;)
        turnarounds.push_back(us);
    if (turnarounds.size() < 2)
        return -1;
    turnarounds.pop_back();
    if (std::getenv("KX_BENCH_VERBOSE") != nullptr)
        for (long long us : turnarounds)
            std::fprintf(stderr, "%lld ", us);
    return *std::max_element(turnarounds.begin(), turnarounds.end());
}
} // namespace

int main(int argc, char** argv)
{
    int lines = DEFAULT_LINES;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::strcmp(argv[i], "--lines") == 0)
            lines = std::max(1, std::atoi(argv[i + 1]));
    // The simulated cable: a unit that reports a corrupt line early.
    setenv("KX_FTD2XX_LIBRARY", KX_SIM_FTD2XX, 1);
    setenv("KX_SIM_CABLE", "unit", 1);
    setenv("KX_SIM_PACE", "1", 1);
    setenv("KX_SIM_CORRUPT_AT", std::to_string(CORRUPT_AT_LINE).c_str(), 1);

    char dir[] = "/tmp/kx-disturb-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string image = std::string(dir) + "/unit.fwr";
    std::ofstream(image, std::ios::binary) << GenerateImageText(lines);
    const long long alone = LongestTurnaround(dir, image, false);
    const long long disturbed = alone >= 0 ? LongestTurnaround(dir, image, true) : -1;
    std::system(("rm -rf " + std::string(dir)).c_str());
    if (alone < 0 || disturbed < 0)
        return 1;
    std::printf("kestova-flash, %d-line image paced at 9600 baud: the unit's longest turnaround "
                "alone %.1f ms, beside a unit that fails and is let go %.1f ms (growth %.1f ms; "
                "aim: under 20 ms)\n",
                lines, alone / 1000.0, disturbed / 1000.0, (disturbed - alone) / 1000.0);
    return 0;
}
