// The computer check: every family of checks between this computer and a Tetherix, each a
// function of the machine as DoctorMachine describes it and of the cables plugged in. The
// firmware service, which needs the network, is checked apart (DoctorService.h).
#pragma once

#include "doctor/DoctorCables.h"
#include "doctor/DoctorCheck.h"
#include "doctor/DoctorMachine.h"

#include <vector>

using DoctorCables = std::vector<DoctorCable>;

// Whether the program runs confined by snap or flatpak, which hides serial ports from it:
// "confinement".
std::vector<DoctorCheck> CheckProgram(const DoctorMachine& machine, const DoctorCables& cables);
// Each FTDI device (vendor 0403) and whether a Tetherix is among them: "cable.device" for
// each, "cable.tetherix" once, "cable.serial" when two Tetherix cables share a serial number.
std::vector<DoctorCheck> CheckCables(const DoctorMachine& machine, const DoctorCables& cables);
// For each Tetherix, whether this user (as root: the desktop user, "root.user") may open its
// serial port and, where FTDI's library will open it, its USB device node, and why:
// "access.port", "access.usb".
std::vector<DoctorCheck> CheckAccess(const DoctorMachine& machine, const DoctorCables& cables);
// The Tetherix udev rule installed ("udev.rule"), and applied to each Tetherix plugged in
// ("udev.applied").
std::vector<DoctorCheck> CheckUdevRule(const DoctorMachine& machine, const DoctorCables& cables);
// Programs that take serial cables: "modemmanager", "brltty", and "port.users" for each
// Tetherix port.
std::vector<DoctorCheck> CheckSerialGrabbers(const DoctorMachine& machine,
                                             const DoctorCables& cables);
// FTDI's D2XX library ("d2xx.library") and, for each Tetherix, the kernel's driver and which
// way the program will use ("way-in").
std::vector<DoctorCheck> CheckWaysIn(const DoctorMachine& machine, const DoctorCables& cables);
// Each Tetherix port's latency timer ("latency").
std::vector<DoctorCheck> CheckLatency(const DoctorMachine& machine, const DoctorCables& cables);
// The settings file ("settings.file") and the support log's folder ("support.log").
std::vector<DoctorCheck> CheckFiles(const DoctorMachine& machine, const DoctorCables& cables);

// The name of the program holding a Tetherix's USB device ("brltty"); empty when none is seen.
std::string TetherixHolder(const DoctorMachine& machine, const DoctorCable& cable);

// Every family above, in this order.
std::vector<DoctorCheck> RunMachineChecks(const DoctorMachine& machine);
