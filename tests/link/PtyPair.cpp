#include "PtyPair.h"

#include "FdRead.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

CPtyPair::CPtyPair()
{
    m_masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char path[128] = {};
    if (m_masterFd < 0 || grantpt(m_masterFd) != 0 || unlockpt(m_masterFd) != 0 ||
        ptsname_r(m_masterFd, path, sizeof path) != 0) {
        CloseMaster();
        return;
    }
    m_strSlavePath = path;
}

CPtyPair::~CPtyPair() { CloseMaster(); }

bool CPtyPair::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        pollfd pfd{m_masterFd, POLLOUT, 0};
        if (poll(&pfd, 1, 2000) <= 0)
            return false;
        const ssize_t put = write(m_masterFd, bytes.data(), bytes.size());
        if (put <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

std::string CPtyPair::Receive(std::size_t count, int timeoutMs)
{
    return ReadFromFd(m_masterFd, count, timeoutMs);
}

std::string CPtyPair::TakeAvailable()
{
    std::string got;
    char buffer[4096];
    for (ssize_t n = 0; m_masterFd >= 0 && (n = read(m_masterFd, buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<std::size_t>(n));
    return got;
}

void CPtyPair::CloseMaster()
{
    if (m_masterFd >= 0)
        close(m_masterFd);
    m_masterFd = -1;
}

bool CPtyPair::LineSettings(termios* pTio) const
{
    return m_masterFd >= 0 && tcgetattr(m_masterFd, pTio) == 0;
}
