// The cable, the two ways in (FTDI's library and the kernel's ftdi_sio) and the latency timer.
#include "doctor/Doctor.h"

#include "link/CableDiagnosis.h"
#include "link/D2xxLibrary.h"
#include "link/D2xxLibraryVariable.h"

#include <cstdlib>

namespace {
const char* const SERIAL_DRIVER = "ftdi_sio";
constexpr int RULE_LATENCY_MS = 1;
constexpr int LINES_PER_ESTIMATE = 1000;

DoctorCheck NoTetherix(const char* name)
{
    return {name, "", EDoctorStatus::Skipped, "No Tetherix is plugged in.", ""};
}

bool AnyTetherix(const DoctorCables& cables)
{
    for (const DoctorCable& cable : cables) {
        if (cable.bTetherix)
            return true;
    }
    return false;
}

std::string DriverText(const FtdiCable& cable)
{
    if (cable.heldByDriver.empty())
        return "no kernel driver holds it";
    return "held by " + cable.heldByDriver +
           (cable.ttyName.empty() ? std::string() : " as " + cable.ttyName);
}
} // namespace

std::vector<DoctorCheck> CheckCables(const DoctorMachine&, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    std::string otherPort;
    for (const DoctorCable& cable : cables) {
        const std::string name = DoctorCableName(cable.cable.device);
        checks.push_back({"cable.device", cable.sysName, EDoctorStatus::Pass,
                          name + ", " + DriverText(cable.cable) + ": " +
                              (cable.bTetherix ? "a Tetherix." : "not a Tetherix."),
                          ""});
        if (!cable.bTetherix && otherPort.empty())
            otherPort = cable.cable.ttyName;
    }
    int count = 0;
    for (const DoctorCable& cable : cables)
        count += cable.bTetherix ? 1 : 0;
    if (count > 0) {
        checks.push_back({"cable.tetherix", "", EDoctorStatus::Pass,
                          count == 1 ? std::string("A Tetherix is plugged in.")
                                     : std::to_string(count) + " Tetherix cables are plugged in.",
                          ""});
    } else if (cables.empty()) {
        checks.push_back({"cable.tetherix", "", EDoctorStatus::Warn,
                          "No FTDI USB device is plugged in.",
                          "Plug the Tetherix in and run the check again."});
    } else {
        checks.push_back(
            {"cable.tetherix", "", EDoctorStatus::Warn,
             "FTDI devices are plugged in, but none describes itself as a Tetherix.",
             otherPort.empty() ? std::string("Plug the Tetherix in and run the check again.")
                               : "Plug the Tetherix in; if " + otherPort +
                                     " is the Tetherix, choose it by name (--port " + otherPort +
                                     ")."});
    }
    return checks;
}

std::vector<DoctorCheck> CheckWaysIn(const DoctorMachine& machine, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    CD2xxLibrary library;
    const LinkError error = library.Load(machine.d2xxLibrary);
    const bool bLibrary = !error.Failed();
    if (bLibrary) {
        checks.push_back({"d2xx.library", "", EDoctorStatus::Pass,
                          "FTDI's D2XX library " + machine.d2xxLibrary + " is loaded with every function it needs" +
                              (library.HasLatencyTimer() ? "." : " (without FT_SetLatencyTimer)."),
                          ""});
    } else {
        const bool bMissingFunction = error.Fault() == LinkFault::FunctionMissing;
        const std::string why =
            bMissingFunction
                ? "is not FTDI's D2XX library or is too old: it lacks a function the cable needs"
                : (library.LoadError().find("No such file") != std::string::npos
                       ? "is not installed"
                       : "cannot be loaded");
        checks.push_back(
            {"d2xx.library", "", EDoctorStatus::Warn,
             "FTDI's D2XX library " + machine.d2xxLibrary + " " + why +
                 (library.LoadError().empty() ? "." : " (" + library.LoadError() + ").") +
                 " The kernel's serial port works without it.",
             bMissingFunction
                 ? "Install FTDI's D2XX library, or name the right file with " +
                       std::string(D2XX_LIBRARY_VARIABLE) + "=/path/to/libftd2xx.so."
                 : "Only needed for --port USB: install FTDI's D2XX library, or name it with " +
                       std::string(D2XX_LIBRARY_VARIABLE) + "=/path/to/libftd2xx.so."});
    }
    library.Unload();
    if (!AnyTetherix(cables))
        checks.push_back(NoTetherix("way-in"));
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix)
            continue;
        const FtdiCable& found = cable.cable;
        if (found.heldByDriver == SERIAL_DRIVER && !found.ttyName.empty()) {
            checks.push_back(
                {"way-in", cable.sysName, EDoctorStatus::Pass,
                 "ftdi_sio holds the Tetherix as " + found.ttyName +
                     ": the program uses that serial port (--port " + found.ttyName +
                     "). FTDI's library cannot open the cable while ftdi_sio holds it.",
                 ""});
        } else if (found.heldByDriver.empty() && bLibrary) {
            checks.push_back({"way-in", cable.sysName, EDoctorStatus::Pass,
                              "No kernel driver holds the Tetherix: the program uses FTDI's "
                              "library (--port USB).",
                              ""});
        } else if (found.heldByDriver.empty()) {
            checks.push_back({"way-in", cable.sysName, EDoctorStatus::Fail,
                              "No kernel driver holds the Tetherix and FTDI's library is not "
                              "there: the program has no way to the cable.",
                              "sudo modprobe ftdi_sio, then plug the cable in again; or install "
                              "FTDI's D2XX library."});
        } else {
            checks.push_back({"way-in", cable.sysName, EDoctorStatus::Fail,
                              "The Tetherix is " + DriverText(found) +
                                  ", which neither the serial port nor FTDI's library can use.",
                              "Unplug the cable and plug it in again; if that does not help, "
                              "unload " + found.heldByDriver + "."});
        }
    }
    return checks;
}

std::vector<DoctorCheck> CheckLatency(const DoctorMachine& machine, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix || cable.cable.ttyName.empty())
            continue;
        const std::string tty = cable.cable.ttyName;
        const std::string relative = "/bus/usb-serial/devices/" + tty + "/latency_timer";
        const std::string value = ReadFirstLine(machine.roots.sys + relative);
        if (value.empty()) {
            checks.push_back({"latency", tty, EDoctorStatus::Skipped,
                              "The port has no latency timer in sysfs.", ""});
            continue;
        }
        const int ms = std::atoi(value.c_str());
        if (ms <= RULE_LATENCY_MS) {
            checks.push_back({"latency", tty, EDoctorStatus::Pass,
                              "The latency timer is " + value + " ms, as the udev rule sets it.", ""});
            continue;
        }
        const int extraMs = ms - RULE_LATENCY_MS;
        checks.push_back(
            {"latency", tty, EDoctorStatus::Warn,
             "The latency timer is " + value + " ms. The program asks ftdi_sio for low latency "
             "(1 ms) when it opens the port; where that is refused, ftdi_sio holds each short "
             "reply of the unit up to " + value + " ms, up to " + std::to_string(extraMs) +
                 " ms more per line than with 1 ms (" +
                 std::to_string(extraMs * LINES_PER_ESTIMATE / 1000) + " s per " +
                 std::to_string(LINES_PER_ESTIMATE) + " lines).",
             "Install the Tetherix udev rule, or until the cable is plugged in again: echo 1 | "
             "sudo tee /sys" + relative});
    }
    if (checks.empty())
        checks.push_back(NoTetherix("latency"));
    return checks;
}
