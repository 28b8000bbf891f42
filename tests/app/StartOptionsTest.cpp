// What the program decides before its window works: where the settings live, which service
// address is accepted, and what the command line asks for.
#include "app/CommandLine.h"
#include "platform/SettingsLocation.h"
#include "web/ServiceUrl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include <sys/wait.h>

namespace {

TEST(SettingsLocation, InstalledProgramsUseTheUserFileAndOthersTheirOwnFileWhenItIsThere)
{
    struct Case {
        bool bInstalled;
        bool bPortable;
        bool bBesideFileExists;
        const char* configHome;
        const char* expected;
    };
    const char* const user = "/home/u/.config/Kestova/Kestova.ini";
    const char* const beside = "/opt/kx/Kestova.ini";
    const Case cases[] = {
        // Installed: never beside itself, even when root may write there or a file is there.
        {true, true, false, "/root/.config", "/root/.config/Kestova/Kestova.ini"},
        {true, true, true, "/home/u/.config", user},
        {true, false, false, "", ""}, // nowhere to keep them: the failed writes are said
        // A file beside a copy that is not installed wins, even in a folder it may not write.
        {false, false, true, "/home/u/.config", beside},
        {false, true, true, "/home/u/.config", beside},
        // A portable copy starts its own file; another copy uses the user's.
        {false, true, false, "/home/u/.config", beside},
        {false, false, false, "/home/u/.config", user},
        {false, false, false, "", beside},
    };
    for (const Case& c : cases) {
        const SettingsPlaces places{"/opt/kx", c.bInstalled, c.bPortable, c.bBesideFileExists,
                                    c.configHome};
        EXPECT_EQ(ChooseSettingsPath(places), c.expected)
            << c.bInstalled << c.bPortable << c.bBesideFileExists << " '" << c.configHome << "'";
    }
    struct PrefixCase {
        const char* dir;
        bool bInstalled;
    };
    const PrefixCase prefixCases[] = {
        {"/usr/bin", true},         {"/usr/local/bin", true}, {"/opt/kestova/bin", true},
        {"/home/u/.local/bin", true}, {"/usr", true},         {"/usrx/bin", false},
        {"/home/u/kx", false},      {"/opt/../home/u", false},
    };
    for (const PrefixCase& c : prefixCases)
        EXPECT_EQ(IsUnderPrefix(c.dir, {"/usr", "/usr/local", "/opt", "/home/u/.local", "/", ""}),
                  c.bInstalled)
            << c.dir;
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
