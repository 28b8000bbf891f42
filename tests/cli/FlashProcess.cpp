#include "FlashProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {
constexpr int POLL_SLICE_MS = 20;

using Clock = std::chrono::steady_clock;

// The environment without a display: the program must not need one.
std::vector<std::string> HeadlessEnvironment()
{
    std::vector<std::string> env;
    for (char** p = environ; *p; ++p) {
        const std::string entry = *p;
        if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("WAYLAND_DISPLAY=", 0) != 0 &&
            entry.rfind("QT_QPA_PLATFORM=", 0) != 0)
            env.push_back(entry);
    }
    return env;
}

void ReadInto(int& fd, std::string& text)
{
    if (fd < 0)
        return;
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
        close(fd);
        fd = -1;
    }
}
} // namespace

CFlashProcess::CFlashProcess(const std::vector<std::string>& args,
                             const std::vector<std::string>& launcher)
{
    int out[2], err[2], in[2];
    if (pipe(out) != 0 || pipe(err) != 0 || pipe(in) != 0)
        return;
    std::vector<std::string> argStrings = launcher;
    argStrings.push_back(KESTOVA_FLASH_PATH);
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = HeadlessEnvironment();
    std::vector<char*> envp;
    for (std::string& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
        posix_spawn_file_actions_addclose(&actions, fd);
    if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(in[1]); // standard input: a pipe at its end, never a terminal
    close(out[1]);
    close(err[1]);
    m_outFd = out[0];
    m_errFd = err[0];
}

CFlashProcess::~CFlashProcess()
{
    Wait(0);
    if (m_outFd >= 0)
        close(m_outFd);
    if (m_errFd >= 0)
        close(m_errFd);
}

void CFlashProcess::Collect(int timeoutMs)
{
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0)
        return;
    if (fds[0].revents != 0)
        ReadInto(m_outFd, m_strOut);
    if (fds[1].revents != 0)
        ReadInto(m_errFd, m_strErr);
}

bool CFlashProcess::WaitForError(const std::function<bool(const std::string&)>& done, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(m_strErr)) {
        if (Clock::now() >= deadline || (m_outFd < 0 && m_errFd < 0))
            return done(m_strErr);
        Collect(POLL_SLICE_MS);
    }
    return true;
}

void CFlashProcess::Signal(int sig)
{
    if (m_pid > 0)
        kill(m_pid, sig);
}

int CFlashProcess::Wait(int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
        Collect(POLL_SLICE_MS);
        int status = 0;
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            m_nExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (Clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            return -1;
        }
    }
    while (m_outFd >= 0 || m_errFd >= 0)
        Collect(POLL_SLICE_MS);
    return m_nExitStatus;
}
