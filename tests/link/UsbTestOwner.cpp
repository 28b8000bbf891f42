#include "UsbTestOwner.h"

#include <QCoreApplication>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

void CTestUsbOwner::OnReceivedText(const std::string& text)
{
    m_chunks.push_back(text);
    if (m_onReceived)
        m_onReceived(text);
}

std::string CTestUsbOwner::Received() const
{
    std::string all;
    for (const std::string& chunk : m_chunks)
        all += chunk;
    return all;
}

bool CTestUsbOwner::event(QEvent* pEvent)
{
    if (pEvent->type() == CUsbCable::SpecialChangeMessage() && m_pCable) {
        ++m_nNotifications;
        m_pCable->OnCableData();
        return true;
    }
    return QObject::event(pEvent);
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void PumpEvents(int ms)
{
    WaitUntil([] { return false; }, ms);
}

std::string ThreadNames()
{
    std::string names;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        std::getline(comm, name);
        names += name + " ";
    }
    return names;
}

int ThreadCount()
{
    namespace fs = std::filesystem;
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/task"),
                                          fs::directory_iterator()));
}
