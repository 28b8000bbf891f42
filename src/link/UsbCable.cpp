#include "link/UsbCable.h"

#include "link/CableDiagnosis.h"
#include "link/D2xxLibraryVariable.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

const char* const DEFAULT_DRIVER_LIBRARY = "libftd2xx.so";
const char* const CABLE_DESCRIPTION = "Tetherix";

const char* const TEXT_NO_DRIVER = "Unable to load USB Tetherix driver";
const char* const TEXT_NO_CABLE = "Unable to find USB Tetherix";
const char* const TEXT_NO_BAUD = "Unable to set the baud rate of the USB Tetherix device";
const char* const TEXT_ARM_UNBOUND = "FT_SetEventNotification is not valid!";

struct EntryPointName {
    const char* name;
    // Message box shown when the library lacks the function; null for a silent failure.
    const char* missingMessage;
};

// In binding order; the index is CUsbCable's EntryPoint.
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

// The name set by SetDriverLibraryName; empty for the default.
std::string& LibraryName()
{
    static std::string s_strName;
    return s_strName;
}

std::string EffectiveLibraryName()
{
    if (!LibraryName().empty())
        return LibraryName();
    const char* named = std::getenv(D2XX_LIBRARY_VARIABLE);
    return named && *named ? named : DEFAULT_DRIVER_LIBRARY;
}

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Printable ASCII and the white-space bytes 0x09 to 0x0D are kept; everything else (which
// includes 0x00, so the text has no embedded terminator) becomes '?'.
void MakePrintable(std::string& text)
{
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool bPrintable = byte >= 0x20 && byte <= 0x7E;
        const bool bWhiteSpace = byte >= 0x09 && byte <= 0x0D;
        if (!bPrintable && !bWhiteSpace)
            c = '?';
    }
}

} // namespace

static_assert(std::size(ENTRY_POINT_NAMES) == 14);

// Bound after the required functions, and only if the library has it.
const char* const OPTIONAL_LATENCY_TIMER = "FT_SetLatencyTimer";

CUsbCable::CUsbCable(CUsbCableOwner& owner) : m_owner(owner)
{
}

CUsbCable::~CUsbCable()
{
    RetireCurrentReader();
    if (m_device)
        CloseDevice();
    ReapRetiredReaders(true);
    UnloadDriver();
}

void CUsbCable::SetDriverLibraryName(const std::string& nameOrPath)
{
    LibraryName() = nameOrPath;
}

std::string CUsbCable::DriverLibraryName()
{
    return EffectiveLibraryName();
}

QEvent::Type CUsbCable::SpecialChangeMessage()
{
    static const QEvent::Type s_type = RegisterWindowMessage("Special_Change");
    return s_type;
}

// A library that is already loaded stays as it is: loading it again would only raise its
// reference count, and one Close would then no longer release it.
bool CUsbCable::LoadDriver()
{
    if (m_driverModule.IsLoaded())
        return true;
    if (!m_driverModule.Load(EffectiveLibraryName()))
        return false;
    if (BindEntryPoints())
        return true;
    UnloadDriver();
    return false;
}

// Looks the functions up in order; stops at the first one missing, after its message box.
bool CUsbCable::BindEntryPoints()
{
    for (int ep = 0; ep < EP_COUNT; ++ep) {
        m_entryPoints[ep] = m_driverModule.Symbol(ENTRY_POINT_NAMES[ep].name);
        if (m_entryPoints[ep])
            continue;
        if (ENTRY_POINT_NAMES[ep].missingMessage)
            m_owner.ShowMessageBox(ENTRY_POINT_NAMES[ep].missingMessage);
        return false;
    }
    m_pfnSetLatencyTimer =
        reinterpret_cast<PFN_FT_SetLatencyTimer>(m_driverModule.Symbol(OPTIONAL_LATENCY_TIMER));
    return true;
}

void CUsbCable::UnloadDriver()
{
    m_entryPoints.fill(nullptr);
    m_pfnSetLatencyTimer = nullptr;
    m_device = nullptr;
    m_pArmedReader = nullptr;
    m_driverModule.Unload();
}

// The notice, followed by the sentence that says why and what to do.
void CUsbCable::ExplainFailure(const std::string& notice, const std::string& sentence)
{
    if (sentence.empty()) {
        m_owner.ShowNotice(notice);
        return;
    }
    m_owner.OnDiagnosis(sentence);
    m_owner.ShowNotice(notice + "\n\n" + sentence);
}

// A failed step releases what the earlier steps acquired, so that a later Open starts afresh.
int CUsbCable::Open(bool bQuiet)
{
    m_strOpenFailure.clear();
    if (!LoadDriver()) {
        if (!DriverLoadError().empty())
            m_strOpenFailure = ExplainD2xxLoadFailure(DriverLibraryName(), DriverLoadError());
        if (!bQuiet)
            ExplainFailure(TEXT_NO_DRIVER, m_strOpenFailure);
        return 1;
    }
    if (m_device)
        CloseDevice();
    if (OpenByDescription() != FT_OK) {
        UnloadDriver();
        m_strOpenFailure = ExplainD2xxOpenFailure();
        if (!bQuiet)
            ExplainFailure(TEXT_NO_CABLE, m_strOpenFailure);
        return 1;
    }
    if (SetBaudRate(CABLE_BAUD) != FT_OK) {
        CloseDevice();
        UnloadDriver();
        m_strOpenFailure = TEXT_NO_BAUD;
        if (!bQuiet)
            m_owner.ShowNotice(TEXT_NO_BAUD);
        return 1;
    }
    ShortenLatency();
    return 0;
}

// A cable whose timer cannot be set still works: each reply then waits up to the chip's
// default timer. The support log says which it is.
void CUsbCable::ShortenLatency()
{
    const FT_STATUS status = SetLatencyTimer(LATENCY_TIMER_MS);
    const std::string timer = std::to_string(LATENCY_TIMER_MS) + " ms";
    if (status == FT_OK)
        m_owner.OnLinkNote("latency timer set to " + timer);
    else if (status == FT_NOT_SUPPORTED)
        m_owner.OnLinkNote(std::string("latency timer left at the chip's default: the library "
                                       "has no ") + OPTIONAL_LATENCY_TIMER);
    else
        m_owner.OnLinkNote("latency timer left at the chip's default: setting " + timer +
                           " failed with status " + std::to_string(status));
}

void CUsbCable::Close()
{
    if (!m_owner.IsUsbActive())
        return;
    StopCurrentReader();
    CloseDevice();
    ReapRetiredReaders(true);
    UnloadDriver();
    m_owner.SetUsbActive(false);
}

// Asks the reader to end, gives it time, wakes it and waits until it has ended. The
// notification it may be waiting in is cancelled, so this cannot wait for the user-interface
// thread, which is this one.
void CUsbCable::StopCurrentReader()
{
    if (!m_pReader || m_pReader->State() == CUsbReader::STATE_NONE)
        return;
    m_pReader->RequestStop();
    m_owner.KillTimer(WAKE_TIMER_ID);
    SleepMs(CLOSE_GRACE_MS);
    m_pReader->Wake();
    while (m_pReader->State() != CUsbReader::STATE_NONE)
        SleepMs(CLOSE_POLL_MS);
    SleepMs(CLOSE_SETTLE_MS);
}

void CUsbCable::StartReader()
{
    ReapRetiredReaders(false);
    auto pReader = std::make_unique<CUsbReader>(m_owner.NotifyWindow(), SpecialChangeMessage());
    // Arming the new event replaces the earlier one on the device, so the earlier reader's
    // event is no longer signalled and can be released once its thread has ended. Should the
    // arming fail, the reader still polls once per bounded wait.
    if (ArmRxEvent(FT_EVENT_RXCHAR | FT_EVENT_MODEM_STATUS, pReader->RxEvent()) == FT_OK)
        m_pArmedReader = pReader.get();
    RetireCurrentReader();
    m_pReader = std::move(pReader);
    m_pReader->Start();
}

void CUsbCable::RetireCurrentReader()
{
    if (!m_pReader)
        return;
    m_pReader->RequestStop();
    m_pReader->Wake();
    m_retiredReaders.push_back(std::move(m_pReader));
}

// Destroys the retired readers whose threads have ended, or all of them (each destruction
// waits for its thread, which has been told to end and ends within one bounded wait). A
// reader whose event the open device may still signal is kept until the device lets go of it.
void CUsbCable::ReapRetiredReaders(bool bWaitForAll)
{
    std::erase_if(m_retiredReaders, [this, bWaitForAll](const auto& pReader) {
        const bool bEnded = bWaitForAll || pReader->State() == CUsbReader::STATE_NONE;
        return bEnded && pReader.get() != m_pArmedReader;
    });
}

int CUsbCable::ReaderState() const
{
    return m_pReader ? m_pReader->State() : CUsbReader::STATE_NONE;
}

void CUsbCable::OnCableData()
{
    DWORD rxBytes = 0;
    DWORD txBytes = 0;
    DWORD events = 0;
    if (QueryStatus(&rxBytes, &txBytes, &events) != FT_OK || events != FT_EVENT_RXCHAR)
        return;
    // A full chunk may have left more behind: ask again how much waits, so that no read asks
    // for bytes that have not arrived (the read would block this thread).
    while (ReadChunk(rxBytes) == RX_CHUNK_BYTES) {
        if (QueryStatus(&rxBytes, &txBytes, &events) != FT_OK)
            return;
    }
}

// Reads at most one chunk of the bytes waiting, cleans it and hands it on; returns the count
// read (0 when nothing was read or the read failed).
DWORD CUsbCable::ReadChunk(DWORD wanted)
{
    const DWORD count = std::min(wanted, RX_CHUNK_BYTES);
    if (count == 0)
        return 0;
    char buffer[RX_CHUNK_BYTES] = {};
    DWORD got = 0;
    if (ReadBytes(buffer, count, &got) != FT_OK)
        return 0;
    got = std::min(got, count);
    if (got == 0)
        return 0;
    std::string text(buffer, got);
    MakePrintable(text);
    Dispatch(text);
    return got;
}

void CUsbCable::Dispatch(const std::string& text)
{
    m_owner.OnCableText(text);
}

FT_STATUS CUsbCable::OpenByDescription()
{
    auto pfn = Entry<PFN_FT_OpenEx>(EP_OPEN_EX);
    if (!pfn)
        return FT_INVALID_HANDLE;
    std::string description = CABLE_DESCRIPTION;
    return pfn(description.data(), FT_OPEN_BY_DESCRIPTION, &m_device);
}

FT_STATUS CUsbCable::SetBaudRate(ULONG baud)
{
    auto pfn = Entry<PFN_FT_SetBaudRate>(EP_SET_BAUD_RATE);
    return pfn ? pfn(m_device, baud) : FT_INVALID_HANDLE;
}

FT_STATUS CUsbCable::ReadBytes(void* buffer, DWORD count, DWORD* pGot)
{
    auto pfn = Entry<PFN_FT_Read>(EP_READ);
    return pfn ? pfn(m_device, buffer, count, pGot) : FT_INVALID_HANDLE;
}

FT_STATUS CUsbCable::WriteBytes(const void* buffer, DWORD count, DWORD* pWritten)
{
    auto pfn = Entry<PFN_FT_Write>(EP_WRITE);
    return pfn ? pfn(m_device, const_cast<void*>(buffer), count, pWritten) : FT_INVALID_HANDLE;
}

FT_STATUS CUsbCable::CloseDevice()
{
    // The device's event dies with it: its reader is told to end now, not waited for.
    RetireCurrentReader();
    auto pfn = Entry<PFN_FT_Close>(EP_CLOSE);
    if (!pfn)
        return FT_INVALID_HANDLE;
    const FT_STATUS status = pfn(m_device);
    m_device = nullptr;
    m_pArmedReader = nullptr;
    return status;
}

FT_STATUS CUsbCable::ArmRxEvent(DWORD mask, void* event)
{
    auto pfn = Entry<PFN_FT_SetEventNotification>(EP_SET_EVENT_NOTIFICATION);
    if (!pfn) {
        m_owner.ShowMessageBox(TEXT_ARM_UNBOUND);
        return FT_INVALID_HANDLE;
    }
    return pfn(m_device, mask, event);
}

FT_STATUS CUsbCable::SetLatencyTimer(UCHAR latencyMs)
{
    if (!m_pfnSetLatencyTimer)
        return FT_NOT_SUPPORTED;
    return m_pfnSetLatencyTimer(m_device, latencyMs);
}

FT_STATUS CUsbCable::QueryStatus(DWORD* pRxBytes, DWORD* pTxBytes, DWORD* pEvents)
{
    auto pfn = Entry<PFN_FT_GetStatus>(EP_GET_STATUS);
    return pfn ? pfn(m_device, pRxBytes, pTxBytes, pEvents) : FT_INVALID_HANDLE;
}
