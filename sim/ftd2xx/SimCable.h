// The simulated Tetherix cable behind the simulated D2XX library, with a simulated kx410 unit,
// a wire linking its pins, or nothing at its far end.
#pragma once

#include "SimCableConfig.h"
#include "link/D2xx.h"
#include "unit/UnitSimulator.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// What the library has been asked to do, for the tests to inspect.
struct SimCableCounters {
    unsigned nOpens = 0;
    unsigned nCloses = 0;
    unsigned nReads = 0;
    unsigned nReadWaits = 0;     // reads that asked for more bytes than were waiting
    unsigned nStatusQueries = 0;
    unsigned nWrites = 0;
    unsigned nArms = 0;
    unsigned nSignals = 0;
    unsigned nLastBaud = 0;
    unsigned nLatencyMs = 0;     // the chip's latency timer as it stands
    unsigned nLatencySets = 0;   // FT_SetLatencyTimer calls that succeeded
    unsigned nTransfers = 0;     // packets the chip sent to the host with bytes from the line
};

// Bytes written reach the far end at once or, when paced, once they have crossed the line at
// 960 bytes/s. A line thread delivers the far end's bytes into the chip (paced alike). The chip
// holds them, as an FTDI chip does, until CHIP_PACKET_BYTES are waiting or its latency timer
// runs out; the timer restarts at each transfer to the host. A transfer puts the bytes into the
// receive queue and signals the registered event, whether anyone waits or not.
class CSimCable {
public:
    using Clock = std::chrono::steady_clock;
    // Longest wait of a read for bytes that have not arrived (a real read may block for ever).
    static constexpr int READ_LIMIT_MS = 3000;
    static constexpr int PACED_BYTES_PER_S = 960;
    static constexpr std::size_t PACED_CHUNK_BYTES = 8;
    // The chip's receive packet: it goes to the host as soon as it is full.
    static constexpr std::size_t CHIP_PACKET_BYTES = 62;
    // After the library that opened the cable is unloaded, the cable cannot be opened again for
    // this long (FT_OpenEx says FT_DEVICE_NOT_OPENED), as with FTDI's library. The moment is
    // kept in the process's environment, which outlives the unloaded library.
    static constexpr int LET_GO_MS = 500;
    static constexpr const char* LET_GO_VARIABLE = "KX_SIM_CABLE_LET_GO_AT_NS";
    // The chip's latency timer after power-up, and the range FT_SetLatencyTimer accepts.
    static constexpr int DEFAULT_LATENCY_MS = 16;
    static constexpr int MIN_LATENCY_MS = 1;
    static constexpr int MAX_LATENCY_MS = 255;

    static CSimCable& Instance();
    ~CSimCable();

    // The D2XX side.
    FT_STATUS Open(const char* description, FT_HANDLE* pHandle);
    FT_STATUS CountDevices(DWORD* pCount) const;
    FT_STATUS Close(FT_HANDLE handle);
    FT_STATUS Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* pGot);
    FT_STATUS Write(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* pWritten);
    FT_STATUS SetBaudRate(FT_HANDLE handle, ULONG baud);
    FT_STATUS SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs);
    FT_STATUS Purge(FT_HANDLE handle, ULONG mask);
    FT_STATUS ResetDevice(FT_HANDLE handle);
    FT_STATUS GetQueueStatus(FT_HANDLE handle, DWORD* pRxBytes);
    FT_STATUS GetStatus(FT_HANDLE handle, DWORD* pRxBytes, DWORD* pTxBytes, DWORD* pEvents);
    FT_STATUS SetEventNotification(FT_HANDLE handle, DWORD mask, void* pEvent);
    FT_STATUS ClrRts(FT_HANDLE handle);
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, unsigned char latencyMs);

    // The control side (tests, the demo).
    void Reset();
    SimCableOverrides& Overrides() { return m_overrides; }
    std::unique_lock<std::mutex> Lock() const { return std::unique_lock<std::mutex>(m_mutex); }
    void Unplug();
    void Plug();
    void SwapUnit(std::uint32_t serialNumber, int loaderVersion);
    void InjectRx(const std::string& bytes, bool bSignal);
    void RaiseModemStatus();
    void SetBaudRateFails(bool bFail);
    std::string Written() const;
    std::size_t RxPending() const;
    SimCableCounters Counters() const;
    bool IsOpen() const;
    // The unit behind the cable (null when none); use under Lock().
    UnitSimulator* Unit() { return m_pUnit.get(); }

private:
    struct Scheduled {
        Clock::time_point due;
        std::string bytes;
    };

    CSimCable() = default;
    FT_STATUS Check(FT_HANDLE handle) const;
    void CreateUnit();
    void SwapUnitLocked(std::uint32_t serialNumber, int loaderVersion);
    void Schedule(const std::string& bytes, Clock::duration delay);
    void Receive(const std::string& bytes);
    void IntoChip(const std::string& bytes);
    void TransferFromChip(std::size_t count);
    Clock::time_point ChipTimerDue() const;
    void DeliverChipDue();
    void Signal(DWORD events);
    void StopLine(std::unique_lock<std::mutex>& lock);
    void LineMain();
    void DeliverDue();

    mutable std::mutex m_mutex;
    std::condition_variable m_lineCv;   // wakes the line thread
    std::condition_variable m_rxCv;     // wakes a read waiting for bytes
    SimCableOverrides m_overrides;
    SimCableConfig m_config;
    bool m_bPlugged = true;
    bool m_bOpen = false;
    bool m_bGone = false;               // unplugged while open
    bool m_bBaudFails = false;
    std::uintptr_t m_nHandle = 0x7E7000;
    int m_nReadLimitMs = READ_LIMIT_MS;
    std::string m_rx;
    std::string m_written;
    DWORD m_pendingEvents = 0;
    DWORD m_eventMask = 0;
    EVENT_HANDLE* m_pEvent = nullptr;
    std::unique_ptr<UnitSimulator> m_pUnit;
    std::deque<Scheduled> m_line;
    Clock::time_point m_lineFreeAt{};
    Clock::time_point m_txFreeAt{};     // when the bytes written so far have crossed the line
    std::string m_chip;                 // bytes held by the chip, not yet sent to the host
    Clock::time_point m_chipTimerStart{};
    Clock::time_point m_chipDue{};      // when the bytes in the chip go to the host
    int m_nLatencyMs = DEFAULT_LATENCY_MS;
    SimCableCounters m_counters;
    bool m_bStopLine = false;
    std::thread m_lineThread;
};
