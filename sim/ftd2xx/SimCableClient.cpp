#include "SimCableClient.h"

#include "KxSimControl.h"

#include <algorithm>

CSimCableClient::CSimCableClient(const std::string& libraryPath)
{
    m_library.Load(libraryPath);
}

void CSimCableClient::Reset()
{
    if (auto pfn = Get<decltype(&KxSim_Reset)>("KxSim_Reset"))
        pfn();
}

bool CSimCableClient::SetMode(const std::string& mode)
{
    auto pfn = Get<decltype(&KxSim_SetMode)>("KxSim_SetMode");
    return pfn && pfn(mode.c_str()) != 0;
}

void CSimCableClient::SetPaced(bool bPaced)
{
    if (auto pfn = Get<decltype(&KxSim_SetPaced)>("KxSim_SetPaced"))
        pfn(bPaced ? 1 : 0);
}

void CSimCableClient::ConfigureUnit(int corruptAtLine, int silentAtLine, bool bGarbageBeforeId)
{
    if (auto pfn = Get<decltype(&KxSim_ConfigureUnit)>("KxSim_ConfigureUnit"))
        pfn(corruptAtLine, silentAtLine, bGarbageBeforeId ? 1 : 0);
}

void CSimCableClient::ConfigureAfterUpdate(int appAfterUpdate, bool bMuteAtFinish)
{
    if (auto pfn = Get<decltype(&KxSim_ConfigureAfterUpdate)>("KxSim_ConfigureAfterUpdate"))
        pfn(appAfterUpdate, bMuteAtFinish ? 1 : 0);
}

void CSimCableClient::SetSerialNumber(unsigned serialNumber)
{
    if (auto pfn = Get<decltype(&KxSim_SetSerialNumber)>("KxSim_SetSerialNumber"))
        pfn(serialNumber);
}

void CSimCableClient::SwapUnit(unsigned serialNumber, int loaderVersion)
{
    if (auto pfn = Get<decltype(&KxSim_SwapUnit)>("KxSim_SwapUnit"))
        pfn(serialNumber, loaderVersion);
}

void CSimCableClient::PinLatencyTimer(bool bPinned)
{
    if (auto pfn = Get<decltype(&KxSim_PinLatencyTimer)>("KxSim_PinLatencyTimer"))
        pfn(bPinned ? 1 : 0);
}

void CSimCableClient::Unplug()
{
    if (auto pfn = Get<decltype(&KxSim_Unplug)>("KxSim_Unplug"))
        pfn();
}

void CSimCableClient::Plug()
{
    if (auto pfn = Get<decltype(&KxSim_Plug)>("KxSim_Plug"))
        pfn();
}

void CSimCableClient::InjectRx(const std::string& bytes, bool bSignal)
{
    if (auto pfn = Get<decltype(&KxSim_InjectRx)>("KxSim_InjectRx"))
        pfn(reinterpret_cast<const unsigned char*>(bytes.data()),
            static_cast<unsigned>(bytes.size()), bSignal ? 1 : 0);
}

void CSimCableClient::RaiseModemStatus()
{
    if (auto pfn = Get<decltype(&KxSim_RaiseModemStatus)>("KxSim_RaiseModemStatus"))
        pfn();
}

void CSimCableClient::FailBaudRate(bool bFail)
{
    if (auto pfn = Get<decltype(&KxSim_FailBaudRate)>("KxSim_FailBaudRate"))
        pfn(bFail ? 1 : 0);
}

std::string CSimCableClient::CopyText(const char* functionName) const
{
    auto pfn = Get<decltype(&KxSim_Written)>(functionName);
    if (!pfn)
        return {};
    std::string text(pfn(nullptr, 0), '\0');
    const unsigned length = pfn(text.data(), static_cast<unsigned>(text.size()));
    text.resize(std::min<std::size_t>(length, text.size()));
    return text;
}

std::string CSimCableClient::Written() const
{
    return CopyText("KxSim_Written");
}

std::string CSimCableClient::UnitReceived() const
{
    return CopyText("KxSim_UnitReceived");
}

int CSimCableClient::UnitDataLineCount() const
{
    auto pfn = Get<decltype(&KxSim_UnitDataLineCount)>("KxSim_UnitDataLineCount");
    return pfn ? pfn() : 0;
}

bool CSimCableClient::UnitSentFinish() const
{
    auto pfn = Get<decltype(&KxSim_UnitSentFinish)>("KxSim_UnitSentFinish");
    return pfn && pfn() != 0;
}

unsigned CSimCableClient::RxPending() const
{
    auto pfn = Get<decltype(&KxSim_RxPending)>("KxSim_RxPending");
    return pfn ? pfn() : 0;
}

bool CSimCableClient::IsOpen() const
{
    auto pfn = Get<decltype(&KxSim_IsOpen)>("KxSim_IsOpen");
    return pfn && pfn() != 0;
}

unsigned CSimCableClient::Counter(const std::string& name) const
{
    auto pfn = Get<decltype(&KxSim_Counter)>("KxSim_Counter");
    return pfn ? pfn(name.c_str()) : 0;
}
