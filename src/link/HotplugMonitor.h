// Follows serial ports and USB devices as they are plugged in and out, from the kernel's
// device events on a socket notifier (no polling). Each owner makes its own monitor.
#pragma once

#include "link/TetherixDevices.h"
#include "link/UeventSource.h"

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

class CHotplugMonitor : public QObject {
    Q_OBJECT
public:
    // Most events handled per wake-up; the notifier fires again for the rest.
    static constexpr int MAX_EVENTS_PER_WAKE = 64;

    // Watches the system's device events (libudev's monitor).
    explicit CHotplugMonitor(QObject* parent = nullptr);
    // Watches the given source; tests feed one of their own.
    explicit CHotplugMonitor(std::unique_ptr<IUeventSource> source, QObject* parent = nullptr);
    ~CHotplugMonitor() override;

    // False when the source delivers no events (no netlink socket here): the owner then
    // refreshes its list when the user opens it.
    bool IsWatching() const { return m_pNotifier != nullptr; }

signals:
    // A serial port ("ttyUSB0") appeared or disappeared.
    void portAppeared(const QString& ttyName);
    void portDisappeared(const QString& ttyName);
    // A USB device ("1-1.2") appeared or disappeared, with what the event says of it: its
    // vendor id ("0403" for an FTDI cable), serial number and description, each empty when
    // unknown.
    void usbDeviceAppeared(const UsbPlugFacts& device);
    void usbDeviceDisappeared(const UsbPlugFacts& device);

private:
    void OnReadable();
    void Dispatch(const Uevent& event);

    std::unique_ptr<IUeventSource> m_pSource;
    QSocketNotifier* m_pNotifier = nullptr;
};
