// The bounds that keep one web request from hanging the program or filling its memory.
#pragma once

#include <cstddef>

constexpr long CONNECT_TIMEOUT_MS = 20000;              // name resolution and TCP/TLS connect
constexpr long STALL_LIMIT_S = 60;                      // no byte received for this long ends a request
constexpr std::size_t MAX_BODY_BYTES = 16u * 1024 * 1024; // larger than any real firmware image
constexpr std::size_t READ_PIECE_BYTES = 1024;          // one read of the body, one progress text

struct WebLimits {
    long nConnectTimeoutMs = CONNECT_TIMEOUT_MS;
    long nStallLimitS = STALL_LIMIT_S;
    std::size_t nMaxBodyBytes = MAX_BODY_BYTES;
};
