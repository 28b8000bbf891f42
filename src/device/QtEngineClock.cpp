#include "device/QtEngineClock.h"

#include <QMetaObject>
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

CQtEngineClock::CQtEngineClock() = default;
CQtEngineClock::~CQtEngineClock() = default;

std::unique_ptr<IEngineTimer> CQtEngineClock::MakeTimer(std::function<void()> fnFire)
{
    return std::make_unique<CQtEngineTimer>(std::move(fnFire));
}

void CQtEngineClock::Later(std::function<void()> fn)
{
    QMetaObject::invokeMethod(&m_context, std::move(fn), Qt::QueuedConnection);
}
