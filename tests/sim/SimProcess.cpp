#include "SimProcess.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace {
constexpr int START_TIMEOUT_MS = 10000;
constexpr int STOP_TIMEOUT_MS = 10000;

std::string ReadFirstLine(int fd)
{
    std::string line;
    char c = 0;
    while (line.size() < 256) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, START_TIMEOUT_MS) <= 0 || read(fd, &c, 1) != 1 || c == '\n')
            break;
        line += c;
    }
    return c == '\n' ? line : std::string();
}
} // namespace

CSimProcess::CSimProcess(const std::string& program, const std::vector<std::string>& options,
                         bool bReadPath)
{
    int out[2];
    if (pipe(out) != 0)
        return;
    std::vector<std::string> args{program};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const int spawned = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0)
        m_pid = -1;
    else if (bReadPath)
        m_strSlavePath = ReadFirstLine(out[0]);
    close(out[0]);
}

CSimProcess::~CSimProcess() { Stop(); }

int CSimProcess::WaitForExit(int timeoutMs)
{
    if (m_pid <= 0)
        return m_nExitStatus;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(m_pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (done == 0)
        return -1;
    m_pid = -1;
    m_nExitStatus = done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m_nExitStatus;
}

void CSimProcess::Kill()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

int CSimProcess::Stop()
{
    if (m_pid <= 0)
        return m_nExitStatus;
    kill(m_pid, SIGTERM);
    if (WaitForExit(STOP_TIMEOUT_MS) < 0)
        Kill();
    return m_nExitStatus;
}
