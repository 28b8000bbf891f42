// --list: the serial ports with what they are, and "USB" when the D2XX library loads and the
// Tetherix cable is there (otherwise why USB is not listed goes to stderr); as lines, or as one
// JSON object a port.
#pragma once

#include <cstdio>

// Writes one port a line to `out`; returns the exit status (2 when there is no port at all).
int ListPorts(std::FILE* out, bool bJson);
