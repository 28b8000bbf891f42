#include "SimulatedUnit.h"

#include <QDir>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace {
constexpr int START_TIMEOUT_MS = 10000;
}

CSimulatedUnit::~CSimulatedUnit()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    if (!m_strLogPath.empty())
        std::remove(m_strLogPath.c_str());
}

bool CSimulatedUnit::Start(const QStringList& options)
{
    char pattern[] = "/tmp/kx-unit-log-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0)
        close(fd);
    m_strLogPath = pattern;
    QStringList arguments = options;
    arguments << QStringLiteral("--log") << QString::fromStdString(m_strLogPath);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(KX410_SIM_PATH), arguments);
    if (!m_process.waitForStarted(START_TIMEOUT_MS))
        return false;
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(START_TIMEOUT_MS))
            return false;
    }
    const std::string path = m_process.readLine().trimmed().toStdString();
    const std::string prefix = "/dev/";
    if (path.rfind(prefix, 0) != 0)
        return false;
    m_strPortName = path.substr(prefix.size());
    return true;
}

std::string CSimulatedUnit::StopAndReadLog()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    std::ifstream in(m_strLogPath, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void CSimulatedUnit::Vanish()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}
