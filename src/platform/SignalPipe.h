// Stop signals (SIGINT, SIGTERM, SIGHUP) turned into bytes on a pipe, so that an event loop can watch
// the pipe's read end and handle the signal as an ordinary event, outside the signal handler.
#pragma once

#include <vector>

class CSignalPipe {
public:
    // Installs the handlers; one instance per process. IsOpen() false when the pipe failed.
    CSignalPipe();
    ~CSignalPipe();
    CSignalPipe(const CSignalPipe&) = delete;
    CSignalPipe& operator=(const CSignalPipe&) = delete;

    bool IsOpen() const { return m_readFd >= 0; }
    // The descriptor that becomes readable when a signal has come.
    int ReadFd() const { return m_readFd; }
    // Takes the signals that came since the last call: how many (0 when none); the last one's
    // number goes to pLastSignal when there was one.
    int TakeSignals(int* pLastSignal = nullptr);

private:
    int m_readFd = -1;
    std::vector<int> m_installed; // the signals whose handler is this pipe's
};

// "SIGTERM", "SIGHUP", "SIGINT", else "a signal".
const char* SignalName(int sig);
