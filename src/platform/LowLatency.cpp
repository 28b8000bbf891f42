#include "platform/LowLatency.h"

#include <sys/ioctl.h>

#include <atomic>
#include <cerrno>

namespace {

int IoctlSerialSettings(int fd, unsigned long request, serial_struct* pSettings)
{
    return ::ioctl(fd, request, pSettings);
}

std::atomic<SerialSettingsCall> g_call{&IoctlSerialSettings};

} // namespace

int RequestLowLatency(int fd)
{
    const SerialSettingsCall call = g_call.load();
    serial_struct settings{};
    if (call(fd, TIOCGSERIAL, &settings) != 0)
        return errno;
    if (settings.flags & ASYNC_LOW_LATENCY)
        return 0;
    settings.flags |= ASYNC_LOW_LATENCY;
    return call(fd, TIOCSSERIAL, &settings) == 0 ? 0 : errno;
}

void SetSerialSettingsCall(SerialSettingsCall call)
{
    g_call.store(call ? call : &IoctlSerialSettings);
}
