// Asks a serial driver to pass received bytes on at once (ASYNC_LOW_LATENCY). On an FTDI
// cable, ftdi_sio then runs the chip's latency timer at 1 ms instead of 16 ms, and a normal
// user may ask for it. Other drivers and pseudo-terminals refuse, which is no failure.
#pragma once

#include <linux/serial.h>

// The call that reads and writes the driver's serial settings (TIOCGSERIAL, TIOCSSERIAL);
// returns 0, or -1 with errno set, as ioctl does.
using SerialSettingsCall = int (*)(int fd, unsigned long request, serial_struct* pSettings);

// 0 when the driver now works with low latency (or already did), else the errno of its
// refusal (ENOTTY for a pseudo-terminal, EINVAL, EPERM).
int RequestLowLatency(int fd);

// Tests put their own call here to stand in for a driver; null restores ioctl.
void SetSerialSettingsCall(SerialSettingsCall call);
