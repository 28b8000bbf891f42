#include "link/D2xxLibrary.h"

#include <iterator>

namespace {

struct EntryPointName {
    const char* name;
    // The message box shown when the library lacks the function; null for a silent failure.
    const char* missingMessage;
};

// In binding order; the index is CD2xxLibrary's EntryPoint.
constexpr EntryPointName ENTRY_POINT_NAMES[] = {
    {"FT_Write", nullptr},
    {"FT_Read", nullptr},
    {"FT_Open", nullptr},
    {"FT_OpenEx", nullptr},
    {"FT_ListDevices", nullptr},
    {"FT_Close", nullptr},
    {"FT_ResetDevice", nullptr},
    {"FT_Purge", nullptr},
    {"FT_SetTimeouts", nullptr},
    {"FT_GetQueueStatus", nullptr},
    {"FT_SetBaudRate", nullptr},
    {"FT_SetEventNotification", "Error: Can't Find FT_SetEventNotification"},
    {"FT_GetStatus", "Error: Can't Find FT_GetStatus"},
    {"FT_ClrRts", "Error: Can't Find FT_ClrRts"},
};

// Bound after the required functions, and only if the library has it.
const char* const OPTIONAL_LATENCY_TIMER = "FT_SetLatencyTimer";

} // namespace

const char* CD2xxLibrary::LatencyTimerFunctionName()
{
    return OPTIONAL_LATENCY_TIMER;
}

LinkError CD2xxLibrary::Load(const std::string& nameOrPath)
{
    m_strMissingMessage.clear();
    if (m_library.IsLoaded())
        return {};
    if (!m_library.Load(nameOrPath))
        return LinkError::Make(LinkFault::LibraryMissing, m_library.LoadError());
    LinkError error = BindEntryPoints();
    if (error)
        Unload();
    return error;
}

LinkError CD2xxLibrary::BindEntryPoints()
{
    static_assert(std::size(ENTRY_POINT_NAMES) == EP_COUNT && EP_COUNT == 14);
    for (int ep = 0; ep < EP_COUNT; ++ep) {
        m_entryPoints[ep] = m_library.Symbol(ENTRY_POINT_NAMES[ep].name);
        if (m_entryPoints[ep])
            continue;
        if (ENTRY_POINT_NAMES[ep].missingMessage)
            m_strMissingMessage = ENTRY_POINT_NAMES[ep].missingMessage;
        return LinkError::Make(LinkFault::FunctionMissing, m_library.LoadError());
    }
    m_pfnSetLatencyTimer =
        reinterpret_cast<PFN_FT_SetLatencyTimer>(m_library.Symbol(OPTIONAL_LATENCY_TIMER));
    return {};
}

void CD2xxLibrary::Unload()
{
    m_entryPoints.fill(nullptr);
    m_pfnSetLatencyTimer = nullptr;
    m_library.Unload();
}

FT_STATUS CD2xxLibrary::OpenByDescription(const char* description, FT_HANDLE* pHandle) const
{
    auto pfn = Entry<PFN_FT_OpenEx>(EP_OPEN_EX);
    return pfn ? pfn(const_cast<char*>(description), FT_OPEN_BY_DESCRIPTION, pHandle)
               : FT_INVALID_HANDLE;
}

FT_STATUS CD2xxLibrary::Close(FT_HANDLE device) const
{
    auto pfn = Entry<PFN_FT_Close>(EP_CLOSE);
    return pfn ? pfn(device) : FT_INVALID_HANDLE;
}

FT_STATUS CD2xxLibrary::SetBaudRate(FT_HANDLE device, ULONG baud) const
{
    auto pfn = Entry<PFN_FT_SetBaudRate>(EP_SET_BAUD_RATE);
    return pfn ? pfn(device, baud) : FT_INVALID_HANDLE;
}

FT_STATUS CD2xxLibrary::Read(FT_HANDLE device, void* buffer, DWORD count, DWORD* pGot) const
{
    auto pfn = Entry<PFN_FT_Read>(EP_READ);
    return pfn ? pfn(device, buffer, count, pGot) : FT_INVALID_HANDLE;
}

FT_STATUS CD2xxLibrary::Write(FT_HANDLE device, const void* buffer, DWORD count,
                              DWORD* pWritten) const
{
    auto pfn = Entry<PFN_FT_Write>(EP_WRITE);
    return pfn ? pfn(device, const_cast<void*>(buffer), count, pWritten) : FT_INVALID_HANDLE;
}

FT_STATUS CD2xxLibrary::SetEventNotification(FT_HANDLE device, DWORD mask,
                                             EVENT_HANDLE* pEvent) const
{
    auto pfn = Entry<PFN_FT_SetEventNotification>(EP_SET_EVENT_NOTIFICATION);
    return pfn ? pfn(device, mask, pEvent) : FT_INVALID_HANDLE;
}

FT_STATUS CD2xxLibrary::GetStatus(FT_HANDLE device, DWORD* pRxBytes, DWORD* pTxBytes,
                                  DWORD* pEvents) const
{
    auto pfn = Entry<PFN_FT_GetStatus>(EP_GET_STATUS);
    return pfn ? pfn(device, pRxBytes, pTxBytes, pEvents) : FT_INVALID_HANDLE;
}

FT_STATUS CD2xxLibrary::SetLatencyTimer(FT_HANDLE device, UCHAR latencyMs) const
{
    return m_pfnSetLatencyTimer ? m_pfnSetLatencyTimer(device, latencyMs) : FT_NOT_SUPPORTED;
}
