#include "app/ScreenRatePacer.h"

#include <QTimerEvent>

#include <algorithm>

CScreenRatePacer::CScreenRatePacer(std::function<void()> action, QObject* parent)
    : QObject(parent), m_action(std::move(action))
{
}

void CScreenRatePacer::Request()
{
    if (m_timer.isActive())
        return;
    using namespace std::chrono;
    const auto since = duration_cast<milliseconds>(steady_clock::now() - m_lastRun);
    const auto wait = milliseconds(REFRESH_INTERVAL_MS) - since;
    m_timer.start(std::max(0, static_cast<int>(wait.count())), Qt::PreciseTimer, this);
}

void CScreenRatePacer::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != m_timer.timerId()) {
        QObject::timerEvent(e);
        return;
    }
    m_timer.stop();
    m_lastRun = std::chrono::steady_clock::now();
    m_action();
}
