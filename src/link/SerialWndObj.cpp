#include "link/SerialWndObj.h"

CSerialWndObj::CSerialWndObj() = default;

CSerialWndObj::~CSerialWndObj()
{
    // Stop the watcher before any base destructor runs: the thread must not be inside a
    // virtual call while the object's type is being torn down.
    if (HasWatcher())
        CSerialWnd::ClosePort();
}

DWORD CSerialWndObj::OpenPort(const char* device, QObject* window, UINT message, LPARAM param,
                              DWORD inQueue, DWORD outQueue)
{
    return CSerialWnd::OpenPort(device, WindowHandle{window}, message, param, inQueue, outQueue);
}
