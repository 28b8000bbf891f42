// A serial port whose watcher posts a window message for each line event, with first
// parameter (line errors << 16) | events and second parameter the value given at open.
#pragma once

#include "link/SerialWatcher.h"
#include "platform/WindowMessage.h"

#include <QObject>

#include <atomic>

// A window as the watcher addresses it: the object that receives the posted messages.
struct WindowHandle {
    QObject* pWindow = nullptr;
};

class CSerialWnd : public CSerialWatcher {
public:
    CSerialWnd();
    ~CSerialWnd() override;

    using CSerialWatcher::OpenPort;
    DWORD ClosePort() override;

    // Opens the port and starts the watcher, which posts `message` (0: the registered
    // "CSerialWnd_DefaultComMsg") to `window` with `param` as the second parameter.
    virtual DWORD OpenPort(const char* device, WindowHandle window, UINT message = 0,
                           LPARAM param = 0, DWORD inQueue = 0, DWORD outQueue = 0);

    // The message registered under "CSerialWnd_DefaultComMsg".
    static UINT DefaultMessage();

protected:
    void OnLineEvent(DWORD events, DWORD lineErrors) override;

private:
    std::atomic<QObject*> m_targetWindow{nullptr};
    std::atomic<UINT> m_notifyMessage{0};
    std::atomic<LPARAM> m_notifyParam{0};
};
