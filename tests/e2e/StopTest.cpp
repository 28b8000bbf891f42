// The window stopped in the middle of an update: by a signal, a confirmed close or a window
// destroyed under it. Each finishes the line in flight, does not tell the unit to finish, says
// how far the update got in the status list and the support log, and ends non-zero.
#include "E2eFixture.h"

#include "app/SingleInstance.h"
#include "platform/SignalPipe.h"
#include "platform/SupportLog.h"
#include "platform/UpdateHistory.h"

#include <QCoreApplication>
#include <QWindow>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int DATA_LINES = 40;

enum class EStop { Sigterm, Sighup, CloseConfirmed, WindowDestroyed };

struct StopCase {
    const char* name;
    EStop how;
    int nExitStatus;
};

class StopMidUpdate : public E2eFixture, public ::testing::WithParamInterface<StopCase> {};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
} // namespace

TEST_P(StopMidUpdate, EndsAfterTheLineInFlightSaysHowFarAndExitsNonZero)
{
    StartUpdate({"--baud-pace"}, DATA_LINES);
    CSignalPipe stopSignals;
    m_dlg->Stop().SetStopSignals(&stopSignals);
    CSupportLog log(m_dir + "/support.log");
    m_dlg->SetSupportLog(&log);
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return Page().Progress()->value() >= 3; }, 20000));

    CModalAnswerer answerer;
    switch (GetParam().how) {
    case EStop::Sigterm: kill(getpid(), SIGTERM); break;
    case EStop::Sighup: kill(getpid(), SIGHUP); break;
    case EStop::CloseConfirmed:
        answerer.Press("Yes");
        m_dlg->close();
        ASSERT_EQ(answerer.AnsweredCount(), 1);
        EXPECT_NE(answerer.Seen()[0].strText.indexOf("An update of the kx410 is running. It will stop after "
                                                     "the line in flight"),
                  -1)
            << answerer.Seen()[0].strText.toStdString();
        break;
    case EStop::WindowDestroyed: m_dlg->windowHandle()->destroy(); break;
    }
    ASSERT_TRUE(WaitUntil([&] { return m_dlg->IsEnded(); }, 20000));
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_dlg->ExitStatus(), GetParam().nExitStatus);
    // "Update stopped after line N of 40. The kx410 must be updated again before it is used."
    const std::string prefix = "Update stopped after line ";
    const std::string suffix = " of " + std::to_string(DATA_LINES) + ". The kx410 must be updated again before it is used.";
    std::string stopped;
    for (const std::string& line : ListLines())
        if (line.rfind(prefix, 0) == 0)
            stopped = line;
    ASSERT_NE(stopped.find(suffix), std::string::npos) << testing::PrintToString(ListLines());
    const int sent = std::stoi(stopped.substr(prefix.size()));
    EXPECT_GE(sent, 3);
    EXPECT_NE(ReadAll(m_dir + "/support.log").find(stopped), std::string::npos) << ReadAll(m_dir + "/support.log");

    // Every line sent was whole and acknowledged; no "C" went after the last.
    const std::string received = m_unit.StopAndReadLog();
    EXPECT_EQ(CountOccurrences(received, ":"), sent);
    EXPECT_LT(sent, DATA_LINES);
    const std::size_t lastLineEnd = received.find("aa", received.rfind(':'));
    ASSERT_NE(lastLineEnd, std::string::npos);
    EXPECT_EQ(received.find('C', lastLineEnd), std::string::npos) << received.substr(lastLineEnd);
    m_dlg->SetSupportLog(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Window, StopMidUpdate,
                         ::testing::Values(StopCase{"Sigterm", EStop::Sigterm, 143}, StopCase{"Sighup", EStop::Sighup, 129},
                                           StopCase{"CloseConfirmed", EStop::CloseConfirmed, 130},
                                           StopCase{"WindowDestroyed", EStop::WindowDestroyed, 143}),
                         [](const auto& info) { return std::string(info.param.name); });

// The display lost mid-update (the X server gone, as `xdotool windowkill` or a crashed session
// leaves it): Qt ends the process from inside its event loop. The update stops at once, the
// support log and the history say at which line, the socket is let go, and the program ends as
// on SIGTERM. The window runs in a child process on a private X server that this test kills.
using DisplayLost = E2eFixture;

TEST_F(DisplayLost, DISABLED_WindowOnXvfb)
{
    const char* dir = std::getenv("KX_LOST_DISPLAY_DIR");
    ASSERT_NE(dir, nullptr);
    StartUpdate({"--baud-pace"}, DATA_LINES);
    CSupportLog log(std::string(dir) + "/support.log");
    m_dlg->SetSupportLog(&log);
    CUpdateHistory history(std::string(dir) + "/history.jsonl");
    m_dlg->SetUpdateHistory(&history);
    CSingleInstance instance;
    ASSERT_TRUE(instance.Listen({}));
    m_dlg->Stop().SetReleaseOnLostDisplay([] { std::remove(CSingleInstance::SocketPath().c_str()); });
    Page().Send()->click();
    ASSERT_TRUE(WaitUntil([&] { return Page().Progress()->value() >= 3; }, 20000));
    kill(static_cast<pid_t>(std::atoi(std::getenv("KX_XVFB_PID"))), SIGKILL);
    WaitUntil([] { return false; }, 20000);
    FAIL() << "the window outlived its display";
}

namespace {
// Starts `argv` with `env` added to this process's environment, in a process group of its own,
// its output going to `output`.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& output)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    setpgid(0, 0);
    for (const std::string& entry : env)
        putenv(strdup(entry.c_str()));
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// The exit status of `pid`, or -1 when it has not ended within `timeoutMs`.
int WaitForExit(pid_t pid, int timeoutMs)
{
    int status = 0;
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(50000);
    }
    return -1;
}
} // namespace

TEST(DisplayLostMidUpdate, StopsAtOnceSaysAtWhichLineAndLetsGo)
{
    if (std::system("command -v Xvfb >/dev/null") != 0)
        GTEST_SKIP() << "Xvfb is not installed";
    char pattern[] = "/tmp/kx-lost-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::string display = ":" + std::to_string(300 + getpid() % 600);
    const pid_t xvfb = Spawn({"Xvfb", display, "-nolisten", "tcp"}, {}, dir + "/xvfb.log");
    for (int i = 0; i < 100 && !std::filesystem::exists("/tmp/.X11-unix/X" + display.substr(1)); ++i)
        usleep(50000);

    const pid_t window = Spawn({QCoreApplication::applicationFilePath().toStdString(),
                                "--gtest_also_run_disabled_tests",
                                "--gtest_filter=DisplayLost.DISABLED_WindowOnXvfb"},
                               {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display, "XDG_RUNTIME_DIR=" + dir,
                                "KX_LOST_DISPLAY_DIR=" + dir, "KX_XVFB_PID=" + std::to_string(xvfb)},
                               dir + "/window.log");
    const int status = WaitForExit(window, 90000);
    kill(-window, SIGKILL); // the simulated unit goes with it
    kill(xvfb, SIGKILL);
    waitpid(xvfb, nullptr, 0);
    if (status < 0)
        waitpid(window, nullptr, 0);
    EXPECT_EQ(status, 143) << ReadAll(dir + "/window.log");

    const std::string supportLog = ReadAll(dir + "/support.log");
    const std::string prefix = "Stopped at once (the display was lost) after line ";
    const std::size_t at = supportLog.find(prefix);
    ASSERT_NE(at, std::string::npos) << supportLog;
    const int line = std::atoi(supportLog.c_str() + at + prefix.size());
    EXPECT_GE(line, 3);
    EXPECT_NE(supportLog.find(" of " + std::to_string(DATA_LINES) + ". The kx410 must be updated again"),
              std::string::npos);
    const std::string record = ReadAll(dir + "/history.jsonl");
    EXPECT_NE(record.find("\"result\":\"interrupted\""), std::string::npos) << record;
    EXPECT_NE(record.find("\"lines_sent\":" + std::to_string(line)), std::string::npos) << record;
    EXPECT_FALSE(std::filesystem::exists(dir + "/kestova-downloader.sock"));
    std::filesystem::remove_all(dir);
}
