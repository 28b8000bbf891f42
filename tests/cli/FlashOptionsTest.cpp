// The command line's decisions, and the words and numbers a script reads back.
#include "cli/ConfirmPrompt.h"
#include "cli/FlashOptions.h"
#include "cli/ImageFileCheck.h"
#include "cli/StatusView.h"
#include "cli/UnitReport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>

namespace {
using A = FlashOptions::EAction;

TEST(FlashOptions, ActionsAndErrorsFromArgumentTables)
{
    struct Case {
        std::vector<std::string> args;
        A action;
        const char* errorPart; // for errors
    };
    const Case cases[] = {
        {{"--list"}, A::List, ""},
        {{"--doctor", "--fix", "-q"}, A::Doctor, ""},
        {{"--list", "--fix"}, A::Error, "--fix only goes with --doctor"},
        {{"--help", "--bogus"}, A::Help, ""},
        {{"--version"}, A::Version, ""},
        {{"--port", "ttyUSB0", "--file", "a.fwr"}, A::Update, ""},
        {{"--port=ttyUSB0", "--web", "--service=https://fw.example.com/"}, A::Update, ""},
        {{"--port", "USB", "--identify"}, A::Identify, ""},
        {{"--port", "USB", "--echo-test"}, A::EchoTest, ""},
        {{}, A::Error, "--port"},
        {{"--port", "ttyUSB0"}, A::Error, "--file F.fwr or --web"},
        {{"--port"}, A::Error, "--port needs a value"},
        {{"--port", ""}, A::Error, "--port needs a value"},
        {{"--port", "a", "--port", "a", "--web"}, A::Error, "given twice"},
        {{"--port", "a", "--file", "x.fwr", "--web"}, A::Error, "not both"},
        {{"--port", "a", "--identify", "--file", "x.fwr"}, A::Error, "one of"},
        {{"--list", "--port", "a"}, A::Error, "--list takes no --port"},
        {{"--port", "a", "--file", "x", "--service", "http://h"}, A::Error, "only goes with --web"},
        {{"--port", "a", "--web", "--service", "ftp://h"}, A::Error, "--service ftp://h"},
        {{"--port", "a", "--web", "--timeout", "0"}, A::Error, "--timeout"},
        {{"--port", "a", "--web", "--timeout", "5s"}, A::Error, "--timeout"},
        {{"--port", "a", "--web", "--yes=1"}, A::Error, "takes no value"},
        {{"--port", "a", "--web", "-x"}, A::Error, "unknown option -x"},
        {{"-p", "ttyUSB0", "-f", "a.fwr", "-yq"}, A::Update, ""},
        {{"-pUSB", "--identify", "-v"}, A::Identify, ""},
        {{"-V"}, A::Version, ""},
        {{"-h"}, A::Help, ""},
        {{"-p"}, A::Error, "--port needs a value"},
        {{"-p", "a", "--web", "-q", "-v"}, A::Error, "--quiet or --verbose"},
        {{"-p", "a", "--web", "-yx"}, A::Error, "unknown option -yx"},
        {{"--list", "--json"}, A::List, ""},
        {{"--history", "--json", "--serial", "12345"}, A::History, ""},
        {{"--history", "--port", "a"}, A::Error, "--history takes no --port"},
        {{"--history", "--list"}, A::Error, "one of"},
        {{"--port", "a", "--web", "--serial", "1"}, A::Error, "--serial only goes with --history"},
        {{"--history", "--serial", "12a"}, A::Error, "--serial wants"},
        {{"--doctor", "--json", "--service", "https://fw.example/"}, A::Doctor, ""},
        {{"--doctor", "--port", "USB"}, A::Error, "--doctor takes no --port"},
        {{"--doctor", "--list"}, A::Error, "give one of --list, --doctor"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args)
            joined += arg + " ";
        SCOPED_TRACE(joined);
        const FlashOptions options = ParseFlashOptions(c.args);
        EXPECT_EQ(options.action, c.action) << options.strError;
        if (c.action == A::Error) {
            EXPECT_NE(options.strError.find(c.errorPart), std::string::npos) << options.strError;
        }
    }
}

TEST(FlashOptions, TheHelpNamesEachOptionOnce)
{
    const std::string usage = FlashUsage();
    for (const char* option : {"  --json ", "  --fix ", "  --doctor ", "  -q, --quiet "}) {
        const std::size_t first = usage.find(option);
        EXPECT_NE(first, std::string::npos) << option;
        EXPECT_EQ(usage.find(option, first + 1), std::string::npos) << option << " twice";
    }
}

TEST(FlashOptions, ValuesAreKeptAsGiven)
{
    const FlashOptions options = ParseFlashOptions({"--port", "ttyUSB0", "--port", "/dev/pts/3", "--web", "--service",
                                                    "HTTPS://fw.example.com/", "--timeout", "7", "-y", "--json",
                                                    "--log", "/tmp/x.log"});
    ASSERT_EQ(options.action, A::Update) << options.strError;
    EXPECT_EQ(options.ports, (std::vector<std::string>{"ttyUSB0", "/dev/pts/3"}));
    EXPECT_EQ(options.strService, "HTTPS://fw.example.com");
    EXPECT_EQ(options.nTimeoutS, 7);
    EXPECT_TRUE(options.bYes && options.bJson && options.bWeb);
    EXPECT_EQ(options.strLogPath, "/tmp/x.log");
    EXPECT_EQ(ParseFlashOptions({"--port", "a", "--identify"}).nTimeoutS, FlashOptions::DEFAULT_TIMEOUT_S);
}

// Any mix of short and long spellings, separate, attached and bundled, reads as the long one.
TEST(FlashOptions, ShortSpellingsReadAsTheLongOnesInRandomMixes)
{
    struct Spelling {
        std::vector<std::string> longForm;
        std::vector<std::vector<std::string>> shortForms;
    };
    const Spelling spellings[] = {
        {{"--port", "ttyUSB0"}, {{"-p", "ttyUSB0"}, {"-pttyUSB0"}, {"--port=ttyUSB0"}}},
        {{"--port", "/dev/pts/4"}, {{"-p", "/dev/pts/4"}, {"-p/dev/pts/4"}}},
        {{"--file", "a b.fwr"}, {{"-f", "a b.fwr"}, {"-fa b.fwr"}, {"--file=a b.fwr"}}},
        {{"--yes"}, {{"-y"}}},
        {{"--quiet"}, {{"-q"}}},
        {{"--yes", "--quiet"}, {{"-yq"}, {"-qy"}}},
        {{"--yes", "--file", "x.fwr"}, {{"-yf", "x.fwr"}, {"-yfx.fwr"}}},
        {{"--json"}, {{"--json"}}},
    };
    std::mt19937 random(20261207);
    for (int round = 0; round < 500; ++round) {
        std::vector<std::string> longArgs, mixedArgs;
        const int count = std::uniform_int_distribution<int>(1, 6)(random);
        for (int i = 0; i < count; ++i) {
            const Spelling& spelling = spellings[random() % std::size(spellings)];
            const auto& shortForm = spelling.shortForms[random() % spelling.shortForms.size()];
            longArgs.insert(longArgs.end(), spelling.longForm.begin(), spelling.longForm.end());
            mixedArgs.insert(mixedArgs.end(), shortForm.begin(), shortForm.end());
        }
        std::string joined;
        for (const std::string& arg : mixedArgs)
            joined += "[" + arg + "] ";
        SCOPED_TRACE(joined);
        const FlashOptions expected = ParseFlashOptions(longArgs);
        const FlashOptions got = ParseFlashOptions(mixedArgs);
        EXPECT_EQ(got.action, expected.action);
        EXPECT_EQ(got.strError, expected.strError);
        EXPECT_EQ(got.ports, expected.ports);
        EXPECT_EQ(got.strFile, expected.strFile);
        EXPECT_EQ(got.bYes, expected.bYes);
        EXPECT_EQ(got.bQuiet, expected.bQuiet);
        EXPECT_EQ(got.bJson, expected.bJson);
    }
}

TEST(FlashOutput, CursorMovesOnlyOnATerminalWithoutNoColorOrADumbTerm)
{
    struct Case {
        bool bTerminal;
        const char* noColor;
        const char* term;
        bool bLive;
    };
    const Case cases[] = {
        {true, nullptr, "xterm-256color", true}, {true, "", "xterm", true},
        {true, "1", "xterm", false},            {true, nullptr, "dumb", false},
        {false, nullptr, "xterm", false},       {true, nullptr, nullptr, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsLiveTerminal(c.bTerminal, c.noColor, c.term), c.bLive)
            << c.bTerminal << " NO_COLOR=" << (c.noColor ? c.noColor : "(unset)") << " TERM=" << (c.term ? c.term : "(unset)");
}

TEST(FlashImageFile, WhatCannotBeSentIsSaidWithThePathAndTheSystemsWords)
{
    char dir[] = "/tmp/kx-image-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string folder = dir;
    std::ofstream(folder + "/other.fwr") << "VER:0107\nPID:0999\n:00000001FF\n";
    std::ofstream(folder + "/empty.fwr");
    ASSERT_EQ(mkfifo((folder + "/pipe.fwr").c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::string message; // empty: the file may be sent
    };
    const Case cases[] = {
        {KX410_SAMPLE_IMAGE, ""},
        {folder + "/none.fwr", folder + "/none.fwr: No such file or directory"},
        {folder, folder + ": Is a directory"},
        {folder + "/pipe.fwr", folder + "/pipe.fwr: not a plain file"},
        {folder + "/other.fwr", folder + "/other.fwr: The selected firmware is not suitable for your kx410"},
        {folder + "/empty.fwr", folder + "/empty.fwr: The selected firmware is not suitable for your kx410"},
        {folder + "/none/x.fwr", folder + "/none/x.fwr: No such file or directory"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckImageFile(c.path), c.message) << c.path;
    for (const char* name : {"/other.fwr", "/empty.fwr", "/pipe.fwr"})
        std::remove((folder + name).c_str());
    rmdir(dir);
}

TEST(FlashReport, ExitStatusesJsonEscapesNoticeTextsAndAnswers)
{
    EXPECT_EQ(ExitCodeFor(FlashResult::Verified), 0);
    EXPECT_EQ(ExitCodeFor(FlashResult::NoUnit), 2);
    EXPECT_EQ(ExitCodeFor(FlashResult::Rejected), 3);
    EXPECT_EQ(ExitCodeFor(FlashResult::Failed), 4);
    EXPECT_EQ(ExitCodeFor(FlashResult::NotVerified), 5);
    EXPECT_EQ(ExitCodeFor(FlashResult::NotSeenBack), 7);
    EXPECT_EQ(ExitCodeFor(FlashResult::Interrupted), 130);
    // Several units: a unit not seen back counts below every other failure, above success.
    EXPECT_EQ(WorseExitCode(EXIT_NOT_SEEN_BACK, EXIT_VERIFIED), EXIT_NOT_SEEN_BACK);
    EXPECT_EQ(WorseExitCode(EXIT_UPDATE_FAILED, EXIT_NOT_SEEN_BACK), EXIT_UPDATE_FAILED);
    EXPECT_EQ(WorseExitCode(EXIT_NOT_SEEN_BACK, EXIT_INTERRUPTED), EXIT_INTERRUPTED);

    UnitReport report;
    report.strPort = "pts/\"3\"";
    report.strText = "a\\b\nc\x01";
    const std::string json = ReportJson(report);
    EXPECT_NE(json.find("\"port\":\"pts/\\\"3\\\"\""), std::string::npos) << json;
    // A notice's line breaks and runs of blanks are one blank in a JSON text.
    EXPECT_NE(json.find("\"text\":\"a\\\\b c\\u0001\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"model\":null"), std::string::npos) << json;

    EXPECT_EQ(NoticeText("An error occured.  \nCycle the power. \n\nPress OK"), "An error occured.  \nCycle the power.");
    EXPECT_EQ(NoticeText("Plain"), "Plain");
    // Which button to press is for the window's user.
    EXPECT_EQ(StatusText("Ready to update your kx410. Press send."), "Ready to update your kx410.");
    EXPECT_EQ(StatusText("Press Open File or Get from Web"), "");
    EXPECT_EQ(StatusText("Serial Number: 12345"), "Serial Number: 12345");
    for (const char* yes : {"y", "Y", " yes\r", "YES"})
        EXPECT_TRUE(CConfirmPrompt::IsYes(yes)) << yes;
    for (const char* no : {"", "n", "yess", "no", "y y"})
        EXPECT_FALSE(CConfirmPrompt::IsYes(no)) << no;
}

} // namespace
