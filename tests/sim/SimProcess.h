// A simulator as a child process of a test, started with posix_spawn rather than QProcess so
// that ThreadSanitizer follows the start: kx410-sim with its pseudo-terminal's path read from
// its first line of output, or another simulator program; stopped with SIGTERM.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

class CSimProcess {
public:
#ifdef KX410_SIM_PATH
    explicit CSimProcess(const std::vector<std::string>& options = {})
        : CSimProcess(KX410_SIM_PATH, options, true)
    {
    }
#endif
    // Starts `program`; with `bReadPath`, waits for the path it prints on its first line.
    CSimProcess(const std::string& program, const std::vector<std::string>& options,
                bool bReadPath);
    ~CSimProcess();
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    // The program printed its path and runs.
    bool IsStarted() const { return !m_strSlavePath.empty(); }
    // The program was started and has not been seen to end.
    bool IsRunning() const { return m_pid > 0; }
    const std::string& SlavePath() const { return m_strSlavePath; }

    // Waits up to `timeoutMs` for the program to end by itself: its exit status, or -1 when
    // it still runs or did not exit normally.
    int WaitForExit(int timeoutMs);

    // Sends SIGTERM and waits for the end; the exit status, or -1 when it did not exit
    // normally within a generous time. After the end, returns the same status again.
    int Stop();
    // Kills the program at once (SIGKILL) and reaps it.
    void Kill();

private:
    pid_t m_pid = -1;
    int m_nExitStatus = -1;
    std::string m_strSlavePath;
};
