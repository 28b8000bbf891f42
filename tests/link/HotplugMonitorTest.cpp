// Plug events from a fake event source reach every monitor's owner, through a real socket
// notifier and event loop.
#include "link/HotplugMonitor.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {
constexpr int EVENT_WAIT_MS = 5000;

// Events pushed by the test; its eventfd is readable while any wait.
class FakeUeventSource : public IUeventSource {
public:
    FakeUeventSource() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~FakeUeventSource() override { close(m_fd); }
    int Descriptor() const override { return m_fd; }
    bool Next(Uevent* pEvent) override
    {
        std::lock_guard lock(m_mutex);
        if (m_events.empty()) {
            eventfd_t count;
            eventfd_read(m_fd, &count);
            return false;
        }
        *pEvent = m_events.front();
        m_events.pop_front();
        return true;
    }
    void Push(const Uevent& event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
        eventfd_write(m_fd, 1);
    }

private:
    int m_fd;
    std::mutex m_mutex;
    std::deque<Uevent> m_events;
};

struct Recorder {
    QStringList seen;
    void Watch(CHotplugMonitor& monitor)
    {
        QObject::connect(&monitor, &CHotplugMonitor::portAppeared,
                         [this](const QString& n) { seen << "+" + n; });
        QObject::connect(&monitor, &CHotplugMonitor::portDisappeared,
                         [this](const QString& n) { seen << "-" + n; });
        QObject::connect(&monitor, &CHotplugMonitor::usbDeviceAppeared,
                         [this](const QString& n, const QString& v) { seen << "+usb " + n + " " + v; });
        QObject::connect(&monitor, &CHotplugMonitor::usbDeviceDisappeared,
                         [this](const QString& n, const QString& v) { seen << "-usb " + n + " " + v; });
    }
    bool WaitFor(qsizetype count)
    {
        QElapsedTimer clock;
        clock.start();
        while (seen.size() < count && clock.elapsed() < EVENT_WAIT_MS)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return seen.size() >= count;
    }
};

TEST(HotplugMonitor, EachOwnerHearsPlugAndUnplugOfPortsAndCables)
{
    auto first = std::make_unique<FakeUeventSource>();
    auto second = std::make_unique<FakeUeventSource>();
    FakeUeventSource* pFirst = first.get();
    FakeUeventSource* pSecond = second.get();
    CHotplugMonitor window(std::move(first));
    CHotplugMonitor engine(std::move(second));
    ASSERT_TRUE(window.IsWatching());
    Recorder windowSaw, engineSaw;
    windowSaw.Watch(window);
    engineSaw.Watch(engine);

    pFirst->Push({"remove", "tty", "ttyUSB0", ""});
    pFirst->Push({"remove", "usb", "1-1", "0403"});
    pFirst->Push({"change", "tty", "ttyUSB0", ""}); // neither plug nor unplug
    pFirst->Push({"add", "usb", "1-1", "0403"});
    pFirst->Push({"bind", "usb", "1-1", "0403"});
    pFirst->Push({"add", "tty", "ttyUSB1", ""});
    pSecond->Push({"add", "tty", "ttyUSB1", ""});

    ASSERT_TRUE(windowSaw.WaitFor(4));
    ASSERT_TRUE(engineSaw.WaitFor(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(QStringList({"-ttyUSB0", "-usb 1-1 0403", "+usb 1-1 0403", "+ttyUSB1"}), windowSaw.seen);
    EXPECT_EQ(QStringList({"+ttyUSB1"}), engineSaw.seen);

    // The system's own source is made and released cleanly whether or not it delivers events.
    CHotplugMonitor system;
}
} // namespace
