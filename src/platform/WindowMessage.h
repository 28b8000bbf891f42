// Named window messages: one Qt event type per registered name, posted to a window object
// or sent synchronously from a worker thread (the sender waits until the window has handled
// the message, or until the send is cancelled).
#pragma once

#include <QEvent>
#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

// Returns the same event type for the same name for the life of the process.
QEvent::Type RegisterWindowMessage(const char* name);

// Completion record of one synchronous send: the window marks it handled, the owner of the
// sending thread may cancel it so that the sender stops waiting.
class CSendCompletion {
public:
    void MarkHandled();
    void Cancel();
    bool IsCancelled() const;
    // Blocks until the message is handled or the send is cancelled; true when it was handled.
    bool Wait();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bHandled = false;
    bool m_bCancelled = false;
};

// The event that carries a registered message and its two parameters.
class CWindowMessageEvent : public QEvent {
public:
    CWindowMessageEvent(QEvent::Type type, WPARAM wParam, LPARAM lParam,
                        std::shared_ptr<CSendCompletion> completion = nullptr);
    ~CWindowMessageEvent() override;

    WPARAM m_wParam;
    LPARAM m_lParam;
    // Set for a synchronous send; marked handled when the event is destroyed at the latest,
    // so a sender never waits for a message that was dropped.
    std::shared_ptr<CSendCompletion> m_completion;
};

// The message an event carries, or null for another event; called by the receiving window
// before it reads the message, so that the hand-over from the posting thread is ordered.
const CWindowMessageEvent* AcceptWindowMessage(const QEvent* e);

// Posts the message to the window and returns at once (any thread).
void PostWindowMessage(QObject* window, QEvent::Type type, WPARAM wParam, LPARAM lParam);

// Posts the message and waits until the window has handled it or `completion` is cancelled.
// Returns true when it was handled. Must not be called on the window's own thread.
bool SendWindowMessageSync(QObject* window, QEvent::Type type, WPARAM wParam, LPARAM lParam,
                           const std::shared_ptr<CSendCompletion>& completion);
