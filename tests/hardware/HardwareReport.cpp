#include "HardwareReport.h"

#include "KxVersion.h"
#include "doctor/DoctorReport.h"
#include "link/UsbSysfs.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

namespace {
const char* const VERDICT_PREFIX = "== ";

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string OneDecimal(double value, const char* unit)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.1f %s", value, unit);
    return text;
}

std::string Now()
{
    char text[64];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local);
    return text;
}

// The cable behind the port, and how its latency timer is set up, as far as sysfs says.
std::string CableLines(const std::string& port)
{
    if (port == "USB" || port.empty())
        return "Cable:    USB through FTDI's library " +
               (Env("KX_FTD2XX_LIBRARY").empty() ? std::string("libftd2xx.so")
                                                 : Env("KX_FTD2XX_LIBRARY")) +
               "\nLatency:  set to 2 ms by the link (FT_SetLatencyTimer)" +
               (Env("KX_SIM_LATENCY_PINNED") == "1" ? ", pinned at 16 ms by the simulated chip"
                                                    : "") +
               "\n";
    const std::string tty = port.substr(port.rfind('/') + 1);
    const std::string sys = "/sys/class/tty/" + tty + "/device/../";
    const std::string product = ReadFirstLine(sys + "../product");
    const std::string serial = ReadFirstLine(sys + "../serial");
    const std::string timer =
        ReadFirstLine("/sys/bus/usb-serial/devices/" + tty + "/latency_timer");
    return "Cable:    " +
           (product.empty()
                ? std::string("not a USB serial cable (a pseudo-terminal or a built-in port)")
                : product + (serial.empty() ? "" : " serial " + serial)) +
           "\nLatency:  " +
           (timer.empty() ? std::string("no latency timer in sysfs")
                          : "latency_timer " + timer +
                                " ms before the run; the link asks ftdi_sio for low latency") +
           "\n";
}

void Append(const std::string& text)
{
    std::ofstream(CHardwareReport::Path(), std::ios::app) << text;
}
} // namespace

std::string Seconds(double value) { return OneDecimal(value, "s"); }
std::string Milliseconds(double value) { return OneDecimal(value, "ms"); }

std::string CHardwareReport::Path()
{
    return Env("KX_HARDWARE_REPORT").empty() ? "kx-hardware-report.txt" : Env("KX_HARDWARE_REPORT");
}

std::string& CHardwareReport::Section()
{
    static std::string text;
    return text;
}

void CHardwareReport::Begin(const std::string& port)
{
    DoctorMachine machine = DoctorMachine::Current();
    const DoctorHeader header = DoctorHeader::Of(machine, std::string("kestova ") + KX_VERSION);
    std::ofstream(Path(), std::ios::trunc)
        << "Kestova real-cable suite\nDate:     " << Now() << "\nVersion:  " << header.program
        << "\nSystem:   " << header.system
        << "\nPort:     " << (port.empty() ? "(none: every test skips)" : port) << "\n"
        << CableLines(port);
}

void CHardwareReport::End()
{
    std::ifstream in(Path());
    int passed = 0, failed = 0, skipped = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(VERDICT_PREFIX, 0) != 0)
            continue;
        passed += line.find(": passed") != std::string::npos ? 1 : 0;
        failed += line.find(": FAILED") != std::string::npos ? 1 : 0;
        skipped += line.find(": skipped") != std::string::npos ? 1 : 0;
    }
    Append("\n" + std::to_string(passed) + " passed, " + std::to_string(failed) + " failed, " +
           std::to_string(skipped) + " skipped.\n");
    std::printf("Report written to %s\n", Path().c_str());
}

void CHardwareReport::Note(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    Section() += line + "\n";
}

void CHardwareReport::OnTestStart(const ::testing::TestInfo&) { Section().clear(); }

void CHardwareReport::OnTestEnd(const ::testing::TestInfo& test)
{
    const ::testing::TestResult& result = *test.result();
    const char* verdict = result.Skipped() ? "skipped" : result.Failed() ? "FAILED" : "passed";
    std::string text = std::string("\n") + VERDICT_PREFIX + test.name() + ": " + verdict + " (" +
                       Seconds(static_cast<double>(result.elapsed_time()) / 1000.0) + ")\n" +
                       Section();
    for (int i = 0; i < result.total_part_count(); ++i) {
        const ::testing::TestPartResult& part = result.GetTestPartResult(i);
        if (part.failed() || part.skipped())
            text += std::string(part.failed() ? "  failure: " : "  ") + part.message() + "\n";
    }
    Append(text);
}
