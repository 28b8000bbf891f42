// kx-flash-fleet-bench: kestova-flash updating several kx410-sim units paced at 9600 baud at
// once, against the same update of one unit. Prints both wall times and their ratio (the aim:
// 8 units within 1.3 times the time of one). A measurement, never a test verdict.
#include "FlashProcess.h"
#include "SimProcess.h"

#include "GeneratedImage.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr int RUN_LIMIT_MS = 600000;
constexpr int DEFAULT_UNITS = 8;
constexpr int DEFAULT_LINES = 200;

// The wall time of one kestova-flash run over `units` paced units, or a negative value when
// the run did not end verified.
double TimeRun(int units, const std::string& image)
{
    std::vector<std::unique_ptr<CSimProcess>> sims;
    std::vector<std::string> args{"--file", image, "--yes", "--log", "/dev/null"};
    for (int i = 0; i < units; ++i) {
        sims.push_back(std::make_unique<CSimProcess>(std::vector<std::string>{
            "--baud-pace", "--serial", std::to_string(1000 + i)}));
        if (!sims.back()->IsStarted())
            return -1;
        args.push_back("--port");
        args.push_back(sims.back()->SlavePath());
    }
    const auto start = std::chrono::steady_clock::now();
    CFlashProcess flash(args);
    const int status = flash.Wait(RUN_LIMIT_MS);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) {
        std::fprintf(stderr, "kx-flash-fleet-bench: %d units ended with status %d:\n%s", units, status,
                     flash.Err().c_str());
        return -1;
    }
    return seconds;
}
} // namespace

int main(int argc, char** argv)
{
    int units = DEFAULT_UNITS;
    int lines = DEFAULT_LINES;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--units") == 0)
            units = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--lines") == 0)
            lines = std::max(1, std::atoi(argv[i + 1]));
    }
    char dir[] = "/tmp/kx-fleet-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string image = std::string(dir) + "/fleet.fwr";
    std::ofstream(image, std::ios::binary) << GenerateImageText(lines);

    const double one = TimeRun(1, image);
    const double many = one > 0 ? TimeRun(units, image) : -1;
    std::remove(image.c_str());
    rmdir(dir);
    if (one <= 0 || many <= 0)
        return 1;
    std::printf("kestova-flash, %d-line image paced at 9600 baud: 1 unit %.2f s, %d units %.2f s, "
                "ratio %.2f (aim: at most 1.30)\n",
                lines, one, units, many, many / one);
    return 0;
}
