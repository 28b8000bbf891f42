// The Tetherix USB cable as a link: FTDI's D2XX library loaded at run time, the cable opened by
// its description at 9600 baud, and what arrives read on the engine's thread when the bridge
// thread wakes it.
#pragma once

#include "link/D2xxBridge.h"
#include "link/D2xxLibrary.h"
#include "link/Link.h"

#include <chrono>
#include <memory>
#include <string>

class CUsbCableLink : public ILink {
public:
    static constexpr ULONG CABLE_BAUD = 9600;
    // Largest chunk read at once and handed on.
    static constexpr DWORD RX_CHUNK_BYTES = 200;
    // The chip holds received bytes until 62 wait or this timer runs out (16 ms unless set):
    // the unit's one-byte acknowledgement would otherwise wait for it after every line.
    static constexpr UCHAR LATENCY_TIMER_MS = 2;
    // The library needs this long after it was released before the cable is opened again.
    static constexpr int REOPEN_DELAY_MS = 550;
    // Status queries or reads in a row that must say the device is gone before the link
    // believes it (one query per bounded wait of the bridge).
    static constexpr int GONE_AFTER_FAILURES = 3;

    explicit CUsbCableLink(ILinkEvents& events);
    // Closes the cable and releases the library.
    ~CUsbCableLink() override;
    CUsbCableLink(const CUsbCableLink&) = delete;
    CUsbCableLink& operator=(const CUsbCableLink&) = delete;

    // The library that Open loads: the name set here, else the one the environment variable
    // KX_FTD2XX_LIBRARY names, else "libftd2xx.so" found on the library path. An empty name
    // returns to that default.
    static void SetDriverLibraryName(const std::string& nameOrPath);
    static std::string DriverLibraryName();

    // `name` is ignored: the cable is found by its description. On failure OpenFailure says
    // why in the user's words.
    LinkError Open(const std::string& name) override;
    // Ends the bridge and closes the device; the library stays loaded for a quick reopen.
    void Close() override;
    // Closes and releases the library; the cable may be opened again REOPEN_DELAY_MS later.
    void Release() override;
    LinkError Write(std::string_view bytes) override;
    bool IsOpen() const override { return m_device != nullptr; }
    int ReopenDelayMs() const override;

    LinkOpenFailure OpenFailure() const override { return m_openFailure; }
    bool IsLibraryLoaded() const { return m_library.IsLoaded(); }

    using Clock = std::chrono::steady_clock;

private:
    void ShortenLatency();
    void OnBridgeWake();
    bool ReadChunk(DWORD wanted, DWORD* pGot);
    bool NoteFailure(FT_STATUS status, const char* what);

    ILinkEvents& m_events;
    CD2xxLibrary m_library;
    CD2xxBridge m_bridge;
    FT_HANDLE m_device = nullptr;
    LinkOpenFailure m_openFailure;
    // Advanced by every open and close: a read loop stops when the link it read from is gone.
    unsigned m_nOpenGeneration = 0;
    int m_nGoneFailures = 0;

    // Expires when this link is destroyed, which an event handler may do.
    std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);
};
