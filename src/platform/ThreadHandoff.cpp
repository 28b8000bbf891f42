#include "platform/ThreadHandoff.h"

#include <QCoreApplication>
#include <QEvent>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#define KX_HANDOFF_RELEASE(p) __tsan_release(const_cast<void*>(static_cast<const void*>(p)))
#define KX_HANDOFF_ACQUIRE(p) __tsan_acquire(const_cast<void*>(static_cast<const void*>(p)))
#define KX_QT_QUEUE_BEGIN() __tsan_ignore_thread_begin()
#define KX_QT_QUEUE_END() __tsan_ignore_thread_end()
#else
#define KX_HANDOFF_RELEASE(p) static_cast<void>(p)
#define KX_HANDOFF_ACQUIRE(p) static_cast<void>(p)
#define KX_QT_QUEUE_BEGIN() static_cast<void>(0)
#define KX_QT_QUEUE_END() static_cast<void>(0)
#endif

void PostHandoffEvent(QObject* receiver, QEvent* event)
{
    KX_HANDOFF_RELEASE(event);
    // Inside postEvent only Qt's queue is touched, under Qt's own lock; the posting thread's
    // copies into that queue are left out of ThreadSanitizer's view, since the receiving
    // thread's side of the same lock cannot be seen.
    KX_QT_QUEUE_BEGIN();
    QCoreApplication::postEvent(receiver, event);
    KX_QT_QUEUE_END();
}

void AcceptHandoffEvent(const QEvent* event)
{
    KX_HANDOFF_ACQUIRE(event);
}
