// Records and constants of the serial-port interface: line settings, time-outs, line events,
// line errors, and the overlapped record that carries one port operation to its completion.
#pragma once

#include "platform/WinTypes.h"

#include <atomic>
#include <chrono>
#include <cstdint>

class CSyncEvent;

constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

// Parity and stop bits.
constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

// Line events a wait can report.
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_RXFLAG = 0x0002;
constexpr DWORD EV_BREAK = 0x0040;
constexpr DWORD EV_ERR = 0x0080;

// Line errors, as read and cleared after a line event.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// How the DTR and RTS lines are driven.
constexpr BYTE DTR_CONTROL_DISABLE = 0;
constexpr BYTE DTR_CONTROL_ENABLE = 1;
constexpr BYTE DTR_CONTROL_HANDSHAKE = 2;
constexpr BYTE RTS_CONTROL_DISABLE = 0;
constexpr BYTE RTS_CONTROL_ENABLE = 1;
constexpr BYTE RTS_CONTROL_HANDSHAKE = 2;

// The whole line state of a port, read and written as one record.
struct SerialLineState {
    DWORD BaudRate = 9600;
    BYTE ByteSize = 8;
    BYTE Parity = NOPARITY;
    BYTE StopBits = ONESTOPBIT;
    bool fBinary = true;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    BYTE fDtrControl = DTR_CONTROL_ENABLE;
    BYTE fRtsControl = RTS_CONTROL_ENABLE;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fNull = false;
    bool fAbortOnError = false;
    char XonChar = 0x11;
    char XoffChar = 0x13;
    char ErrorChar = 0;
    char EvtChar = 0;
};

// Read and write time-outs in milliseconds. A read interval of MAXDWORD with both read
// totals 0 makes a read return at once with what has arrived; all read values 0 make a read
// wait until the requested count has arrived. Write totals of 0 mean no write time-out.
struct SerialTimeouts {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

// State of the one operation pending on an overlapped record; kept by the port layer.
struct SerialPendingIo {
    using Clock = std::chrono::steady_clock;
    enum class Kind { None, LineEvent, Read, Write };

    Kind kind = Kind::None;
    std::uint8_t* pData = nullptr;          // read buffer or bytes still to write
    DWORD length = 0;                       // bytes asked for
    DWORD done = 0;                         // bytes moved so far
    DWORD result = 0;                       // outcome once the operation has completed
    std::atomic<DWORD>* pEvents = nullptr;  // where a line-event wait puts its events
    std::uint64_t maskGeneration = 0;       // event-mask generation when the wait began
    bool bHasTotalDeadline = false;
    Clock::time_point totalDeadline{};      // read or write total time-out
    DWORD intervalMs = 0;                   // read interval time-out, 0 for none
    Clock::time_point lastByte{};
};

// One port operation that may finish later. The caller zeroes it and sets hEvent (or leaves
// it null); the event is set when the operation completes. A pending operation progresses
// while someone waits on the record through the port (CCommDevice::WaitForCompletion).
struct SerialOverlapped {
    CSyncEvent* hEvent = nullptr;
    SerialPendingIo io;
};
