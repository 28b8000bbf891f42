// A serial port: open, close, line settings, flow control, read mode, line events and
// blocking or overlapped reads and writes. Every operation returns 0 or an error code and
// leaves the same code behind for LastErrorCode().
#pragma once

#include "platform/CommTypes.h"
#include "platform/ErrorCodes.h"
#include "platform/WinTypes.h"

#include <atomic>
#include <memory>

class CCommDevice;
class CSyncEvent;

// Flow-control modes of SetFlowControl.
enum SerialFlowMode : int { FlowNone = 0, FlowHardware = 1, FlowSoftware = 2 };
// Read modes of SetReadMode: return what has arrived at once, or wait for the full count.
enum SerialReadMode : int { ReadNonBlocking = 0, ReadBlocking = 1 };

// The line events OpenPort asks for.
constexpr DWORD DEFAULT_WATCH_MASK = EV_RXCHAR | EV_BREAK | EV_ERR;
// Query result when the port could not be asked.
constexpr DWORD QUERY_FAILED = 0xFFFFFFFFu;

class CSerialLine {
public:
    CSerialLine();
    virtual ~CSerialLine();
    CSerialLine(const CSerialLine&) = delete;
    CSerialLine& operator=(const CSerialLine&) = delete;

    // Opens `device` (a device path such as "/dev/ttyUSB0") for exclusive use. Queue sizes of
    // 0 keep the driver's own; `bOverlapped` allows overlapped records and finite time-outs.
    virtual DWORD OpenPort(const char* device, DWORD inQueue = 0, DWORD outQueue = 0,
                           bool bOverlapped = false);
    virtual DWORD ClosePort();
    virtual DWORD ConfigureLine(DWORD baud, BYTE dataBits, BYTE parity, BYTE stopBits);
    // Keeps the event character in the line state (and EV_RXFLAG in the mask when asked). A
    // terminal cannot be watched for one character without reading it, so its arrival is
    // reported as EV_RXCHAR.
    virtual DWORD SetTriggerChar(char ch, bool bAddToMask);
    virtual DWORD SetWatchMask(DWORD mask);
    // Waits for one line event; the events land in the events seen (TakeLineEvents).
    virtual DWORD WaitForLineEvent(SerialOverlapped* pOv = nullptr, DWORD timeoutMs = INFINITE);
    virtual DWORD SetFlowControl(int mode);
    virtual DWORD SetReadMode(int mode);
    virtual DWORD QueryBaudRate();
    virtual DWORD QueryDataBits();
    virtual DWORD QueryParity();
    virtual DWORD QueryStopBits();
    virtual DWORD QueryFlowControl();
    virtual DWORD QueryWatchMask();
    virtual char QueryTriggerChar();
    virtual DWORD WriteText(const char* text, DWORD* pWritten = nullptr,
                            SerialOverlapped* pOv = nullptr, DWORD timeoutMs = INFINITE);
    virtual DWORD WriteBytes(const void* pData, DWORD length, DWORD* pWritten = nullptr,
                             SerialOverlapped* pOv = nullptr, DWORD timeoutMs = INFINITE);
    virtual DWORD ReadBytes(void* pBuffer, DWORD length, DWORD* pRead = nullptr,
                            SerialOverlapped* pOv = nullptr, DWORD timeoutMs = INFINITE);

    // Waits up to `timeoutMs` for an operation left pending on the caller's own record and
    // fetches the bytes it moved: 0, ERROR_TIMEOUT (still pending) or the operation's code.
    DWORD WaitForOverlapped(SerialOverlapped* pOv, DWORD timeoutMs, DWORD* pTransferred = nullptr);

    // The events the last completed wait reported, limited to the watch mask; cleared.
    DWORD TakeLineEvents();
    bool IsPortOpen() const;
    DWORD LastErrorCode() const;
    // How the driver took the request for low latency made at the last OpenPort: 0 when it
    // passes received bytes on at once, else the errno of its refusal (the port works all the
    // same, with the driver's own latency).
    DWORD LowLatencyResult() const { return m_nLowLatencyResult; }

protected:
    DWORD SetResult(DWORD code);
    // Reads and clears the line errors; used after each line event.
    DWORD ClearLineErrors(DWORD* pErrors);
    // Abandons an operation left pending on the caller's record.
    void CancelOverlapped(SerialOverlapped* pOv);

private:
    enum class IoKind { LineEvent, Read, Write };
    DWORD RunIo(IoKind kind, void* pData, DWORD length, DWORD* pCount, SerialOverlapped* pOv,
                DWORD timeoutMs);
    DWORD IssueIo(IoKind kind, void* pData, DWORD length, DWORD* pCount, SerialOverlapped* pOv);
    DWORD ReadLineState(SerialLineState* pState);
    DWORD WriteLineState(const SerialLineState& state);

    std::atomic<DWORD> m_lastError{0};
    DWORD m_nLowLatencyResult = 0;
    std::unique_ptr<CCommDevice> m_pPort;
    std::atomic<DWORD> m_eventsSeen{0};
    std::atomic<DWORD> m_watchMask{0};
    std::unique_ptr<CSyncEvent> m_pIoEvent;
};
