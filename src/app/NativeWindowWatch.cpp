#include "app/NativeWindowWatch.h"

#include <QCoreApplication>

#include <cstdint>

namespace {
// The X11 protocol's DestroyNotify event (xcb_destroy_notify_event_t), as it comes on the wire.
constexpr std::uint8_t X11_DESTROY_NOTIFY = 17;
struct DestroyNotifyEvent {
    std::uint8_t responseType;
    std::uint8_t pad0;
    std::uint16_t sequence;
    std::uint32_t event;
    std::uint32_t window;
};
} // namespace

CNativeWindowWatch::CNativeWindowWatch(std::function<void(unsigned long)> fnGone)
    : m_fnGone(std::move(fnGone))
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

CNativeWindowWatch::~CNativeWindowWatch()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool CNativeWindowWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || message == nullptr)
        return false;
    const auto* event = static_cast<const DestroyNotifyEvent*>(message);
    if ((event->responseType & 0x7F) == X11_DESTROY_NOTIFY)
        m_fnGone(event->window);
    return false;
}
