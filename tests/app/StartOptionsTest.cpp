// What the program decides before its window works: where the settings live, which service
// address is accepted, and what the command line asks for.
#include "app/CommandLine.h"
#include "app/SettingsLocation.h"
#include "web/ServiceUrl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include <sys/wait.h>

namespace {

TEST(SettingsLocation, ProgramFolderWhenWritableUserFolderOtherwiseAndAnExistingUserFileFirst)
{
    struct Case {
        bool bProgramDirWritable;
        const char* configHome;
        bool bUserFileExists;
        const char* expected;
    };
    const Case cases[] = {
        {true, "/home/u/.config", false, "/opt/kx/Kestova.ini"},
        {false, "/home/u/.config", false, "/home/u/.config/Kestova/Kestova.ini"},
        {true, "/home/u/.config", true, "/home/u/.config/Kestova/Kestova.ini"},
        {false, "/home/u/.config", true, "/home/u/.config/Kestova/Kestova.ini"},
        {false, "", false, "/opt/kx/Kestova.ini"}, // nowhere better: the failed writes are said
        {true, "", true, "/opt/kx/Kestova.ini"},
    };
    for (const Case& c : cases) {
        const SettingsPlaces places{"/opt/kx", c.bProgramDirWritable, c.configHome,
                                    c.bUserFileExists};
        EXPECT_EQ(ChooseSettingsPath(places), c.expected)
            << c.bProgramDirWritable << " '" << c.configHome << "' " << c.bUserFileExists;
    }
}

TEST(ServiceUrl, OnlyHttpAndHttpsAddressesWithAHostAreAccepted)
{
    struct Case {
        const char* text;
        const char* normalized; // null: rejected
    };
    const Case cases[] = {
        {"http://127.0.0.1:8410", "http://127.0.0.1:8410"},
        {"HTTPS://fw.example.com/base/", "HTTPS://fw.example.com/base"},
        {"https://fw.example.com///", "https://fw.example.com"},
        {"ftp://fw.example.com", nullptr},
        {"file:///etc/passwd", nullptr},
        {"fw.example.com", nullptr},
        {"http://", nullptr},
        {"http:///path", nullptr},
        {"http://:8410", nullptr},
        {"http://fw example.com", nullptr},
        {"http://fw.example.com\n", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        std::string normalized;
        std::string reason;
        const bool bAccepted = CheckServiceUrl(c.text, normalized, reason);
        EXPECT_EQ(bAccepted, c.normalized != nullptr) << c.text;
        if (bAccepted && c.normalized != nullptr) {
            EXPECT_EQ(normalized, c.normalized);
        }
        if (!bAccepted) {
            EXPECT_FALSE(reason.empty()) << c.text;
        }
    }
}

TEST(CommandLine, HelpVersionServiceAndMistakes)
{
    using EAction = DownloaderOptions::EAction;
    struct Case {
        std::vector<std::string> args;
        EAction action;
        const char* service;
        const char* file = "";
    };
    const Case cases[] = {
        {{}, EAction::Run, ""},
        {{"--help"}, EAction::Help, ""},
        {{"--service", "http://a", "--version"}, EAction::Version, ""},
        {{"--service", "http://a:1"}, EAction::Run, "http://a:1"},
        {{"--service=https://b"}, EAction::Run, "https://b"},
        {{"-platform", "offscreen"}, EAction::Run, ""}, // left to Qt, with its value
        {{"--service"}, EAction::Error, ""},
        {{"--servce", "http://a"}, EAction::Error, ""},
        {{"/tmp/a/../kx.fwr"}, EAction::Run, "", "/tmp/kx.fwr"},
        {{"-style", "fusion", "/x/kx.fwr", "--service", "http://a"}, EAction::Run, "http://a",
         "/x/kx.fwr"},
        {{"/x/a.fwr", "/x/b.fwr"}, EAction::Error, ""},
    };
    for (const Case& c : cases) {
        const DownloaderOptions options = ParseDownloaderOptions(c.args);
        EXPECT_EQ(options.action, c.action) << testing::PrintToString(c.args);
        EXPECT_EQ(options.strService, c.service) << testing::PrintToString(c.args);
        if (c.action == EAction::Run) {
            EXPECT_EQ(options.strFile, c.file) << testing::PrintToString(c.args);
        }
        EXPECT_EQ(options.strError.empty(), c.action != EAction::Error);
    }
    const DownloaderOptions relative = ParseDownloaderOptions({"kx.fwr"});
    EXPECT_EQ(relative.strFile, std::filesystem::current_path().string() + "/kx.fwr");
    EXPECT_NE(DownloaderVersionText().find("kestova-downloader "), std::string::npos);
}

} // namespace

namespace {

// Without a display the window program says so in one line and ends with status 1, not with
// Qt's messages and an abort.
TEST(CommandLine, NoDisplayIsSaidInOneLineWithStatusOne)
{
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                                KX_DOWNLOADER_EXE + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(output, NoDisplayText());
}

} // namespace
