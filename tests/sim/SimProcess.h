// kx410-sim as a child process of a test: started with options, its pseudo-terminal's path
// read from its first line of output, stopped with SIGTERM.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

class CSimProcess {
public:
    explicit CSimProcess(const std::vector<std::string>& options = {});
    ~CSimProcess();
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    // The program printed its path and runs.
    bool IsStarted() const { return !m_strSlavePath.empty(); }
    const std::string& SlavePath() const { return m_strSlavePath; }

    // Waits up to `timeoutMs` for the program to end by itself: its exit status, or -1 when
    // it still runs or did not exit normally.
    int WaitForExit(int timeoutMs);

    // Sends SIGTERM and waits for the end; the exit status, or -1 when it did not exit
    // normally within a generous time. After the end, returns the same status again.
    int Stop();

private:
    pid_t m_pid = -1;
    int m_nExitStatus = -1;
    std::string m_strSlavePath;
};
