// The start-up check of the operating system, as a pure decision.
#pragma once

constexpr int PLATFORM_WIN32_WINDOWS = 1; // the Windows 95 family
constexpr int PLATFORM_WIN32_NT = 2;      // the NT family
constexpr int PLATFORM_LINUX = 100;       // what this build reports about itself

// True when the downloader must warn that the system is not supported: the Windows 95
// family, or the NT family up to and including version 4.
constexpr bool IsUnsupportedSystem(int platformId, int majorVersion)
{
    if (platformId == PLATFORM_WIN32_WINDOWS)
        return true;
    return platformId == PLATFORM_WIN32_NT && majorVersion <= 4;
}

struct OsVersionInfo {
    int platformId;
    int majorVersion;
};

// What the running system reports: Linux, which is supported.
inline OsVersionInfo GetVersionEx() { return {PLATFORM_LINUX, 6}; }
