// What kestova-flash --doctor --fix may do: install the Tetherix udev rule from the installed
// package's own copy, then have udev reload its rules and apply them to the cable. Nothing
// else is ever done for the user; everything else the report's fixes say.
#pragma once

#include "doctor/DoctorCheck.h"
#include "doctor/DoctorMachine.h"

#include <string>
#include <vector>

struct DoctorFixAction {
    std::string what;              // "Install the Tetherix udev rule into /etc/udev/rules.d"
    std::vector<std::string> argv; // the command, without sudo
};

struct DoctorFixPlan {
    std::vector<DoctorFixAction> actions; // empty: nothing this can do
    std::string why;                      // when empty: why not
};

DoctorFixPlan PlanDoctorFix(const DoctorMachine& machine, const std::vector<DoctorCheck>& checks);
