// The fixed-width names the downloader's interfaces are written in.
#pragma once

#include <cstdint>

using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using UINT = unsigned int;
using BOOL = int;

constexpr DWORD INFINITE = 0xFFFFFFFFu;
