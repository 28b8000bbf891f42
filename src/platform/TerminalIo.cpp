#include "platform/TerminalIo.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

bool IsTerminal(int fd)
{
    return isatty(fd) == 1;
}

int TerminalColumns(int fd, int fallback)
{
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return fallback;
    return size.ws_col;
}

bool ReadAvailable(int fd, std::string& text)
{
    char buffer[256];
    for (;;) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 0) <= 0)
            return true;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<size_t>(got));
            if (static_cast<size_t>(got) < sizeof buffer)
                return true;
            continue;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        return false;
    }
}
