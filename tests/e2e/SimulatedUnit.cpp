#include "SimulatedUnit.h"

#include "SimProcess.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

CSimulatedUnit::CSimulatedUnit() = default;

CSimulatedUnit::~CSimulatedUnit()
{
    Vanish();
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
    std::vector<std::string> arguments;
    for (const QString& option : options)
        arguments.push_back(option.toStdString());
    arguments.insert(arguments.end(), {"--log", m_strLogPath});
    m_pProcess = std::make_unique<CSimProcess>(arguments);
    const std::string path = m_pProcess->SlavePath();
    const std::string prefix = "/dev/";
    if (path.rfind(prefix, 0) != 0)
        return false;
    m_strPortName = path.substr(prefix.size());
    if (m_bOwnName) {
        char dir[] = "/tmp/kx-unit-XXXXXX";
        if (mkdtemp(dir) == nullptr)
            return false;
        m_strLinkDir = dir;
        const std::string link = m_strLinkDir + "/unit";
        if (symlink(path.c_str(), link.c_str()) != 0)
            return false;
        m_strPortName = link;
    }
    return true;
}

std::string CSimulatedUnit::StopAndReadLog()
{
    if (m_pProcess)
        m_pProcess->Stop();
    std::ifstream in(m_strLogPath, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void CSimulatedUnit::Vanish()
{
    if (!m_strLinkDir.empty()) {
        std::remove(m_strPortName.c_str());
        rmdir(m_strLinkDir.c_str());
        m_strLinkDir.clear();
    }
    if (m_pProcess)
        m_pProcess->Kill();
}
