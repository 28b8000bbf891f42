// A pseudo-terminal for the serial tests: the test keeps the master side and plays the far
// end of the line; the code under test opens the slave by its path.
#pragma once

#include <string>
#include <string_view>

class CPtyPair {
public:
    CPtyPair();
    ~CPtyPair();
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    bool IsOpen() const { return m_masterFd >= 0; }
    const std::string& SlavePath() const { return m_strSlavePath; }

    // Sends bytes towards the port (they arrive as received data); false on failure.
    bool Send(std::string_view bytes);
    // Collects what the port wrote until `count` bytes have come or `timeoutMs` has passed.
    std::string Receive(std::size_t count, int timeoutMs);
    // Whatever the port has written and is waiting now, without waiting for more.
    std::string TakeAvailable();
    // The far end goes away: the port's side is hung up.
    void CloseMaster();
    // The terminal settings the port left on the line.
    bool LineSettings(struct termios* pTio) const;

private:
    int m_masterFd = -1;
    std::string m_strSlavePath;
};
