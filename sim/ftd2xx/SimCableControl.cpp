// The control side of the simulated cable: what a test or the demo does to the cable besides
// the D2XX calls (set it up, pull it out, push bytes into it, look at what was written).
#include "SimCable.h"

#include <cstdlib>

void CSimCable::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ::unsetenv(LET_GO_VARIABLE); // a cable set back is let go already
    m_overrides = {};
    m_bPlugged = true;
    m_bBaudFails = false;
    m_written.clear();
    m_rx.clear();
    m_line.clear();
    m_chip.clear();
    m_pendingEvents = 0;
    m_counters = {};
    m_pUnit.reset();
}

// The device vanishes: an open handle fails every call but FT_Close from now on.
void CSimCable::Unplug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bPlugged = false;
    if (m_bOpen)
        m_bGone = true;
    m_rx.clear();
    m_line.clear();
    m_chip.clear();
    m_rxCv.notify_all();
}

void CSimCable::SwapUnit(std::uint32_t serialNumber, int loaderVersion)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    SwapUnitLocked(serialNumber, loaderVersion);
}

void CSimCable::SwapUnitLocked(std::uint32_t serialNumber, int loaderVersion)
{
    m_line.clear();
    m_rx.clear();
    UnitIdentity identity;
    identity.serialNumber = serialNumber;
    identity.loaderMajor = loaderVersion / 100;
    identity.loaderMinor = loaderVersion % 100;
    identity.appAfterMajor = m_config.nAppAfterUpdate / 100;
    identity.appAfterMinor = m_config.nAppAfterUpdate % 100;
    m_pUnit = std::make_unique<UnitSimulator>(identity);
}

void CSimCable::Plug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bPlugged = true;
}

// Bytes arrive at once; without bSignal the event is not signalled, as if the signal had gone
// out while nobody waited, but the event status still records the reception.
void CSimCable::InjectRx(const std::string& bytes, bool bSignal)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bOpen || m_bGone || bytes.empty())
        return;
    if (bSignal) {
        Receive(bytes);
    } else {
        m_rx += bytes;
        m_pendingEvents |= FT_EVENT_RXCHAR;
        m_rxCv.notify_all();
    }
}

void CSimCable::RaiseModemStatus()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bOpen && !m_bGone)
        Signal(FT_EVENT_MODEM_STATUS);
}

void CSimCable::SetBaudRateFails(bool bFail)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bBaudFails = bFail;
}

std::string CSimCable::Written() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
}

std::size_t CSimCable::RxPending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rx.size();
}

SimCableCounters CSimCable::Counters() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counters;
}

bool CSimCable::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bOpen;
}
