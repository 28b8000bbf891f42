#include "platform/ThreadHandoff.h"

#include <QCoreApplication>
#include <QEvent>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#define KX_HANDOFF_RELEASE(p) __tsan_release(const_cast<void*>(static_cast<const void*>(p)))
#define KX_HANDOFF_ACQUIRE(p) __tsan_acquire(const_cast<void*>(static_cast<const void*>(p)))
#else
#define KX_HANDOFF_RELEASE(p) static_cast<void>(p)
#define KX_HANDOFF_ACQUIRE(p) static_cast<void>(p)
#endif

void PostHandoffEvent(QObject* receiver, QEvent* event)
{
    KX_HANDOFF_RELEASE(event);
    QCoreApplication::postEvent(receiver, event);
}

void AcceptHandoffEvent(const QEvent* event)
{
    KX_HANDOFF_ACQUIRE(event);
}
