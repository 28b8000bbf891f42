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
#include <QStandardPaths>
#include <QThread>

#include <functional>

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
// Runs the event loop (this process may be the running window) until `done` holds or the time
// is up: whether it held.
bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return done();
}

// Whether `process` has ended (waiting for it a millisecond at most).
bool Ended(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(1);
}

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
    SpinUntil([&] { return Ended(second); });
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
    EXPECT_EQ(path, dir + "/kestova-downloader-" + CSingleInstance::SessionKey() + ".sock");
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

TEST(SingleInstance, TheSessionIsPartOfTheSocketsName)
{
    // DISPLAY, WAYLAND_DISPLAY, XDG_SESSION_ID (empty: unset) and the session's name.
    const char* const cases[][4] = {
        {":0", "wayland-0", "3", "display-0"},          {":0.1", "", "", "display-0"},
        {"localhost:10.0", "", "", "display-localhost_10"}, {"", "wayland-1", "3", "wayland-wayland-1"},
        {"", "", "c2", "session-c2"},                   {"", "", "", "nosession"},
    };
    const std::string saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("XDG_RUNTIME_DIR");
    for (const auto& c : cases) {
        for (int i = 0; i < 3; ++i) {
            const char* name = i == 0 ? "DISPLAY" : i == 1 ? "WAYLAND_DISPLAY" : "XDG_SESSION_ID";
            *c[i] ? setenv(name, c[i], 1) : unsetenv(name);
        }
        EXPECT_EQ(CSingleInstance::SocketPath(),
                  "/tmp/kestova-downloader-" + std::to_string(getuid()) + "-" + c[3] + ".sock");
    }
    saved.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", saved.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_SESSION_ID");
}

namespace {
// Windows on displays of their own, without XDG_RUNTIME_DIR; this process may serve as the
// window of DISPLAY (which it sets). State and settings go to a folder of the test's.
class SessionWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("kx-session-" + std::to_string(getpid()));
        std::filesystem::create_directories(m_dir);
        unsetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override
    {
        m_saved.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", m_saved.c_str(), 1);
        std::filesystem::remove_all(m_dir);
    }
    // The socket of a window on `display`.
    static std::string SocketOn(const std::string& display)
    {
        setenv("DISPLAY", display.c_str(), 1);
        return CSingleInstance::SocketPath();
    }
    void Start(QProcess& process, const std::string& display, const QString& platform)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), QString::fromStdString(m_dir + "/state"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(m_dir + "/config"));
        env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QString::fromStdString(m_dir));
        process.start(QStringLiteral(KX_DOWNLOADER_EXE), {QStringLiteral("unit.fwr")});
    }
    static bool Exists(const std::string& path)
    {
        std::error_code error;
        return std::filesystem::exists(path, error);
    }

    int m_argc = 1;
    char m_name[5] = "test";
    char* m_argv[2] = {m_name, nullptr};
    QCoreApplication m_application{m_argc, m_argv};
    std::string m_saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    std::string m_dir;
};

// A start on this display's other screen hands its file over; a start on another display opens
// its own window there.
TEST_F(SessionWindows, AStartOnAnotherDisplayOpensItsOwnWindow)
{
    const std::string display = ":" + std::to_string(7000 + getpid() % 1000);
    const std::string other = SocketOn(display + "1");
    SocketOn(display);
    std::vector<std::string> starts;
    CSingleInstance first;
    ASSERT_TRUE(first.Listen([&](const std::string& file) { starts.push_back(file); }));
    const QString offscreen = QStringLiteral("offscreen");
    QProcess sameDisplay;
    Start(sameDisplay, display + ".1", offscreen);
    EXPECT_TRUE(SpinUntil([&] { return Ended(sameDisplay); }));
    EXPECT_EQ(sameDisplay.exitCode(), 0);
    EXPECT_EQ(starts, std::vector<std::string>{m_dir + "/unit.fwr"});

    QProcess otherDisplay;
    Start(otherDisplay, display + "1", offscreen);
    EXPECT_TRUE(SpinUntil([&] { return Exists(other) || Ended(otherDisplay); }));
    EXPECT_TRUE(Exists(other) && otherDisplay.state() == QProcess::Running);
    EXPECT_EQ(starts.size(), 1u);
    otherDisplay.terminate();
    EXPECT_TRUE(SpinUntil([&] { return Ended(otherDisplay); }));
    EXPECT_FALSE(Exists(other));
}

// A window whose display is lost ends (Qt ends it through exit()); its socket goes with it, so
// that the next start on that display opens a window instead of handing its file to nobody.
TEST_F(SessionWindows, AWindowThatLostItsDisplayLeavesNoSocket)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "needs Xvfb";
    // A display nobody holds: a server killed earlier leaves its lock and socket behind.
    int number = 600 + getpid() % 300;
    while (Exists("/tmp/.X" + std::to_string(number) + "-lock") ||
           Exists("/tmp/.X11-unix/X" + std::to_string(number)))
        ++number;
    const std::string display = ":" + std::to_string(number);
    QProcess server;
    server.start(QStringLiteral("Xvfb"), {QString::fromStdString(display), QStringLiteral("-nolisten"),
                                          QStringLiteral("tcp")});
    ASSERT_TRUE(SpinUntil([&] { return Exists("/tmp/.X11-unix/X" + std::to_string(number)); }));
    const std::string socket = SocketOn(display);
    QProcess window;
    Start(window, display, QStringLiteral("xcb"));
    EXPECT_TRUE(SpinUntil([&] { return Exists(socket) || Ended(window); }));
    ASSERT_TRUE(Exists(socket)) << window.readAllStandardError().toStdString();

    server.kill();
    server.waitForFinished(5000);
    // The killed server could not take its lock and socket away.
    std::remove(("/tmp/.X" + std::to_string(number) + "-lock").c_str());
    std::remove(("/tmp/.X11-unix/X" + std::to_string(number)).c_str());
    EXPECT_TRUE(SpinUntil([&] { return Ended(window); }));
    EXPECT_FALSE(Exists(socket));
    window.kill();
    window.waitForFinished(5000);
}

} // namespace
