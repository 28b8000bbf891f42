// The D2XX functions of FTDI's Linux interface, as the simulated library exports them. A variant
// library built with KX_SIM_OMIT_<FUNCTION> lacks that one function, for the binding tests.
#include "KxSimControl.h"
#include "SimCable.h"

namespace {

CSimCable& Cable()
{
    return CSimCable::Instance();
}

} // namespace

extern "C" {

#ifndef KX_SIM_OMIT_FT_WRITE
KX_SIM_API FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* pWritten)
{
    return Cable().Write(handle, buffer, count, pWritten);
}
#endif

KX_SIM_API FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* pGot)
{
    return Cable().Read(handle, buffer, count, pGot);
}

KX_SIM_API FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* pHandle)
{
    return deviceNumber == 0 ? Cable().Open("Tetherix", pHandle) : FT_DEVICE_NOT_FOUND;
}

KX_SIM_API FT_STATUS FT_OpenEx(void* pArg1, DWORD flags, FT_HANDLE* pHandle)
{
    if (flags != FT_OPEN_BY_DESCRIPTION)
        return FT_DEVICE_NOT_FOUND;
    return Cable().Open(static_cast<const char*>(pArg1), pHandle);
}

KX_SIM_API FT_STATUS FT_ListDevices(void* pArg1, void* /*pArg2*/, DWORD flags)
{
    if (flags != FT_LIST_NUMBER_ONLY || !pArg1)
        return FT_NOT_SUPPORTED;
    return Cable().CountDevices(static_cast<DWORD*>(pArg1));
}

KX_SIM_API FT_STATUS FT_Close(FT_HANDLE handle)
{
    return Cable().Close(handle);
}

KX_SIM_API FT_STATUS FT_ResetDevice(FT_HANDLE handle)
{
    return Cable().ResetDevice(handle);
}

KX_SIM_API FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask)
{
    return Cable().Purge(handle, mask);
}

KX_SIM_API FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs)
{
    return Cable().SetTimeouts(handle, readMs, writeMs);
}

KX_SIM_API FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD* pRxBytes)
{
    return Cable().GetQueueStatus(handle, pRxBytes);
}

KX_SIM_API FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baud)
{
    return Cable().SetBaudRate(handle, baud);
}

#ifndef KX_SIM_OMIT_FT_SETEVENTNOTIFICATION
KX_SIM_API FT_STATUS FT_SetEventNotification(FT_HANDLE handle, DWORD mask, void* pEvent)
{
    return Cable().SetEventNotification(handle, mask, pEvent);
}
#endif

#ifndef KX_SIM_OMIT_FT_GETSTATUS
KX_SIM_API FT_STATUS FT_GetStatus(FT_HANDLE handle, DWORD* pRxBytes, DWORD* pTxBytes,
                                  DWORD* pEvents)
{
    return Cable().GetStatus(handle, pRxBytes, pTxBytes, pEvents);
}
#endif

#ifndef KX_SIM_OMIT_FT_SETLATENCYTIMER
KX_SIM_API FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    return Cable().SetLatencyTimer(handle, latencyMs);
}
#endif

#ifndef KX_SIM_OMIT_FT_CLRRTS
KX_SIM_API FT_STATUS FT_ClrRts(FT_HANDLE handle)
{
    return Cable().ClrRts(handle);
}
#endif

}
