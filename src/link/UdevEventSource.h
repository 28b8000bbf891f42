// The system's device events for ttys and USB devices, through libudev's monitor: events as
// udev has finished them (nodes, permissions and by-id links in place), or the kernel's own
// events where no udev daemon runs (a container).
#pragma once

#include "link/UeventSource.h"

struct udev;
struct udev_monitor;

class CUdevEventSource : public IUeventSource {
public:
    CUdevEventSource();
    ~CUdevEventSource() override;
    CUdevEventSource(const CUdevEventSource&) = delete;
    CUdevEventSource& operator=(const CUdevEventSource&) = delete;

    int Descriptor() const override;
    bool Next(Uevent* pEvent) override;

private:
    udev* m_pUdev = nullptr;
    udev_monitor* m_pMonitor = nullptr;
};
