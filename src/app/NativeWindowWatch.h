// Hears of the window's native X11 window being destroyed by another program (a session
// ending, `xdotool windowclose`): X tells the client that watches a window's structure, and
// Qt does not pass it on as an event of its own. Elsewhere than X11 it hears nothing.
#pragma once

#include <QAbstractNativeEventFilter>

#include <functional>

class CNativeWindowWatch : public QAbstractNativeEventFilter {
public:
    // fnGone is called on the window's thread with the id of the native window that went.
    explicit CNativeWindowWatch(std::function<void(unsigned long windowId)> fnGone);
    ~CNativeWindowWatch() override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<void(unsigned long)> m_fnGone;
};
