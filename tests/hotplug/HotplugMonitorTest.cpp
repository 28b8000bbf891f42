// Plug events reach every monitor's owner from the real libudev, through a real socket notifier
// and event loop, with what udev knows of each USB device.
#include "UsbTestbed.h"

#include "link/HotplugMonitor.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {
constexpr int EVENT_WAIT_MS = 5000;

struct Recorder {
    QStringList seen;
    void Watch(CHotplugMonitor& monitor)
    {
        QObject::connect(&monitor, &CHotplugMonitor::portAppeared,
                         [this](const QString& n) { seen << "+" + n; });
        QObject::connect(&monitor, &CHotplugMonitor::portDisappeared,
                         [this](const QString& n) { seen << "-" + n; });
        QObject::connect(&monitor, &CHotplugMonitor::usbDeviceAppeared,
                         [this](const UsbPlugFacts& d) { seen << "+usb " + Describe(d); });
        QObject::connect(&monitor, &CHotplugMonitor::usbDeviceDisappeared,
                         [this](const UsbPlugFacts& d) { seen << "-usb " + Describe(d); });
    }
    static QString Describe(const UsbPlugFacts& d)
    {
        return QString::fromStdString(d.sysName + " " + d.vendorId + " " + d.serial + " " +
                                      d.product);
    }
    // umockdev 0.17.16 delivers each event twice to each of two monitors in one process (one
    // monitor gets it once): repeats are left out.
    QStringList Heard() const
    {
        QStringList heard;
        for (const QString& event : seen) {
            if (heard.isEmpty() || heard.back() != event)
                heard << event;
        }
        return heard;
    }
    bool WaitFor(qsizetype count)
    {
        QElapsedTimer clock;
        clock.start();
        while (Heard().size() < count && clock.elapsed() < EVENT_WAIT_MS)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return Heard().size() >= count;
    }
};

TEST(HotplugMonitor, EachOwnerHearsPlugAndUnplugOfPortsAndCables)
{
    if (!CUsbTestbed::IsEmulating())
        GTEST_SKIP() << "needs umockdev's preload library (run through ctest)";
    CUsbTestbed bed;
    CHotplugMonitor window;
    CHotplugMonitor engine;
    ASSERT_TRUE(window.IsWatching());
    Recorder windowSaw, engineSaw;
    windowSaw.Watch(window);
    engineSaw.Watch(engine);

    const EmulatedCable cable{"1-1", "Tetherix", "A10K3B2C", "ttyUSB0"};
    bed.Plug(cable); // "bind" follows "add": neither is reported twice
    bed.Unplug(cable);
    bed.AddTerminal("tty9");

    const QStringList expected = {"+usb 1-1 0403 A10K3B2C Tetherix", "+ttyUSB0", "-ttyUSB0",
                                  "-usb 1-1 0403 A10K3B2C Tetherix", "+tty9"};
    ASSERT_TRUE(windowSaw.WaitFor(expected.size()));
    ASSERT_TRUE(engineSaw.WaitFor(expected.size()));
    QCoreApplication::processEvents();
    EXPECT_EQ(expected, windowSaw.Heard());
    EXPECT_EQ(expected, engineSaw.Heard());
}
} // namespace
