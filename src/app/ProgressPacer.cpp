#include "app/ProgressPacer.h"

#include <QTimerEvent>

#include <algorithm>

CProgressPacer::CProgressPacer(std::function<void(int)> show, QObject* parent)
    : QObject(parent), m_show(std::move(show))
{
}

void CProgressPacer::SetRange(int nMax)
{
    m_nMax = std::max(nMax, 1);
    m_nShown = -1;
    m_nPending = -1;
    m_timer.stop();
}

int CProgressPacer::Percent(int nValue) const
{
    return static_cast<int>(qint64{nValue} * 100 / m_nMax);
}

void CProgressPacer::Offer(int nValue)
{
    if (nValue == m_nShown) {
        m_nPending = -1;
        m_timer.stop();
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastPassed);
    const bool bEnd = m_nShown < 0 || nValue <= 0 || nValue >= m_nMax || nValue < m_nShown;
    if (bEnd || (Percent(nValue) != Percent(m_nShown) && since.count() >= MIN_INTERVAL_MS)) {
        Pass(nValue);
        return;
    }
    m_nPending = nValue;
    if (!m_timer.isActive())
        m_timer.start(std::max(1, MIN_INTERVAL_MS - static_cast<int>(since.count())), this);
}

void CProgressPacer::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != m_timer.timerId())
        return QObject::timerEvent(e);
    m_timer.stop();
    if (m_nPending >= 0)
        Pass(m_nPending);
}

void CProgressPacer::Pass(int nValue)
{
    m_timer.stop();
    m_nPending = -1;
    m_nShown = nValue;
    m_lastPassed = std::chrono::steady_clock::now();
    m_show(nValue);
}
