// The command line's decisions, and the words and numbers a script reads back.
#include "cli/ConfirmPrompt.h"
#include "cli/FlashOptions.h"
#include "cli/UnitReport.h"

#include <gtest/gtest.h>

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

TEST(FlashReport, ExitStatusesJsonEscapesNoticeTextsAndAnswers)
{
    EXPECT_EQ(ExitCodeFor(FlashResult::Verified), 0);
    EXPECT_EQ(ExitCodeFor(FlashResult::NoUnit), 2);
    EXPECT_EQ(ExitCodeFor(FlashResult::Rejected), 3);
    EXPECT_EQ(ExitCodeFor(FlashResult::Failed), 4);
    EXPECT_EQ(ExitCodeFor(FlashResult::NotVerified), 5);
    EXPECT_EQ(ExitCodeFor(FlashResult::Interrupted), 130);

    UnitReport report;
    report.strPort = "pts/\"3\"";
    report.strText = "a\\b\nc\x01";
    const std::string json = ReportJson(report);
    EXPECT_NE(json.find("\"port\":\"pts/\\\"3\\\"\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"text\":\"a\\\\b\\nc\\u0001\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"model\":null"), std::string::npos) << json;

    EXPECT_EQ(NoticeText("An error occured.  \nCycle the power. \n\nPress OK"), "An error occured.  \nCycle the power.");
    EXPECT_EQ(NoticeText("Plain"), "Plain");
    for (const char* yes : {"y", "Y", " yes\r", "YES"})
        EXPECT_TRUE(CConfirmPrompt::IsYes(yes)) << yes;
    for (const char* no : {"", "n", "yess", "no", "y y"})
        EXPECT_FALSE(CConfirmPrompt::IsYes(no)) << no;
}

} // namespace
