// A kx410-sim process playing the unit on a pseudo-terminal, for end-to-end tests through the
// real COM-port driver.
#pragma once

#include <QStringList>

#include <memory>
#include <string>

class CSimProcess;

class CSimulatedUnit {
public:
    CSimulatedUnit();
    ~CSimulatedUnit();

    // Starts kx410-sim with the options; false when it did not print its terminal path.
    bool Start(const QStringList& options = {});
    // The port name the downloader uses ("pts/7" for /dev/pts/7).
    const std::string& PortName() const { return m_strPortName; }
    // Ends the simulator (SIGTERM) and returns everything it received.
    std::string StopAndReadLog();
    // Kills the simulator at once: its end of the line vanishes, like a pulled cable.
    void Vanish();
    // Before Start: the port is named by a link of its own that vanishes with it (tests side by
    // side may be given its terminal's number once it has gone).
    void UseOwnName() { m_bOwnName = true; }

private:
    std::unique_ptr<CSimProcess> m_pProcess;
    std::string m_strPortName;
    std::string m_strLogPath;
    std::string m_strLinkDir;
    bool m_bOwnName = false;
};
