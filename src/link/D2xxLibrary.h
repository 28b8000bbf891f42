// FTDI's D2XX library loaded at run time: the 14 functions the USB cable needs, bound in a fixed
// order, and FT_SetLatencyTimer when the library has it. No user interface: a failed binding
// says which message box it calls for, and the link shows it.
#pragma once

#include "link/D2xx.h"
#include "link/LinkError.h"
#include "platform/DynamicLibrary.h"

#include <array>
#include <string>

class CD2xxLibrary {
public:
    CD2xxLibrary() = default;
    CD2xxLibrary(const CD2xxLibrary&) = delete;
    CD2xxLibrary& operator=(const CD2xxLibrary&) = delete;

    // Loads `nameOrPath` and binds the functions in order, stopping at the first one missing;
    // a failed binding releases the library. A library already loaded is kept as it is (loading
    // it again would only raise its reference count, and one Unload would not release it).
    LinkError Load(const std::string& nameOrPath);
    void Unload();
    bool IsLoaded() const { return m_library.IsLoaded(); }
    // The loader's own text for the last failed load or lookup; kept after an Unload.
    const std::string& LoadError() const { return m_library.LoadError(); }
    // After a failed binding: the message box the missing function calls for, empty when the
    // binding fails silently.
    const std::string& MissingFunctionMessage() const { return m_strMissingMessage; }
    bool HasLatencyTimer() const { return m_pfnSetLatencyTimer != nullptr; }

    // The bound calls; FT_INVALID_HANDLE while the library is not bound, and FT_NOT_SUPPORTED
    // from SetLatencyTimer when the library lacks it.
    FT_STATUS OpenByDescription(const char* description, FT_HANDLE* pHandle) const;
    FT_STATUS Close(FT_HANDLE device) const;
    FT_STATUS SetBaudRate(FT_HANDLE device, ULONG baud) const;
    FT_STATUS Read(FT_HANDLE device, void* buffer, DWORD count, DWORD* pGot) const;
    FT_STATUS Write(FT_HANDLE device, const void* buffer, DWORD count, DWORD* pWritten) const;
    FT_STATUS SetEventNotification(FT_HANDLE device, DWORD mask, EVENT_HANDLE* pEvent) const;
    FT_STATUS GetStatus(FT_HANDLE device, DWORD* pRxBytes, DWORD* pTxBytes,
                        DWORD* pEvents) const;
    FT_STATUS SetLatencyTimer(FT_HANDLE device, UCHAR latencyMs) const;

    // The name of the optional function, for the support log.
    static const char* LatencyTimerFunctionName();

private:
    enum EntryPoint {
        EP_WRITE, EP_READ, EP_OPEN, EP_OPEN_EX, EP_LIST_DEVICES, EP_CLOSE, EP_RESET_DEVICE,
        EP_PURGE, EP_SET_TIMEOUTS, EP_GET_QUEUE_STATUS, EP_SET_BAUD_RATE,
        EP_SET_EVENT_NOTIFICATION, EP_GET_STATUS, EP_CLR_RTS, EP_COUNT
    };

    template <typename Fn>
    Fn Entry(EntryPoint ep) const { return reinterpret_cast<Fn>(m_entryPoints[ep]); }
    LinkError BindEntryPoints();

    CDynamicLibrary m_library;
    std::array<void*, EP_COUNT> m_entryPoints{};
    PFN_FT_SetLatencyTimer m_pfnSetLatencyTimer = nullptr;
    std::string m_strMissingMessage;
};
