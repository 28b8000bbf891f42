// The serial port of a dialog: opened with the window object that receives the watcher's
// notifications. This is the class of the main dialog's COM-port member.
#pragma once

#include "link/SerialWnd.h"

class CSerialWndObj : public CSerialWnd {
public:
    CSerialWndObj();
    ~CSerialWndObj() override;

    using CSerialWnd::OpenPort;
    // Opens `device` (a device path such as "/dev/ttyUSB0"), notifying `window` (may be null).
    virtual DWORD OpenPort(const char* device, QObject* window, UINT message = 0,
                           LPARAM param = 0, DWORD inQueue = 0, DWORD outQueue = 0);
};
