#include "link/SerialLine.h"

#include "platform/CommDevice.h"
#include "platform/SyncEvent.h"

#include <cstring>
#include <new>

CSerialLine::CSerialLine() = default;

CSerialLine::~CSerialLine()
{
    if (m_pPort)
        CSerialLine::ClosePort();
}

DWORD CSerialLine::SetResult(DWORD code)
{
    m_lastError.store(code);
    return code;
}

DWORD CSerialLine::LastErrorCode() const { return m_lastError.load(); }

bool CSerialLine::IsPortOpen() const { return m_pPort != nullptr; }

DWORD CSerialLine::OpenPort(const char* device, DWORD inQueue, DWORD outQueue, bool bOverlapped)
{
    SetResult(ERROR_SUCCESS);
    if (m_pPort)
        return SetResult(ERROR_ALREADY_INITIALIZED);
    if (!device)
        return SetResult(ERROR_INVALID_PARAMETER);
    std::unique_ptr<CCommDevice> pPort;
    DWORD code = CCommDevice::Open(device, &pPort);
    if (code != ERROR_SUCCESS)
        return SetResult(code);
    if (bOverlapped) {
        m_pIoEvent.reset(new (std::nothrow) CSyncEvent(CSyncEvent::Reset::Manual));
        if (!m_pIoEvent)
            return SetResult(ERROR_NOT_ENOUGH_MEMORY); // the device closes with pPort
    }
    m_pPort = std::move(pPort);
    if (inQueue != 0 || outQueue != 0) {
        code = m_pPort->SetQueueSizes(inQueue, outQueue);
        if (code != ERROR_SUCCESS) {
            ClosePort();
            return SetResult(code);
        }
    }
    SetWatchMask(DEFAULT_WATCH_MASK);
    const DWORD result = SetReadMode(ReadNonBlocking);
    m_pPort->ApplyDefaultConfig(); // a port that cannot take it keeps its own settings
    // The unit answers each line with one byte, which an FTDI chip would otherwise hold for
    // its 16 ms latency timer.
    m_nLowLatencyResult = m_pPort->RequestLowLatency();
    return SetResult(result);
}

DWORD CSerialLine::ClosePort()
{
    SetResult(ERROR_SUCCESS);
    if (!m_pPort)
        return ERROR_SUCCESS;
    m_pIoEvent.reset();
    m_pPort.reset();
    return ERROR_SUCCESS;
}

DWORD CSerialLine::ReadLineState(SerialLineState* pState)
{
    if (!m_pPort)
        return ERROR_INVALID_HANDLE;
    return m_pPort->GetLineState(pState);
}

DWORD CSerialLine::WriteLineState(const SerialLineState& state)
{
    return m_pPort->SetLineState(state);
}

DWORD CSerialLine::ConfigureLine(DWORD baud, BYTE dataBits, BYTE parity, BYTE stopBits)
{
    SetResult(ERROR_SUCCESS);
    SerialLineState state;
    const DWORD code = ReadLineState(&state);
    if (code != ERROR_SUCCESS)
        return SetResult(code);
    state.BaudRate = baud;
    state.ByteSize = dataBits;
    state.Parity = parity;
    state.StopBits = stopBits;
    state.fParity = parity != NOPARITY;
    return SetResult(WriteLineState(state));
}

DWORD CSerialLine::SetTriggerChar(char ch, bool bAddToMask)
{
    SetResult(ERROR_SUCCESS);
    SerialLineState state;
    DWORD code = ReadLineState(&state);
    if (code != ERROR_SUCCESS)
        return SetResult(code);
    state.EvtChar = ch;
    if (bAddToMask) {
        code = SetWatchMask(QueryWatchMask() | EV_RXFLAG);
        if (code != ERROR_SUCCESS)
            return SetResult(code);
    }
    return SetResult(WriteLineState(state));
}

DWORD CSerialLine::SetWatchMask(DWORD mask)
{
    SetResult(ERROR_SUCCESS);
    if (!m_pPort)
        return SetResult(ERROR_INVALID_HANDLE);
    const DWORD code = m_pPort->SetEventMask(mask);
    if (code == ERROR_SUCCESS)
        m_watchMask.store(mask);
    return SetResult(code);
}

DWORD CSerialLine::WaitForLineEvent(SerialOverlapped* pOv, DWORD timeoutMs)
{
    return RunIo(IoKind::LineEvent, nullptr, 0, nullptr, pOv, timeoutMs);
}

DWORD CSerialLine::SetFlowControl(int mode)
{
    SetResult(ERROR_SUCCESS);
    SerialLineState state;
    const DWORD code = ReadLineState(&state);
    if (code != ERROR_SUCCESS)
        return SetResult(code);
    if (mode != FlowNone && mode != FlowHardware && mode != FlowSoftware)
        return SetResult(E_INVALIDARG);
    const bool bHardware = mode == FlowHardware;
    const bool bSoftware = mode == FlowSoftware;
    state.fOutxCtsFlow = bHardware;
    state.fOutxDsrFlow = bHardware;
    state.fDtrControl = bHardware ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
    state.fRtsControl = bHardware ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    state.fOutX = bSoftware;
    state.fInX = bSoftware;
    return SetResult(WriteLineState(state));
}

DWORD CSerialLine::SetReadMode(int mode)
{
    SetResult(ERROR_SUCCESS);
    if (!m_pPort)
        return SetResult(ERROR_INVALID_HANDLE);
    SerialTimeouts timeouts;
    const DWORD code = m_pPort->GetTimeouts(&timeouts);
    if (code != ERROR_SUCCESS)
        return SetResult(code);
    if (mode != ReadNonBlocking && mode != ReadBlocking)
        return SetResult(E_INVALIDARG);
    timeouts.ReadIntervalTimeout = mode == ReadNonBlocking ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    return SetResult(m_pPort->SetTimeouts(timeouts));
}

DWORD CSerialLine::QueryBaudRate()
{
    SerialLineState state;
    return SetResult(ReadLineState(&state)) == ERROR_SUCCESS ? state.BaudRate : QUERY_FAILED;
}

DWORD CSerialLine::QueryDataBits()
{
    SerialLineState state;
    return SetResult(ReadLineState(&state)) == ERROR_SUCCESS ? state.ByteSize : QUERY_FAILED;
}

DWORD CSerialLine::QueryParity()
{
    SerialLineState state;
    if (SetResult(ReadLineState(&state)) != ERROR_SUCCESS)
        return QUERY_FAILED;
    return state.fParity ? state.Parity : NOPARITY;
}

DWORD CSerialLine::QueryStopBits()
{
    SerialLineState state;
    return SetResult(ReadLineState(&state)) == ERROR_SUCCESS ? state.StopBits : QUERY_FAILED;
}

DWORD CSerialLine::QueryFlowControl()
{
    SerialLineState state;
    if (SetResult(ReadLineState(&state)) != ERROR_SUCCESS)
        return QUERY_FAILED;
    if (state.fDtrControl == DTR_CONTROL_HANDSHAKE && state.fRtsControl == RTS_CONTROL_HANDSHAKE)
        return FlowHardware;
    if (state.fOutX && state.fInX)
        return FlowSoftware;
    return FlowNone;
}

DWORD CSerialLine::QueryWatchMask()
{
    if (!m_pPort) {
        SetResult(ERROR_INVALID_HANDLE);
        return 0;
    }
    SetResult(ERROR_SUCCESS);
    return m_watchMask.load();
}

char CSerialLine::QueryTriggerChar()
{
    SerialLineState state;
    return SetResult(ReadLineState(&state)) == ERROR_SUCCESS ? state.EvtChar : '\0';
}

DWORD CSerialLine::WriteText(const char* text, DWORD* pWritten, SerialOverlapped* pOv,
                             DWORD timeoutMs)
{
    if (pWritten)
        *pWritten = 0;
    if (m_pPort && !text)
        return SetResult(ERROR_INVALID_PARAMETER);
    const DWORD length = text ? static_cast<DWORD>(std::strlen(text)) : 0;
    return WriteBytes(text, length, pWritten, pOv, timeoutMs);
}

DWORD CSerialLine::WriteBytes(const void* pData, DWORD length, DWORD* pWritten,
                              SerialOverlapped* pOv, DWORD timeoutMs)
{
    if (pWritten)
        *pWritten = 0;
    if (m_pPort && !pData && length != 0)
        return SetResult(ERROR_INVALID_PARAMETER);
    return RunIo(IoKind::Write, const_cast<void*>(pData), length, pWritten, pOv, timeoutMs);
}

DWORD CSerialLine::ReadBytes(void* pBuffer, DWORD length, DWORD* pRead, SerialOverlapped* pOv,
                             DWORD timeoutMs)
{
    if (pRead)
        *pRead = 0;
    if (m_pPort && !pBuffer && length != 0)
        return SetResult(ERROR_INVALID_PARAMETER);
    return RunIo(IoKind::Read, pBuffer, length, pRead, pOv, timeoutMs);
}

DWORD CSerialLine::IssueIo(IoKind kind, void* pData, DWORD length, DWORD* pCount,
                           SerialOverlapped* pOv)
{
    switch (kind) {
    case IoKind::LineEvent: return m_pPort->StartLineEventWait(&m_eventsSeen, pOv);
    case IoKind::Read: return m_pPort->StartRead(pData, length, pCount, pOv);
    case IoKind::Write: return m_pPort->StartWrite(pData, length, pCount, pOv);
    }
    return ERROR_INVALID_FUNCTION;
}

// Runs one wait, read or write. Without a record of the caller's the operation uses the
// port's own and is waited for here, up to the time-out; with the caller's record a pending
// operation is left to the caller (WaitForOverlapped).
DWORD CSerialLine::RunIo(IoKind kind, void* pData, DWORD length, DWORD* pCount,
                         SerialOverlapped* pCallerOv, DWORD timeoutMs)
{
    SetResult(ERROR_SUCCESS);
    if (!m_pPort)
        return SetResult(ERROR_INVALID_HANDLE);
    if (!m_pIoEvent && (pCallerOv || timeoutMs != INFINITE))
        return SetResult(ERROR_INVALID_FUNCTION);
    SerialOverlapped own;
    own.hEvent = m_pIoEvent.get();
    SerialOverlapped* pOv = pCallerOv ? pCallerOv : &own;
    const DWORD issued = IssueIo(kind, pData, length, pCount, pOv);
    if (issued != ERROR_IO_PENDING)
        return SetResult(issued);
    if (pCallerOv)
        return SetResult(ERROR_SUCCESS);
    if (m_pPort->WaitForCompletion(&own, timeoutMs) == WAIT_TIMEOUT) {
        m_pPort->Cancel(&own);
        return SetResult(ERROR_TIMEOUT);
    }
    if (kind == IoKind::LineEvent)
        return SetResult(ERROR_SUCCESS);
    DWORD moved = 0;
    const DWORD code = m_pPort->GetResult(own, &moved);
    if (code == ERROR_SUCCESS && pCount)
        *pCount = moved;
    return SetResult(code);
}

DWORD CSerialLine::WaitForOverlapped(SerialOverlapped* pOv, DWORD timeoutMs, DWORD* pTransferred)
{
    SetResult(ERROR_SUCCESS);
    if (pTransferred)
        *pTransferred = 0;
    if (!m_pPort)
        return SetResult(ERROR_INVALID_HANDLE);
    if (!pOv)
        return SetResult(ERROR_INVALID_PARAMETER);
    if (m_pPort->WaitForCompletion(pOv, timeoutMs) == WAIT_TIMEOUT)
        return SetResult(ERROR_TIMEOUT);
    DWORD moved = 0;
    const DWORD code = m_pPort->GetResult(*pOv, &moved);
    if (code == ERROR_SUCCESS && pTransferred)
        *pTransferred = moved;
    return SetResult(code);
}

DWORD CSerialLine::TakeLineEvents() { return m_eventsSeen.exchange(0) & m_watchMask.load(); }

DWORD CSerialLine::ClearLineErrors(DWORD* pErrors)
{
    *pErrors = 0;
    if (!m_pPort)
        return ERROR_INVALID_HANDLE;
    return m_pPort->ClearLineErrors(pErrors);
}

void CSerialLine::CancelOverlapped(SerialOverlapped* pOv)
{
    if (m_pPort && pOv)
        m_pPort->Cancel(pOv);
}
