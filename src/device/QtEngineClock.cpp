#include "device/QtEngineClock.h"

#include <QTimer>

namespace {
class CQtEngineTimer : public IEngineTimer {
public:
    explicit CQtEngineTimer(std::function<void()> fnFire)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [fn = std::move(fnFire)] { fn(); });
    }
    void Start(int ms) override { m_timer.start(ms); }
    void Stop() override { m_timer.stop(); }
    bool IsActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};
} // namespace

std::unique_ptr<IEngineTimer> CQtEngineClock::MakeTimer(std::function<void()> fnFire)
{
    return std::make_unique<CQtEngineTimer>(std::move(fnFire));
}
