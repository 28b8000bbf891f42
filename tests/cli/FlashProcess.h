// kestova-flash as a child process of a test: started with arguments and no display, its
// standard output and error collected, signalled, and waited for.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

class CFlashProcess {
public:
    // launcher: a program and its arguments that start kestova-flash (such as one that runs it
    // as another user); none: it is started directly.
    explicit CFlashProcess(const std::vector<std::string>& args,
                           const std::vector<std::string>& launcher = {});
    ~CFlashProcess();
    CFlashProcess(const CFlashProcess&) = delete;
    CFlashProcess& operator=(const CFlashProcess&) = delete;

    // Collects output until `done` holds for what was written to standard error, or until
    // timeoutMs passed: whether it held.
    bool WaitForError(const std::function<bool(const std::string&)>& done, int timeoutMs);
    void Signal(int sig);
    // The exit status once the program has ended, or -1 (it is then killed).
    int Wait(int timeoutMs);

    const std::string& Out() const { return m_strOut; }
    const std::string& Err() const { return m_strErr; }

private:
    void Collect(int timeoutMs);

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    int m_nExitStatus = -1;
    std::string m_strOut;
    std::string m_strErr;
};
