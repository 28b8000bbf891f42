// The bench's command line: --bench, -p/--port (repeatable) and --auto, as a table of words
// given and what they mean.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {
using EAction = DownloaderOptions::EAction;

TEST(BenchOptions, AreReadAsTheBenchTakesThem)
{
    struct Case {
        std::vector<std::string> args;
        EAction action;
        bool bBench;
        std::vector<std::string> ports;
        bool bAuto;
        const char* error;
    };
    const Case cases[] = {
        {{"--bench"}, EAction::Run, true, {}, false, ""},
        {{"--bench", "-p", "ttyUSB0", "--port", "/dev/ttyUSB1", "-p", "USB", "--auto"},
         EAction::Run,
         true,
         {"ttyUSB0", "/dev/ttyUSB1", "USB"},
         true,
         ""},
        {{"-p", "ttyUSB0", "--bench"}, EAction::Run, true, {"ttyUSB0"}, false, ""},
        {{"--bench", "-p"}, EAction::Error, false, {}, false, "-p needs a port"},
        {{"--bench", "-p", "ttyUSB0", "-p", "ttyUSB0"},
         EAction::Error,
         false,
         {},
         false,
         "port ttyUSB0 is given twice"},
        {{"-p", "ttyUSB0"}, EAction::Error, false, {}, false, "-p needs --bench"},
        {{"--auto"}, EAction::Error, false, {}, false, "--auto needs --bench"},
        // A one-dash option of Qt's keeps its value; -p is the bench's.
        {{"-platform", "offscreen"}, EAction::Run, false, {}, false, ""},
    };
    for (const Case& c : cases) {
        const DownloaderOptions options = ParseDownloaderOptions(c.args);
        const std::string what =
            c.args.front() + " ... (" + std::to_string(c.args.size()) + " words)";
        EXPECT_EQ(options.action, c.action) << what;
        EXPECT_EQ(options.strError, c.error) << what;
        if (c.action != EAction::Run)
            continue;
        EXPECT_EQ(options.bBench, c.bBench) << what;
        EXPECT_EQ(options.ports, c.ports) << what;
        EXPECT_EQ(options.bAuto, c.bAuto) << what;
    }
    // A file after the bench's options is the bench's image.
    const DownloaderOptions withFile =
        ParseDownloaderOptions({"--bench", "-p", "ttyUSB0", "/tmp/a.fwr"});
    EXPECT_EQ(withFile.strFile, "/tmp/a.fwr");
    EXPECT_EQ(withFile.ports, std::vector<std::string>{"ttyUSB0"});
}
} // namespace
