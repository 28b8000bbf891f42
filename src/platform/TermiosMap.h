// Translation between the serial line-state record and the termios settings of a port.
#pragma once

#include "platform/CommTypes.h"

#include <termios.h>

// The termios speed for a baud rate; false when the rate is not one the system offers.
bool BaudToSpeed(DWORD baud, speed_t* pSpeed);
// The baud rate of a termios speed; 0 for a speed not in the table.
DWORD SpeedToBaud(speed_t speed);

// Writes the fields termios can hold (speed, size, parity, stop bits, parity checking,
// RTS/CTS and XON/XOFF flow control, XON/XOFF characters) into `tio`.
// Returns 0, or ERROR_INVALID_PARAMETER for a value the line cannot take.
DWORD LineStateToTermios(const SerialLineState& state, termios* pTio);

// Overwrites in `state` the fields that termios holds; the others are left as they are.
void TermiosToLineState(const termios& tio, SerialLineState* pState);

// The port's starting settings: raw bytes, 9600 baud, 8 data bits, no parity, one stop bit,
// no flow control, receiver on, modem status ignored, reads that never wait in the driver.
void MakeDefaultTermios(termios* pTio);
