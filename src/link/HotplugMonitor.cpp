#include "link/HotplugMonitor.h"

#include "link/UdevEventSource.h"

#include <QSocketNotifier>

namespace {
const char* const ACTION_ADD = "add";
const char* const ACTION_REMOVE = "remove";
const char* const SUBSYSTEM_TTY = "tty";
const char* const SUBSYSTEM_USB = "usb";
} // namespace

CHotplugMonitor::CHotplugMonitor(QObject* parent)
    : CHotplugMonitor(std::make_unique<CUdevEventSource>(), parent)
{
}

CHotplugMonitor::CHotplugMonitor(std::unique_ptr<IUeventSource> source, QObject* parent)
    : QObject(parent), m_pSource(std::move(source))
{
    const int fd = m_pSource ? m_pSource->Descriptor() : -1;
    if (fd < 0)
        return;
    m_pNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CHotplugMonitor::OnReadable);
}

// The notifier goes before the source that owns its descriptor.
CHotplugMonitor::~CHotplugMonitor()
{
    delete m_pNotifier;
}

void CHotplugMonitor::OnReadable()
{
    Uevent event;
    for (int handled = 0; handled < MAX_EVENTS_PER_WAKE && m_pSource->Next(&event); ++handled)
        Dispatch(event);
}

void CHotplugMonitor::Dispatch(const Uevent& event)
{
    const bool added = event.action == ACTION_ADD;
    if (!added && event.action != ACTION_REMOVE)
        return;
    const QString name = QString::fromStdString(event.sysName);
    if (event.subsystem == SUBSYSTEM_TTY) {
        if (added)
            emit portAppeared(name);
        else
            emit portDisappeared(name);
    } else if (event.subsystem == SUBSYSTEM_USB) {
        const UsbPlugFacts device{event.sysName, event.vendorId, event.serial, event.product};
        if (added)
            emit usbDeviceAppeared(device);
        else
            emit usbDeviceDisappeared(device);
    }
}
