// Reading what the other end of a terminal or pipe sends, for tests: collects bytes until
// `count` have come or the time is up.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>

inline std::string ReadFromFd(int fd, std::size_t count, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    while (got.size() < count && Clock::now() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 20) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}
