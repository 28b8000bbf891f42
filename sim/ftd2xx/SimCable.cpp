#include "SimCable.h"

#include <atomic>
#include <csignal>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

CSimCable& CSimCable::Instance()
{
    static CSimCable s_cable;
    return s_cable;
}

CSimCable::~CSimCable()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    StopLine(lock);
    // The library is being unloaded: a cable it opened takes a moment to be let go.
    if (m_counters.nOpens > 0) {
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
        ::setenv(LET_GO_VARIABLE, std::to_string(ns.count()).c_str(), 1);
    }
}

namespace {
// Whether a cable let go by an unloaded library is still on its way out.
bool StillLettingGo()
{
    const char* text = std::getenv(CSimCable::LET_GO_VARIABLE);
    if (text == nullptr || *text == '\0')
        return false;
    const std::chrono::nanoseconds letGo(std::strtoll(text, nullptr, 10));
    const auto since = CSimCable::Clock::now().time_since_epoch() - letGo;
    return since < std::chrono::milliseconds(CSimCable::LET_GO_MS);
}
} // namespace

FT_STATUS CSimCable::Check(FT_HANDLE handle) const
{
    if (!m_bOpen || reinterpret_cast<std::uintptr_t>(handle) != m_nHandle)
        return FT_INVALID_HANDLE;
    return m_bGone ? FT_IO_ERROR : FT_OK;
}

namespace {
// SIGUSR1 makes another unit take the place of the one behind the cable (for trying the window
// by hand: `kill -USR1 <pid>`); the swap happens at the next write to the cable.
constexpr std::uint32_t SWAP_SERIAL = 2222;
constexpr int SWAP_LOADER_VERSION = 301;
std::atomic<bool> g_bSwapRequested{false};

void OnSwapSignal(int) { g_bSwapRequested = true; }

void WatchSwapSignal()
{
    static const bool bInstalled = [] {
        struct sigaction action {};
        action.sa_handler = &OnSwapSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        return sigaction(SIGUSR1, &action, nullptr) == 0;
    }();
    (void)bInstalled;
}

bool SwapRequested() { return g_bSwapRequested.exchange(false); }
} // namespace

FT_STATUS CSimCable::Open(const char* description, FT_HANDLE* pHandle)
{
    WatchSwapSignal();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!pHandle || !description)
        return FT_INVALID_PARAMETER;
    m_config = ApplyOverrides(SimCableConfigFromEnvironment(), m_overrides);
    const bool bPresent = m_bPlugged && m_config.mode != SimCableMode::Absent;
    if (!bPresent || std::strcmp(description, "Tetherix") != 0)
        return FT_DEVICE_NOT_FOUND;
    if (m_bOpen || StillLettingGo())
        return FT_DEVICE_NOT_OPENED;
    if (m_config.mode == SimCableMode::Unit && !m_pUnit)
        CreateUnit();
    m_bOpen = true;
    m_bGone = false;
    m_nHandle += 0x10;
    m_rx.clear();
    m_line.clear();
    m_chip.clear();
    m_nLatencyMs = DEFAULT_LATENCY_MS;
    m_chipTimerStart = Clock::now();
    m_counters.nLatencyMs = static_cast<unsigned>(m_nLatencyMs);
    m_pendingEvents = 0;
    m_eventMask = 0;
    m_pEvent = nullptr;
    m_nReadLimitMs = READ_LIMIT_MS;
    ++m_counters.nOpens;
    m_bStopLine = false;
    m_lineThread = std::thread(&CSimCable::LineMain, this);
    *pHandle = reinterpret_cast<FT_HANDLE>(m_nHandle);
    return FT_OK;
}

// The unit stays with the cable across closes and opens, like a unit that stays powered.
void CSimCable::CreateUnit()
{
    UnitIdentity identity;
    if (m_config.serialNumber)
        identity.serialNumber = *m_config.serialNumber;
    m_pUnit = std::make_unique<UnitSimulator>(identity);
    if (m_config.nCorruptAtLine > 0)
        m_pUnit->ReportCorruptAtLine(m_config.nCorruptAtLine);
    if (m_config.nSilentAtLine > 0)
        m_pUnit->FallSilentAtLine(m_config.nSilentAtLine);
    m_pUnit->SetGarbageBeforeIdentification(m_config.bGarbageBeforeId);
    m_pUnit->SetAppAfterUpdate(m_config.nAppAfterUpdate / 100, m_config.nAppAfterUpdate % 100);
    m_pUnit->SetMuteAtFinish(m_config.bMuteAtFinish);
    m_pUnit->SetWakeInLoader(!m_config.bNoWakeInLoader);
}

FT_STATUS CSimCable::CountDevices(DWORD* pCount) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const SimCableConfig config = ApplyOverrides(SimCableConfigFromEnvironment(), m_overrides);
    *pCount = (m_bPlugged && config.mode != SimCableMode::Absent) ? 1 : 0;
    return FT_OK;
}

// After this returns the device's event is never signalled again.
FT_STATUS CSimCable::Close(FT_HANDLE handle)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (Check(handle) == FT_INVALID_HANDLE)
        return FT_INVALID_HANDLE;
    m_bOpen = false;
    m_pEvent = nullptr;
    m_eventMask = 0;
    m_rx.clear();
    m_line.clear();
    m_chip.clear();
    ++m_counters.nCloses;
    m_rxCv.notify_all();
    StopLine(lock);
    return FT_OK;
}

FT_STATUS CSimCable::Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* pGot)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (const FT_STATUS status = Check(handle); status != FT_OK)
        return status;
    ++m_counters.nReads;
    if (m_rx.size() < count) {
        ++m_counters.nReadWaits;
        m_rxCv.wait_for(lock, std::chrono::milliseconds(m_nReadLimitMs),
                        [&] { return m_rx.size() >= count || Check(handle) != FT_OK; });
        if (const FT_STATUS status = Check(handle); status != FT_OK)
            return status;
    }
    const std::size_t got = std::min<std::size_t>(count, m_rx.size());
    std::memcpy(buffer, m_rx.data(), got);
    m_rx.erase(0, got);
    if (pGot)
        *pGot = static_cast<DWORD>(got);
    return FT_OK;
}

FT_STATUS CSimCable::Write(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* pWritten)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const FT_STATUS status = Check(handle); status != FT_OK)
        return status;
    ++m_counters.nWrites;
    if (SwapRequested())
        SwapUnitLocked(SWAP_SERIAL, SWAP_LOADER_VERSION);
    const std::string bytes(static_cast<const char*>(buffer), count);
    m_written += bytes;
    if (pWritten)
        *pWritten = count;
    // On a paced line the far end has the bytes once they have crossed it.
    Clock::duration crossing{};
    if (m_config.bPaced) {
        const Clock::time_point now = Clock::now();
        m_txFreeAt = std::max(m_txFreeAt, now) +
                     std::chrono::microseconds(count * 1000000LL / PACED_BYTES_PER_S);
        crossing = m_txFreeAt - now;
    }
    if (m_config.mode == SimCableMode::Loop) {
        Schedule(bytes, crossing);
    } else if (m_pUnit) {
        for (const UnitSimulator::Reply& reply : m_pUnit->Receive(bytes))
            Schedule(reply.text, crossing + std::chrono::milliseconds(reply.delayMs));
    }
    return FT_OK;
}

FT_STATUS CSimCable::SetBaudRate(FT_HANDLE handle, ULONG baud)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const FT_STATUS status = Check(handle); status != FT_OK)
        return status;
    if (m_bBaudFails || baud == 0)
        return FT_INVALID_BAUD_RATE;
    m_counters.nLastBaud = baud;
    return FT_OK;
}

FT_STATUS CSimCable::SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG /*writeMs*/)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const FT_STATUS status = Check(handle); status != FT_OK)
        return status;
    const ULONG limitMs = readMs == 0 ? READ_LIMIT_MS : std::min<ULONG>(readMs, READ_LIMIT_MS);
    m_nReadLimitMs = static_cast<int>(limitMs);
    return FT_OK;
}

FT_STATUS CSimCable::Purge(FT_HANDLE handle, ULONG mask)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const FT_STATUS status = Check(handle); status != FT_OK)
        return status;
    if (mask & FT_PURGE_RX)
        m_rx.clear();
    return FT_OK;
}

FT_STATUS CSimCable::ResetDevice(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return Check(handle);
}

FT_STATUS CSimCable::GetQueueStatus(FT_HANDLE handle, DWORD* pRxBytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const FT_STATUS status = Check(handle); status != FT_OK)
        return status;
    *pRxBytes = static_cast<DWORD>(m_rx.size());
    return FT_OK;
}

// The event status holds what happened since the last query, and the receive bit stays set
// while bytes wait, so a reception whose signal nobody saw is still reported.
FT_STATUS CSimCable::GetStatus(FT_HANDLE handle, DWORD* pRxBytes, DWORD* pTxBytes, DWORD* pEvents)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const FT_STATUS status = Check(handle); status != FT_OK)
        return status;
    ++m_counters.nStatusQueries;
    *pRxBytes = static_cast<DWORD>(m_rx.size());
    *pTxBytes = 0;
    *pEvents = m_pendingEvents | (m_rx.empty() ? 0 : FT_EVENT_RXCHAR);
    m_pendingEvents = 0;
    return FT_OK;
}

FT_STATUS CSimCable::SetEventNotification(FT_HANDLE handle, DWORD mask, void* pEvent)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const FT_STATUS status = Check(handle); status != FT_OK)
        return status;
    ++m_counters.nArms;
    m_eventMask = mask;
    m_pEvent = static_cast<EVENT_HANDLE*>(pEvent);
    return FT_OK;
}

FT_STATUS CSimCable::ClrRts(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return Check(handle);
}

// The chip takes 1 to 255 ms; while the timer is pinned it stays at its default. Setting it
// restarts it.
FT_STATUS CSimCable::SetLatencyTimer(FT_HANDLE handle, unsigned char latencyMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const FT_STATUS status = Check(handle); status != FT_OK)
        return status;
    if (latencyMs < MIN_LATENCY_MS || latencyMs > MAX_LATENCY_MS)
        return FT_INVALID_PARAMETER;
    m_nLatencyMs = m_config.bLatencyPinned ? DEFAULT_LATENCY_MS : latencyMs;
    m_chipTimerStart = Clock::now();
    if (!m_chip.empty())
        m_chipDue = ChipTimerDue();
    ++m_counters.nLatencySets;
    m_counters.nLatencyMs = static_cast<unsigned>(m_nLatencyMs);
    m_lineCv.notify_all();
    return FT_OK;
}

// Called with m_mutex held: as FTDI's library does, the event is signalled under its mutex.
void CSimCable::Signal(DWORD events)
{
    m_pendingEvents |= events;
    if (!m_pEvent || !(m_eventMask & events))
        return;
    pthread_mutex_lock(&m_pEvent->eMutex);
    pthread_cond_signal(&m_pEvent->eCondVar);
    pthread_mutex_unlock(&m_pEvent->eMutex);
    ++m_counters.nSignals;
}

void CSimCable::Receive(const std::string& bytes)
{
    if (bytes.empty())
        return;
    m_rx += bytes;
    m_rxCv.notify_all();
    Signal(FT_EVENT_RXCHAR);
}
