// The part of FTDI's D2XX interface for Linux that the USB cable driver binds at run time.
// On Linux the library's ULONG and DWORD are 32-bit unsigned integers, also on 64-bit systems.
#pragma once

#include <pthread.h>

#include <cstdint>

using DWORD = std::uint32_t;
using ULONG = unsigned int;
using UCHAR = unsigned char;
using FT_HANDLE = void*;
using FT_STATUS = ULONG;

// The event object that FT_SetEventNotification signals on Linux: the library locks eMutex and
// signals eCondVar when one of the requested events happens.
struct EVENT_HANDLE {
    pthread_cond_t eCondVar;
    pthread_mutex_t eMutex;
    int iVar;
};

constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
constexpr FT_STATUS FT_NOT_SUPPORTED = 17;

constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000u;

constexpr DWORD FT_EVENT_RXCHAR = 1;
constexpr DWORD FT_EVENT_MODEM_STATUS = 2;

constexpr ULONG FT_PURGE_RX = 1;
constexpr ULONG FT_PURGE_TX = 2;

using PFN_FT_Write = FT_STATUS (*)(FT_HANDLE ftHandle, void* lpBuffer, DWORD dwBytesToWrite,
                                   DWORD* lpBytesWritten);
using PFN_FT_Read = FT_STATUS (*)(FT_HANDLE ftHandle, void* lpBuffer, DWORD dwBytesToRead,
                                  DWORD* lpBytesReturned);
using PFN_FT_Open = FT_STATUS (*)(int deviceNumber, FT_HANDLE* pHandle);
using PFN_FT_OpenEx = FT_STATUS (*)(void* pArg1, DWORD Flags, FT_HANDLE* pHandle);
using PFN_FT_ListDevices = FT_STATUS (*)(void* pArg1, void* pArg2, DWORD Flags);
using PFN_FT_Close = FT_STATUS (*)(FT_HANDLE ftHandle);
using PFN_FT_ResetDevice = FT_STATUS (*)(FT_HANDLE ftHandle);
using PFN_FT_Purge = FT_STATUS (*)(FT_HANDLE ftHandle, ULONG Mask);
using PFN_FT_SetTimeouts = FT_STATUS (*)(FT_HANDLE ftHandle, ULONG ReadTimeout,
                                         ULONG WriteTimeout);
using PFN_FT_GetQueueStatus = FT_STATUS (*)(FT_HANDLE ftHandle, DWORD* dwRxBytes);
using PFN_FT_SetBaudRate = FT_STATUS (*)(FT_HANDLE ftHandle, ULONG BaudRate);
using PFN_FT_SetEventNotification = FT_STATUS (*)(FT_HANDLE ftHandle, DWORD Mask, void* Param);
using PFN_FT_GetStatus = FT_STATUS (*)(FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes,
                                       DWORD* dwEventDWord);
using PFN_FT_ClrRts = FT_STATUS (*)(FT_HANDLE ftHandle);
using PFN_FT_SetLatencyTimer = FT_STATUS (*)(FT_HANDLE ftHandle, UCHAR ucLatency);
