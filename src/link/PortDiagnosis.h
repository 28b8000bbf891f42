// Why a serial port could not be opened, and what the user can do about it: one sentence
// that follows the open-failure notice, in the status list and on stderr. Pure functions
// of the error and of the system's trees (which tests replace by fake ones).
#pragma once

#include "link/PortUsers.h"
#include "link/SystemRoots.h"

#include <string>
#include <vector>

// The sentence for an open (or exclusive-lock) attempt on `devicePath` ("/dev/ttyUSB0") that
// failed with `errorNumber`:
//   EACCES, EPERM         which group may use the port and how to join it;
//   EBUSY, EWOULDBLOCK    which programs hold the port (from /proc) and how to free it;
//   ENOENT, ENODEV, ENXIO the cable was unplugged;
//   anything else         the system's own text and number.
std::string ExplainPortOpenFailure(const std::string& devicePath, int errorNumber,
                                   const SystemRoots& roots = SystemRoots());

// The sentence for a port that `users` hold open (see FindPortUsers), with the remedy for
// each kind of program; empty when there are none. Usable before the port is opened.
std::string ExplainPortInUse(const std::string& devicePath, const std::vector<PortUser>& users);
