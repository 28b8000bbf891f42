#include "platform/SignalPipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {
std::atomic<int> g_writeFd{-1};
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM};

void OnStopSignal(int sig)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(sig);
    const int fd = g_writeFd.load();
    if (fd >= 0)
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    errno = savedErrno;
}
} // namespace

CSignalPipe::CSignalPipe()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = fds[0];
    g_writeFd.store(fds[1]);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : STOP_SIGNALS)
        sigaction(sig, &action, nullptr);
}

CSignalPipe::~CSignalPipe()
{
    for (const int sig : STOP_SIGNALS)
        signal(sig, SIG_DFL);
    const int writeFd = g_writeFd.exchange(-1);
    if (writeFd >= 0)
        close(writeFd);
    if (m_readFd >= 0)
        close(m_readFd);
}

int CSignalPipe::TakeSignals()
{
    int count = 0;
    char bytes[16];
    ssize_t got = 0;
    while (m_readFd >= 0 && (got = read(m_readFd, bytes, sizeof bytes)) > 0)
        count += static_cast<int>(got);
    return count;
}
