// Runs one action at most once per screen refresh, however often it is asked for: the first
// request after a quiet spell is served in the next pass of the event loop, later ones when
// the rest of the refresh interval has passed. Repaints that would follow every line go
// through it, so the window paints at most at screen rate.
#pragma once

#include <QBasicTimer>
#include <QObject>

#include <chrono>
#include <functional>

class CScreenRatePacer : public QObject {
public:
    // About 60 refreshes a second.
    static constexpr int REFRESH_INTERVAL_MS = 16;

    explicit CScreenRatePacer(std::function<void()> action, QObject* parent = nullptr);

    // The action runs once for all the requests made until it does.
    void Request();
    bool IsPending() const { return m_timer.isActive(); }

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    std::function<void()> m_action;
    QBasicTimer m_timer;
    std::chrono::steady_clock::time_point m_lastRun{};
};
