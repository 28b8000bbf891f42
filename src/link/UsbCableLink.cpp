#include "link/UsbCableLink.h"

#include "link/CableDiagnosis.h"
#include "link/D2xxLibraryVariable.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {

const char* const DEFAULT_DRIVER_LIBRARY = "libftd2xx.so";
const char* const CABLE_DESCRIPTION = "Tetherix";

const char* const TEXT_NO_DRIVER = "Unable to load USB Tetherix driver";
const char* const TEXT_NO_CABLE = "Unable to find USB Tetherix";
const char* const TEXT_NO_BAUD = "Unable to set the baud rate of the USB Tetherix device";

constexpr DWORD RX_EVENT_MASK = FT_EVENT_RXCHAR | FT_EVENT_MODEM_STATUS;

// The name set by SetDriverLibraryName; empty for the default.
std::string& LibraryName()
{
    static std::string s_strName;
    return s_strName;
}

// When the cable may be opened again, for every link of the process: the library lets the
// cable go for all of them (the window's and a bench's engine hand it over).
std::atomic<CUsbCableLink::Clock::rep>& ReopenAt()
{
    static std::atomic<CUsbCableLink::Clock::rep> s_reopenAt{0};
    return s_reopenAt;
}

// The statuses with which the library says that the device has gone (unplugged); any other
// failure of a status query or read is taken as passing, as it always was.
bool SaysGone(FT_STATUS status)
{
    return status == FT_IO_ERROR || status == FT_DEVICE_NOT_FOUND;
}

} // namespace

CUsbCableLink::CUsbCableLink(ILinkEvents& events) : m_events(events)
{
}

CUsbCableLink::~CUsbCableLink()
{
    Close();
    m_library.Unload();
}

void CUsbCableLink::SetDriverLibraryName(const std::string& nameOrPath)
{
    LibraryName() = nameOrPath;
}

std::string CUsbCableLink::DriverLibraryName()
{
    if (!LibraryName().empty())
        return LibraryName();
    const char* named = std::getenv(D2XX_LIBRARY_VARIABLE);
    return named && *named ? named : DEFAULT_DRIVER_LIBRARY;
}

// A failed step releases what the earlier steps acquired, so that a later Open starts afresh.
LinkError CUsbCableLink::Open(const std::string& /*name*/)
{
    m_openFailure = {};
    Close();
    const std::string libraryName = DriverLibraryName();
    if (const LinkError error = m_library.Load(libraryName)) {
        m_openFailure.strNotice = TEXT_NO_DRIVER;
        m_openFailure.strMessageBox = m_library.MissingFunctionMessage();
        if (!m_library.LoadError().empty())
            m_openFailure.strSentence = ExplainD2xxLoadFailure(libraryName, m_library.LoadError());
        return error;
    }
    FT_HANDLE device = nullptr;
    if (const FT_STATUS status = m_library.OpenByDescription(CABLE_DESCRIPTION, &device);
        status != FT_OK) {
        m_library.Unload();
        m_openFailure = {TEXT_NO_CABLE, ExplainD2xxOpenFailure(), {}};
        return LinkError::FromD2xx(status, "FT_OpenEx");
    }
    if (const FT_STATUS status = m_library.SetBaudRate(device, CABLE_BAUD); status != FT_OK) {
        m_library.Close(device);
        m_library.Unload();
        m_openFailure.strNotice = TEXT_NO_BAUD;
        return LinkError::FromD2xx(status, "FT_SetBaudRate");
    }
    m_device = device;
    ShortenLatency();
    // Unarmed, the cable is still read: the bridge wakes the engine after every bounded wait.
    if (const FT_STATUS status = m_library.SetEventNotification(m_device, RX_EVENT_MASK,
                                                                m_bridge.Event());
        status != FT_OK)
        m_events.OnLinkNote("receive event not armed (status " + std::to_string(status) +
                            "): the cable is read every " +
                            std::to_string(CD2xxBridge::WAIT_BOUND_MS) + " ms");
    if (const LinkError error = m_bridge.Start([this] { OnBridgeWake(); })) {
        m_library.Close(m_device);
        m_device = nullptr;
        m_library.Unload();
        return error;
    }
    ++m_nOpenGeneration;
    m_nGoneFailures = 0;
    return {};
}

// A cable whose timer cannot be set still works: each reply then waits up to the chip's
// default timer. The support log says which it is.
void CUsbCableLink::ShortenLatency()
{
    const FT_STATUS status = m_library.SetLatencyTimer(m_device, LATENCY_TIMER_MS);
    const std::string timer = std::to_string(LATENCY_TIMER_MS) + " ms";
    if (status == FT_OK)
        m_events.OnLinkNote("latency timer set to " + timer);
    else if (status == FT_NOT_SUPPORTED && !m_library.HasLatencyTimer())
        m_events.OnLinkNote(std::string("latency timer left at the chip's default: the library "
                                        "has no ") + CD2xxLibrary::LatencyTimerFunctionName());
    else
        m_events.OnLinkNote("latency timer left at the chip's default: setting " + timer +
                            " failed with status " + std::to_string(status));
}

void CUsbCableLink::Close()
{
    m_bridge.Stop();
    if (!m_device)
        return;
    // After FT_Close the library no longer signals the bridge's event.
    m_library.Close(m_device);
    m_device = nullptr;
    ++m_nOpenGeneration;
}

void CUsbCableLink::Release()
{
    const bool bHeld = m_device != nullptr || m_library.IsLoaded();
    Close();
    m_library.Unload();
    if (bHeld)
        ReopenAt().store(
            (Clock::now() + std::chrono::milliseconds(REOPEN_DELAY_MS)).time_since_epoch().count());
}

int CUsbCableLink::ReopenDelayMs() const
{
    const auto left = Clock::time_point(Clock::duration(ReopenAt().load())) - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    // Rounded up, so that a wait of this long is always enough.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

LinkError CUsbCableLink::Write(std::string_view bytes)
{
    if (!m_device)
        return LinkError::Make(LinkFault::NotOpen, "FT_Write: the USB Tetherix is not open");
    if (bytes.empty())
        return {};
    const auto count = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (const FT_STATUS status = m_library.Write(m_device, bytes.data(), count, &written);
        status != FT_OK)
        return LinkError::FromD2xx(status, "FT_Write");
    if (written < count)
        return LinkError::Make(LinkFault::Io, "FT_Write: " + std::to_string(written) + " of " +
                                                  std::to_string(count) + " bytes taken");
    return {};
}

// Reads what has arrived, a chunk at a time. A full chunk may have left more behind: the status
// is asked again, so that no read asks for bytes that have not arrived (it would block).
void CUsbCableLink::OnBridgeWake()
{
    if (!m_device)
        return;
    DWORD rxBytes = 0;
    DWORD txBytes = 0;
    DWORD events = 0;
    if (const FT_STATUS status = m_library.GetStatus(m_device, &rxBytes, &txBytes, &events);
        status != FT_OK) {
        NoteFailure(status, "FT_GetStatus");
        return;
    }
    m_nGoneFailures = 0;
    if (events != FT_EVENT_RXCHAR)
        return;
    // The handler of the bytes may close, reopen or destroy this link.
    const std::weak_ptr<int> alive = m_pAlive;
    const unsigned nGeneration = m_nOpenGeneration;
    for (;;) {
        DWORD got = 0;
        if (!ReadChunk(rxBytes, &got) || got < RX_CHUNK_BYTES)
            return;
        if (alive.expired() || nGeneration != m_nOpenGeneration)
            return;
        if (const FT_STATUS status = m_library.GetStatus(m_device, &rxBytes, &txBytes, &events);
            status != FT_OK) {
            NoteFailure(status, "FT_GetStatus");
            return;
        }
    }
}

// Reads at most one chunk of the `wanted` bytes waiting, cleans it and hands it on; false when
// the read failed.
bool CUsbCableLink::ReadChunk(DWORD wanted, DWORD* pGot)
{
    *pGot = 0;
    const DWORD count = std::min(wanted, RX_CHUNK_BYTES);
    if (count == 0)
        return true;
    char buffer[RX_CHUNK_BYTES] = {};
    DWORD got = 0;
    if (const FT_STATUS status = m_library.Read(m_device, buffer, count, &got);
        status != FT_OK) {
        NoteFailure(status, "FT_Read");
        return false;
    }
    got = std::min(got, count);
    if (got == 0)
        return true;
    *pGot = got;
    m_events.OnLinkBytes(std::string_view(buffer, got));
    return true;
}

// A failure that says the device has gone, seen GONE_AFTER_FAILURES times in a row, ends the
// link; anything else is passed over. True when the link has ended.
bool CUsbCableLink::NoteFailure(FT_STATUS status, const char* what)
{
    if (!SaysGone(status) || ++m_nGoneFailures < GONE_AFTER_FAILURES)
        return false;
    const LinkError error = LinkError::Make(
        LinkFault::Gone, LinkError::FromD2xx(status, what).Text() + " (the USB Tetherix has gone)");
    Close();
    m_events.OnLinkFailed(error);
    return true;
}
