#include "link/SerialWnd.h"

namespace {
constexpr WPARAM LOW_WORD_MASK = 0xFFFF;
constexpr int LINE_ERROR_SHIFT = 16;

// Registered during start-up, before any window exists.
[[maybe_unused]] const UINT s_nDefaultComMsg = CSerialWnd::DefaultMessage();
} // namespace

UINT CSerialWnd::DefaultMessage()
{
    static const UINT s_nMessage =
        static_cast<UINT>(RegisterWindowMessage("CSerialWnd_DefaultComMsg"));
    return s_nMessage;
}

CSerialWnd::CSerialWnd() = default;

CSerialWnd::~CSerialWnd()
{
    if (HasWatcher())
        CSerialWnd::ClosePort();
}

DWORD CSerialWnd::OpenPort(const char* device, WindowHandle window, UINT message, LPARAM param,
                           DWORD inQueue, DWORD outQueue)
{
    const DWORD code = CSerialWatcher::OpenPort(device, inQueue, outQueue, false);
    if (code != ERROR_SUCCESS)
        return code;
    m_targetWindow.store(window.pWindow);
    m_notifyMessage.store(message != 0 ? message : DefaultMessage());
    m_notifyParam.store(param);
    const DWORD started = StartWatcher();
    if (started != ERROR_SUCCESS) {
        ClosePort();
        return SetResult(started);
    }
    return SetResult(ERROR_SUCCESS);
}

DWORD CSerialWnd::ClosePort()
{
    m_targetWindow.store(nullptr);
    m_notifyMessage.store(0);
    return CSerialWatcher::ClosePort();
}

void CSerialWnd::OnLineEvent(DWORD events, DWORD lineErrors)
{
    QObject* pWindow = m_targetWindow.load();
    const UINT message = m_notifyMessage.load();
    if (!pWindow || message == 0)
        return; // closing: nothing more is posted
    const WPARAM wParam = ((WPARAM{lineErrors} & LOW_WORD_MASK) << LINE_ERROR_SHIFT) |
                          (WPARAM{events} & LOW_WORD_MASK);
    PostWindowMessage(pWindow, static_cast<QEvent::Type>(message), wParam, m_notifyParam.load());
}
