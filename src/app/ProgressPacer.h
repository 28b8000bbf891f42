// Passes the progress of a run on to the bar at whole percents, at most once every
// MIN_INTERVAL_MS: every value shown raises events for assistive technology (the bar's value and
// its words), and a screen reader takes each in turn before the next key the user presses; sent
// more than a few a second, it answers keys late and falls behind what matters. The first and the
// last value of a run are passed on at once; a value held back is passed on when its time comes.
#pragma once

#include <QBasicTimer>
#include <QObject>

#include <chrono>
#include <functional>

class CProgressPacer : public QObject {
public:
    static constexpr int MIN_INTERVAL_MS = 1000;

    // `show` is given each value passed on.
    explicit CProgressPacer(std::function<void(int)> show, QObject* parent = nullptr);

    // A new run of `nMax` steps: the next value is passed on at once.
    void SetRange(int nMax);
    void Offer(int nValue);

protected:
    void timerEvent(QTimerEvent* e) override;

private:
    void Pass(int nValue);
    int Percent(int nValue) const;

    std::function<void(int)> m_show;
    QBasicTimer m_timer;
    std::chrono::steady_clock::time_point m_lastPassed{};
    int m_nMax = 100;
    int m_nShown = -1;   // the value last passed on; -1 none in this run
    int m_nPending = -1; // a value held back; -1 none
};
