// An open serial device for exclusive use: line state, time-outs, line events and reads and
// writes that either finish at once or stay pending on an overlapped record until a wait on
// that record carries them to completion. Line events come from epoll (edge-triggered: a
// doorbell for newly arrived bytes); changing the event mask completes a pending wait.
#pragma once

#include "platform/CommTypes.h"

#include <linux/serial.h>

#include <atomic>
#include <memory>
#include <mutex>

class CCommDevice {
public:
    // Opens `path` for reading and writing by this process alone; returns 0 with the device
    // in *ppDevice, or the errno code (EBUSY when another opener holds the port).
    static DWORD Open(const char* path, std::unique_ptr<CCommDevice>* ppDevice);
    ~CCommDevice();
    CCommDevice(const CCommDevice&) = delete;
    CCommDevice& operator=(const CCommDevice&) = delete;

    // The driver keeps its own queues; sizes are accepted and change nothing.
    DWORD SetQueueSizes(DWORD inQueue, DWORD outQueue);
    DWORD GetLineState(SerialLineState* pState);
    DWORD SetLineState(const SerialLineState& state);
    DWORD GetTimeouts(SerialTimeouts* pTimeouts) const;
    DWORD SetTimeouts(const SerialTimeouts& timeouts);
    // Raw 9600 8N1 without flow control (the port's starting configuration).
    DWORD ApplyDefaultConfig();
    // Asks the driver to pass received bytes on at once; 0 or the errno of its refusal.
    DWORD RequestLowLatency();

    // Sets the reported line events and completes a pending line-event wait.
    DWORD SetEventMask(DWORD mask);

    // Each returns 0 when the operation completed at once (record's event set),
    // ERROR_IO_PENDING when it waits on the record, or an error code.
    DWORD StartLineEventWait(std::atomic<DWORD>* pEvents, SerialOverlapped* pOv);
    DWORD StartWrite(const void* pData, DWORD length, DWORD* pDone, SerialOverlapped* pOv);
    DWORD StartRead(void* pBuffer, DWORD length, DWORD* pDone, SerialOverlapped* pOv);

    // Waits up to `timeoutMs` (INFINITE: no limit) for the record's operation to complete,
    // carrying it forward meanwhile. WAIT_OBJECT_0 or WAIT_TIMEOUT.
    DWORD WaitForCompletion(SerialOverlapped* pOv, DWORD timeoutMs);
    // Outcome of a completed operation and the bytes it moved; ERROR_IO_INCOMPLETE while
    // it is still pending.
    DWORD GetResult(const SerialOverlapped& ov, DWORD* pTransferred) const;
    // Abandons the record's pending operation; its event is not set.
    void Cancel(SerialOverlapped* pOv);

    // Reads and clears the line errors (CE_ flags) counted since the last call. Drivers
    // without error counters report none.
    DWORD ClearLineErrors(DWORD* pErrors);

private:
    CCommDevice(int fd, int epollFd, int kickFd);

    bool StepLineEvent(SerialPendingIo& io, int waitMs);
    bool StepRead(SerialPendingIo& io, int waitMs);
    bool StepWrite(SerialPendingIo& io, int waitMs);
    bool PollEnded(SerialPendingIo& io, short events, int waitMs, bool* pReady);
    bool Step(SerialPendingIo& io, int waitMs);
    bool FinishIfDone(SerialPendingIo& io);
    void Finish(SerialOverlapped* pOv);
    bool ReadAvailable(SerialPendingIo& io);
    bool WriteAvailable(SerialPendingIo& io);
    bool CheckHangUp();
    DWORD CounterEvents();
    DWORD ApplyModemLines(const SerialLineState& state);

    const int m_fd;
    const int m_epollFd;
    const int m_kickFd;
    std::atomic<bool> m_bGone{false};
    std::atomic<DWORD> m_eventMask{0};
    std::atomic<std::uint64_t> m_maskGeneration{0};
    std::atomic<bool> m_bLineWaitPending{false};

    std::mutex m_counterMutex;
    bool m_bHasCounters = false;
    serial_icounter_struct m_eventCounters{};
    serial_icounter_struct m_errorCounters{};

    // Used by the owning thread only.
    SerialLineState m_lineState;
    SerialTimeouts m_timeouts;
};
