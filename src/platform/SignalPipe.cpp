#include "platform/SignalPipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {
std::atomic<int> g_writeFd{-1};
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

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
    for (const int sig : STOP_SIGNALS) {
        // A hang-up ignored by whoever started the program (nohup) stays ignored.
        struct sigaction before {};
        if (sig == SIGHUP && sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &action, nullptr);
        m_installed.push_back(sig);
    }
}

CSignalPipe::~CSignalPipe()
{
    for (const int sig : m_installed)
        signal(sig, SIG_DFL);
    const int writeFd = g_writeFd.exchange(-1);
    if (writeFd >= 0)
        close(writeFd);
    if (m_readFd >= 0)
        close(m_readFd);
}

int CSignalPipe::TakeSignals(int* pLastSignal)
{
    int count = 0;
    char bytes[16];
    ssize_t got = 0;
    while (m_readFd >= 0 && (got = read(m_readFd, bytes, sizeof bytes)) > 0) {
        count += static_cast<int>(got);
        if (pLastSignal != nullptr)
            *pLastSignal = static_cast<unsigned char>(bytes[got - 1]);
    }
    return count;
}

const char* SignalName(int sig)
{
    switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}
