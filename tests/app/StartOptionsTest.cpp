// What the program decides before its window works: where the settings live, which service
// address is accepted, and what the command line asks for.
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "platform/SettingsLocation.h"
#include "web/ServiceUrl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

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

namespace {
// Starts the program as a file manager or a user would, while this process serves as the
// running window: its exit status once it ended.
int StartAgain(const QString& runtimeDir, const QStringList& args)
{
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(runtimeDir);
    second.start(QStringLiteral(KX_DOWNLOADER_EXE), args);
    QElapsedTimer clock;
    clock.start();
    while (second.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
        second.waitForFinished(1);
    }
    return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
}
} // namespace

TEST(SingleInstance, ASecondStartHandsItsFileToTheRunningWindowAndEnds)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    const std::string dir = std::filesystem::temp_directory_path() / ("kx-instance-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);

    // A copy that crashed left its socket behind: it does not keep the next one from serving.
    const std::string path = CSingleInstance::SocketPath();
    EXPECT_EQ(path, dir + "/kestova-downloader.sock");
    const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(stale);

    std::vector<std::string> starts;
    CSingleInstance first;
    ASSERT_TRUE(first.Listen([&](const std::string& file) { starts.push_back(file); }));

    const QString runtimeDir = QString::fromStdString(dir);
    EXPECT_EQ(StartAgain(runtimeDir, {QStringLiteral("unit.fwr")}), 0);
    EXPECT_EQ(StartAgain(runtimeDir, {}), 0);
    EXPECT_EQ(StartAgain(runtimeDir, {QStringLiteral("--version")}), 0);
    EXPECT_EQ(starts, (std::vector<std::string>{dir + "/unit.fwr", ""}));
    unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(dir);
}
