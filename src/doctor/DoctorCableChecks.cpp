// The cable, the two ways in (FTDI's library and the kernel's ftdi_sio) and the latency timer.
#include "doctor/Doctor.h"

#include "doctor/DoctorRules.h"
#include "link/CableDiagnosis.h"
#include "link/D2xxLibrary.h"
#include "link/D2xxLibraryVariable.h"

#include <cstdlib>
#include <filesystem>
#include <map>

namespace {
const char* const SERIAL_DRIVER = "ftdi_sio";
const char* const USBFS = "usbfs";
const char* const BRLTTY = "brltty";
constexpr int RULE_LATENCY_MS = 1;
constexpr int LINES_PER_ESTIMATE = 1000;

DoctorCheck NoTetherix(const char* name)
{
    return {name, "", EDoctorStatus::Skipped, "No Tetherix is plugged in.", {}};
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

// Two Tetherix cables with one serial number: their lasting names collide.
void CheckSerialNumbers(const DoctorCables& cables, std::vector<DoctorCheck>* pChecks)
{
    std::map<std::string, std::vector<std::string>> bySerial;
    for (const DoctorCable& cable : cables) {
        if (cable.bTetherix && !cable.cable.device.serial.empty())
            bySerial[cable.cable.device.serial].push_back(cable.sysName);
    }
    for (const auto& [serial, names] : bySerial) {
        if (names.size() < 2)
            continue;
        std::string list;
        for (const std::string& name : names)
            list += (list.empty() ? "" : " and ") + name;
        pChecks->push_back(
            {"cable.serial",
             serial,
             EDoctorStatus::Warn,
             "The Tetherix cables at " + list + " both have the serial number " + serial +
                 ": their lasting names in /dev/serial/by-id collide, so a saved port "
                 "may open either of them.",
             {"Plug in one of them at a time."}});
    }
}

// True when the program will go through FTDI's library: the user chose USB, or a Tetherix
// has no kernel driver.
bool UsesD2xx(const DoctorMachine& machine, const DoctorCables& cables)
{
    if (SavedDoctorPort(machine.settingsPath) == "USB")
        return true;
    for (const DoctorCable& cable : cables) {
        if (cable.bTetherix && cable.cable.heldByDriver.empty())
            return true;
    }
    return false;
}

// A copy of FTDI's library under usr/local that the loader's cache does not know yet.
std::string UncachedD2xx(const DoctorMachine& machine)
{
    if (machine.d2xxLibrary.find('/') != std::string::npos)
        return {};
    namespace fs = std::filesystem;
    for (const char* folder : {"/local/lib", "/local/lib64", "/local/lib/x86_64-linux-gnu"}) {
        std::error_code error;
        for (fs::directory_iterator it(machine.roots.usr + folder, error), end; !error && it != end;
             it.increment(error)) {
            if (it->path().filename().string().rfind(machine.d2xxLibrary, 0) == 0)
                return machine.Shown(it->path().string());
        }
    }
    return {};
}

DoctorCheck LibraryCheck(const DoctorMachine& machine, const DoctorCables& cables, bool* pbLoaded)
{
    CD2xxLibrary library;
    const LinkError error = library.Load(machine.d2xxLibrary);
    *pbLoaded = !error.Failed();
    const bool bLatency = library.HasLatencyTimer();
    const std::string loadError = library.LoadError();
    library.Unload();
    const std::string name = "FTDI's D2XX library " + machine.d2xxLibrary;
    if (*pbLoaded)
        return {"d2xx.library",
                "",
                EDoctorStatus::Pass,
                name + " is loaded with every function it needs" +
                    (bLatency ? "." : ", but without FT_SetLatencyTimer."),
                {}};
    const EDoctorStatus status =
        UsesD2xx(machine, cables) ? EDoctorStatus::Warn : EDoctorStatus::Info;
    const std::string serialNote =
        status == EDoctorStatus::Info ? " The cable's serial port works without it." : "";
    if (error.Fault() == LinkFault::FunctionMissing)
        return {
            "d2xx.library",
            "",
            status,
            name +
                " is not FTDI's D2XX library or is too old: it lacks a function the cable needs." +
                serialNote,
            {"Install FTDI's D2XX library, or name its file in " +
             std::string(D2XX_LIBRARY_VARIABLE) + "."},
            "",
            loadError};
    const std::string uncached = UncachedD2xx(machine);
    if (!uncached.empty())
        return {"d2xx.library",
                "",
                status,
                name + " is at " + uncached + ", but the loader's cache does not know it yet." +
                    serialNote,
                {"sudo ldconfig"},
                "",
                loadError};
    const bool bAbsent = loadError.find("No such file") != std::string::npos;
    return {"d2xx.library",
            "",
            status,
            name + (bAbsent ? " is not installed." : " cannot be loaded.") + serialNote,
            {"Only for the cable's USB entry: install FTDI's D2XX library, or name its file in " +
             std::string(D2XX_LIBRARY_VARIABLE) + "."},
            "",
            loadError};
}

// The Tetherix held by a driver that neither way can use: usbfs (a program holds the USB
// device, brltty most often) or another.
DoctorCheck StrangeDriver(const DoctorMachine& machine, const DoctorCable& cable)
{
    const FtdiCable& found = cable.cable;
    DoctorCheck check{"way-in",
                      cable.sysName,
                      EDoctorStatus::Fail,
                      "The Tetherix is " + DriverText(found) +
                          ", which neither the serial port nor FTDI's library can use.",
                      {"Unplug the cable and plug it in again."}};
    if (found.heldByDriver != USBFS)
        return check;
    const std::string holder = TetherixHolder(machine, cable);
    if (holder == BRLTTY) {
        check.text = "brltty holds the Tetherix's USB device (usbfs), so the kernel made no serial "
                     "port of it and FTDI's library cannot open it.";
        check.fix.clear();
        check.followsFrom = "brltty";
    } else if (!holder.empty()) {
        check.text =
            holder +
            " holds the Tetherix's USB device (usbfs): no other program can use the cable.";
        check.fix = {"Close " + holder + ".", "Unplug the cable and plug it in again."};
    } else {
        check.text = "A program holds the Tetherix's USB device (usbfs): no other program can use "
                     "the cable. Root's programs are hidden from you; brltty is the usual one.";
        check.fix = {"sudo fuser -v " +
                         machine.Shown(UsbDeviceNodePath(found.device, machine.roots)),
                     "Close the program it names, then unplug the cable and plug it in again."};
    }
    return check;
}
} // namespace

std::vector<DoctorCheck> CheckCables(const DoctorMachine&, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    std::string otherPort;
    for (const DoctorCable& cable : cables) {
        const std::string name = DoctorCableName(cable.cable.device);
        checks.push_back({"cable.device",
                          cable.sysName,
                          EDoctorStatus::Pass,
                          name + ", " + DriverText(cable.cable) + ": " +
                              (cable.bTetherix ? "a Tetherix." : "not a Tetherix."),
                          {}});
        if (!cable.bTetherix && otherPort.empty())
            otherPort = cable.cable.ttyName;
    }
    int count = 0;
    for (const DoctorCable& cable : cables)
        count += cable.bTetherix ? 1 : 0;
    if (count > 0) {
        checks.push_back({"cable.tetherix",
                          "",
                          EDoctorStatus::Pass,
                          count == 1 ? std::string("A Tetherix is plugged in.")
                                     : std::to_string(count) + " Tetherix cables are plugged in.",
                          {}});
    } else if (cables.empty()) {
        checks.push_back({"cable.tetherix",
                          "",
                          EDoctorStatus::Warn,
                          "No FTDI USB device is plugged in.",
                          {"Plug the Tetherix in and run the check again."}});
    } else {
        checks.push_back(
            {"cable.tetherix",
             "",
             EDoctorStatus::Warn,
             "FTDI devices are plugged in, but none describes itself as a Tetherix." +
                 (otherPort.empty()
                      ? std::string()
                      : " If " + otherPort + " is the Tetherix, choose it by name (--port " +
                            otherPort + ")."),
             {"Plug the Tetherix in and run the check again."}});
    }
    CheckSerialNumbers(cables, &checks);
    return checks;
}

std::vector<DoctorCheck> CheckWaysIn(const DoctorMachine& machine, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    bool bLibrary = false;
    checks.push_back(LibraryCheck(machine, cables, &bLibrary));
    if (!AnyTetherix(cables))
        checks.push_back(NoTetherix("way-in"));
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix)
            continue;
        const FtdiCable& found = cable.cable;
        if (found.heldByDriver == SERIAL_DRIVER && !found.ttyName.empty()) {
            checks.push_back(
                {"way-in",
                 cable.sysName,
                 EDoctorStatus::Pass,
                 "ftdi_sio holds the Tetherix as " + found.ttyName +
                     ": the program uses that serial port (--port " + found.ttyName +
                     "). FTDI's library cannot open the cable while ftdi_sio holds it.",
                 {}});
        } else if (found.heldByDriver.empty() && bLibrary) {
            checks.push_back({"way-in",
                              cable.sysName,
                              EDoctorStatus::Pass,
                              "No kernel driver holds the Tetherix: the program uses FTDI's "
                              "library (--port USB).",
                              {}});
        } else if (found.heldByDriver.empty()) {
            checks.push_back(
                {"way-in",
                 cable.sysName,
                 EDoctorStatus::Fail,
                 "No kernel driver holds the Tetherix and FTDI's library is not "
                 "there: the program has no way to the cable.",
                 {"sudo modprobe ftdi_sio", "Unplug the cable and plug it in again."}});
        } else {
            checks.push_back(StrangeDriver(machine, cable));
        }
    }
    return checks;
}

std::vector<DoctorCheck> CheckLatency(const DoctorMachine& machine, const DoctorCables& cables)
{
    std::vector<DoctorCheck> checks;
    const bool bInstalled = !FindTetherixRule(machine).empty();
    for (const DoctorCable& cable : cables) {
        if (!cable.bTetherix)
            continue;
        const std::string tty = cable.cable.ttyName;
        if (tty.empty()) {
            checks.push_back({"latency",
                              cable.sysName,
                              EDoctorStatus::Skipped,
                              "The Tetherix has no serial port, so no latency timer to look at.",
                              {}});
            continue;
        }
        const std::string relative = "/bus/usb-serial/devices/" + tty + "/latency_timer";
        const std::string value = ReadFirstLine(machine.roots.sys + relative);
        if (value.empty()) {
            checks.push_back({"latency",
                              tty,
                              EDoctorStatus::Skipped,
                              "The port has no latency timer in sysfs.",
                              {}});
            continue;
        }
        const int ms = std::atoi(value.c_str());
        if (ms <= RULE_LATENCY_MS) {
            checks.push_back({"latency",
                              tty,
                              EDoctorStatus::Pass,
                              "The latency timer is " + value + " ms, as the udev rule sets it.",
                              {}});
            continue;
        }
        const int extraMs = ms - RULE_LATENCY_MS;
        DoctorCheck check{
            "latency",
            tty,
            EDoctorStatus::Warn,
            "The latency timer is " + value +
                " ms. The program asks ftdi_sio for low latency "
                "(1 ms) when it opens the port; where that is refused, ftdi_sio holds each short "
                "reply of the unit up to " +
                value + " ms, up to " + std::to_string(extraMs) +
                " ms more per line than with 1 ms (" +
                std::to_string(extraMs * LINES_PER_ESTIMATE / 1000) + " s per " +
                std::to_string(LINES_PER_ESTIMATE) + " lines).",
            {}};
        const bool bApplied = cable.ttyRecord.Property("ID_MM_DEVICE_IGNORE") == "1" ||
                              cable.usbRecord.Property("ID_MM_DEVICE_IGNORE") == "1";
        if (!bInstalled)
            check.followsFrom = "udev.rule";
        else if (!bApplied)
            check.followsFrom = "udev.applied";
        else
            check.fix = {"echo 1 | sudo tee /sys" + relative};
        checks.push_back(check);
    }
    if (checks.empty())
        checks.push_back(NoTetherix("latency"));
    return checks;
}
