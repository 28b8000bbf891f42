// The Tetherix USB cable through FTDI's D2XX library (loaded at run time): opens it at 9600 baud,
// writes, and reads on the user-interface thread when its reader sends "Special_Change".
#pragma once

#include "link/D2xx.h"
#include "link/UsbCableOwner.h"
#include "link/UsbReader.h"
#include "platform/DynamicLibrary.h"

#include <QEvent>

#include <array>
#include <memory>
#include <string>
#include <vector>

class CUsbCable {
public:
    static constexpr ULONG CABLE_BAUD = 9600;
    // Largest chunk read at once and handed to the owner.
    static constexpr DWORD RX_CHUNK_BYTES = 200;
    // The owner's wake-up timer, stopped when the reader is stopped.
    static constexpr int WAKE_TIMER_ID = 101;
    static constexpr int CLOSE_GRACE_MS = 500;
    static constexpr int CLOSE_POLL_MS = 50;
    static constexpr int CLOSE_SETTLE_MS = 50;
    // The chip holds received bytes until 62 wait or this timer runs out (16 ms unless set):
    // the unit's one-byte acknowledgement would otherwise wait for it after every line.
    static constexpr UCHAR LATENCY_TIMER_MS = 2;

    explicit CUsbCable(CUsbCableOwner& owner);
    // Stops every reader, closes the cable and releases the library; never hangs.
    ~CUsbCable();
    CUsbCable(const CUsbCable&) = delete;
    CUsbCable& operator=(const CUsbCable&) = delete;

    // The library that LoadDriver loads: the name set here, else the one the environment
    // variable KX_FTD2XX_LIBRARY names, else "libftd2xx.so" found on the library path. An empty
    // name returns to that default.
    static void SetDriverLibraryName(const std::string& nameOrPath);
    static std::string DriverLibraryName();
    // The window message the reader sends: "Special_Change".
    static QEvent::Type SpecialChangeMessage();

    bool LoadDriver();
    // The loader's own text when the last LoadDriver could not load the library or found a
    // function missing in it, else empty.
    const std::string& DriverLoadError() const { return m_driverModule.LoadError(); }
    // 0 when the cable is open at 9600 baud, 1 on failure (with a notice unless bQuiet).
    int Open(bool bQuiet);
    // Why the last Open failed, in a sentence that says what to do; empty when it did not.
    const std::string& OpenFailure() const { return m_strOpenFailure; }
    // Stops the reader, closes the cable and releases the library; only while the owner's
    // USB link is active, which it then clears.
    void Close();
    // Arms a new receive event on the cable and starts a reader thread for it; an earlier
    // reader is told to end and is not waited for.
    void StartReader();
    // Handler of "Special_Change" on the user-interface thread: reads what has arrived.
    void OnCableData();

    // Thin wrappers around the D2XX calls; FT_INVALID_HANDLE when the function is not bound.
    FT_STATUS OpenByDescription();
    FT_STATUS SetBaudRate(ULONG baud);
    FT_STATUS ReadBytes(void* buffer, DWORD count, DWORD* pGot);
    FT_STATUS WriteBytes(const void* buffer, DWORD count, DWORD* pWritten);
    // Closes the device handle alone and tells the current reader to end (without waiting).
    FT_STATUS CloseDevice();
    FT_STATUS ArmRxEvent(DWORD mask, void* event);
    FT_STATUS QueryStatus(DWORD* pRxBytes, DWORD* pTxBytes, DWORD* pEvents);
    // FT_NOT_SUPPORTED when the library lacks FT_SetLatencyTimer (an optional function).
    FT_STATUS SetLatencyTimer(UCHAR latencyMs);

    // State for the owner's diagnostics and for tests.
    int ReaderState() const;
    bool IsDriverLoaded() const { return m_driverModule.IsLoaded(); }
    bool IsDeviceOpen() const { return m_device != nullptr; }

private:
    enum EntryPoint {
        EP_WRITE, EP_READ, EP_OPEN, EP_OPEN_EX, EP_LIST_DEVICES, EP_CLOSE, EP_RESET_DEVICE,
        EP_PURGE, EP_SET_TIMEOUTS, EP_GET_QUEUE_STATUS, EP_SET_BAUD_RATE,
        EP_SET_EVENT_NOTIFICATION, EP_GET_STATUS, EP_CLR_RTS, EP_COUNT
    };

    template <typename Fn>
    Fn Entry(EntryPoint ep) const { return reinterpret_cast<Fn>(m_entryPoints[ep]); }

    bool BindEntryPoints();
    void ShortenLatency();
    void ExplainFailure(const std::string& notice, const std::string& sentence);
    void UnloadDriver();
    DWORD ReadChunk(DWORD wanted);
    void Dispatch(const std::string& text);
    void StopCurrentReader();
    void RetireCurrentReader();
    void ReapRetiredReaders(bool bWaitForAll);

    CUsbCableOwner& m_owner;
    CDynamicLibrary m_driverModule;
    FT_HANDLE m_device = nullptr;
    std::array<void*, EP_COUNT> m_entryPoints{};
    // Bound when the library has it; the link works without it, only slower.
    PFN_FT_SetLatencyTimer m_pfnSetLatencyTimer = nullptr;
    std::string m_strOpenFailure;
    std::unique_ptr<CUsbReader> m_pReader;
    // Readers told to end; kept (with their events) until their threads have ended.
    std::vector<std::unique_ptr<CUsbReader>> m_retiredReaders;
    // The reader whose event the open device signals; its event must outlive that.
    const CUsbReader* m_pArmedReader = nullptr;
};
