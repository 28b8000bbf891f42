// A machine for the computer check on a fake tree, and a look-up of one check in a report.
#pragma once

#include "FakeSystemTree.h"
#include "doctor/Doctor.h"

#include <string>
#include <unistd.h>
#include <vector>

inline const FakeUsbSerial TETHERIX{"1-1",  "ttyUSB0",  "0403",    "6001",
                                    "FTDI", "Tetherix", "TX000001"};
inline const FakeUsbSerial OTHER_FTDI{"1-2",  "ttyUSB1",         "0403",    "6001",
                                      "FTDI", "FT232R USB UART", "A10K3B2C"};

// Another user than the tree's owner, so that owning a node does not decide the access.
inline DoctorMachine MachineOn(const FakeSystemTree& tree)
{
    DoctorMachine machine;
    machine.roots = tree.Roots();
    machine.lib = (tree.Root() / "lib").string();
    machine.uid = getuid() + 1;
    machine.login.userName = "alice";
    machine.d2xxLibrary = "/nonexistent/libftd2xx.so";
    return machine;
}

// Every step of a fix, one a line.
inline std::string FixText(const DoctorCheck& check)
{
    std::string text;
    for (const std::string& step : check.fix)
        text += step + "\n";
    return text;
}

// The check with this name (and subject, when given); a "missing" check when there is none.
inline DoctorCheck FindCheck(const std::vector<DoctorCheck>& checks, const std::string& name,
                             const std::string& subject = {})
{
    for (const DoctorCheck& check : checks) {
        if (check.name == name && (subject.empty() || check.subject == subject))
            return check;
    }
    return {"missing " + name, subject, EDoctorStatus::Skipped, "", {}};
}
