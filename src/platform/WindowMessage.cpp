#include "platform/WindowMessage.h"

#include "platform/ThreadHandoff.h"

#include <map>
#include <string>

QEvent::Type RegisterWindowMessage(const char* name)
{
    static std::mutex s_mutex;
    static std::map<std::string, QEvent::Type> s_types;
    std::lock_guard<std::mutex> lock(s_mutex);
    auto it = s_types.find(name);
    if (it != s_types.end())
        return it->second;
    const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    s_types.emplace(name, type);
    return type;
}

void CSendCompletion::MarkHandled()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bHandled = true;
    }
    m_cv.notify_all();
}

void CSendCompletion::Cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bCancelled = true;
    }
    m_cv.notify_all();
}

bool CSendCompletion::IsCancelled() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bCancelled;
}

bool CSendCompletion::Wait()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_bHandled || m_bCancelled; });
    return m_bHandled;
}

CWindowMessageEvent::CWindowMessageEvent(QEvent::Type type, WPARAM wParam, LPARAM lParam,
                                         std::shared_ptr<CSendCompletion> completion)
    : QEvent(type), m_wParam(wParam), m_lParam(lParam), m_completion(std::move(completion))
{
}

CWindowMessageEvent::~CWindowMessageEvent()
{
    // An event that was never delivered is destroyed on the receiving thread all the same.
    AcceptHandoffEvent(this);
    if (m_completion)
        m_completion->MarkHandled();
}

void PostWindowMessage(QObject* window, QEvent::Type type, WPARAM wParam, LPARAM lParam)
{
    if (window)
        PostHandoffEvent(window, new CWindowMessageEvent(type, wParam, lParam));
}

bool SendWindowMessageSync(QObject* window, QEvent::Type type, WPARAM wParam, LPARAM lParam,
                           const std::shared_ptr<CSendCompletion>& completion)
{
    if (!window || !completion)
        return false;
    PostHandoffEvent(window, new CWindowMessageEvent(type, wParam, lParam, completion));
    return completion->Wait();
}

const CWindowMessageEvent* AcceptWindowMessage(const QEvent* e)
{
    const auto* message = dynamic_cast<const CWindowMessageEvent*>(e);
    if (message)
        AcceptHandoffEvent(message);
    return message;
}
