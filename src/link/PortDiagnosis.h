// Why a serial port could not be opened, and what the user can do about it: one sentence
// that follows the open-failure notice, in the status list and on stderr. Pure functions
// of the error and of the system's trees (which tests replace by fake ones).
#pragma once

#include "link/PortUsers.h"
#include "link/SystemRoots.h"

#include <string>
#include <sys/types.h>
#include <vector>

// The user this process runs as and the groups it carries: those the login gave it when it
// began, which a later change of the group database does not reach.
struct LoginIdentity {
    std::string userName;
    std::vector<gid_t> groups;

    static LoginIdentity Current();
};

// The name of a group from the tree's etc/group, else the system's database, else its number.
std::string GroupNameInTree(gid_t gid, const SystemRoots& roots = SystemRoots());

// True when the tree's etc/group lists `userName` as a member of the group, whether or not
// this login carries it yet.
bool IsListedGroupMember(const std::string& userName, gid_t gid,
                         const SystemRoots& roots = SystemRoots());

// The sentence for an open (or exclusive-lock) attempt on `devicePath` ("/dev/ttyUSB0") that
// failed with `errorNumber`:
//   EACCES, EPERM         which group may use the port and how to join it, or that the user
//                         joined it after this login began;
//   EBUSY, EWOULDBLOCK    which programs hold the port (from /proc and lock files) and how to
//                         free it, or the usual holders and how to see them when none can be
//                         named;
//   ENOENT, ENODEV, ENXIO the cable was unplugged;
//   anything else         the system's own text and number.
std::string ExplainPortOpenFailure(const std::string& devicePath, int errorNumber,
                                   const SystemRoots& roots = SystemRoots(),
                                   const LoginIdentity& login = LoginIdentity::Current());

// The sentence for a port that `users` hold open (see FindPortUsers), with the remedy for
// each kind of program; empty when there are none. Usable before the port is opened.
std::string ExplainPortInUse(const std::string& devicePath, const std::vector<PortUser>& users);

// The sentence for a port name that names no device on this computer (never plugged in, or
// mistyped), with the ports that there are.
std::string ExplainMissingPort(const std::string& portName, const std::vector<std::string>& ports);
