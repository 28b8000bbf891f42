// kestova-flash --doctor --json as a user runs it, on an emulated machine: a Tetherix and
// another FTDI adapter plugged in, brltty's rule installed, the trees under KX_DOCTOR_ROOT, and a
// firmware service of the test's own (a build may name a built-in one, which is not asked here).
#include "FakeSystemTree.h"
#include "FirmwareWebService.h"
#include "FlashProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {
constexpr int RUN_TIMEOUT_MS = 60000;
constexpr int EXIT_DOCTOR_FAILED = 6;

// The JSON line of the check with this name and subject; empty when there is none.
std::string Line(const std::string& out, const std::string& name, const std::string& subject)
{
    std::istringstream lines(out);
    const std::string key = "{\"check\":\"" + name + "\",\"subject\":" +
                            (subject.empty() ? std::string("null") : "\"" + subject + "\"") + ",";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key, 0) == 0)
            return line;
    }
    return {};
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
} // namespace

TEST(DoctorEndToEnd, JsonReportOfAnEmulatedMachine)
{
    FakeSystemTree tree;
    FakeUsbSerial tetherix{"1-1", "ttyUSB0", "0403", "6001", "FTDI", "Tetherix", "TX000001"};
    tetherix.latencyMs = "16";
    tree.AddUsbSerial(tetherix);
    tree.AddUsbSerial({"1-2", "ttyUSB1", "0403", "6015", "FTDI", "FT230X Basic UART", "D30A1B2C"});
    tree.AddNode("ttyUSB0", 0660, getgid());
    tree.AddNode("bus/usb/001/004", 0664, getgid());
    tree.AddUdevRecord("ttyUSB0", "E:ID_MM_DEVICE_IGNORE=1\nG:uaccess\n");
    tree.AddFile("usr/lib/udev/rules.d/70-kestova-tetherix.rules", "# the rule\n");
    tree.AddFile("usr/lib/udev/rules.d/90-brltty-usb-generic.rules",
                 "ENV{PRODUCT}==\"403/6001/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"at,ce,hm\", GOTO=\"brltty_usb_run\"\n");
    const std::string home = (tree.Root() / "home").string();
    setenv("KX_DOCTOR_ROOT", tree.Root().c_str(), 1);
    setenv("KX_FTD2XX_LIBRARY", "/nonexistent/libftd2xx.so", 1);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_STATE_HOME", (home + "/.local/state").c_str(), 1);
    setenv("no_proxy", "127.0.0.1", 1);
    CFirmwareWebService service(WebServiceOptions{});
    ASSERT_TRUE(service.Start());
    const std::string serviceUrl = "http://127.0.0.1:" + std::to_string(service.Port());

    {
        CFlashProcess run({"--doctor", "--json", "--service", serviceUrl});
        EXPECT_EQ(run.Wait(RUN_TIMEOUT_MS), 0) << run.Out() << run.Err();
        const std::string& out = run.Out();
        EXPECT_TRUE(Has(Line(out, "cable.device", "1-1"), "\"status\":\"pass\",\"text\":\"FTDI Tetherix (serial TX000001), held by ftdi_sio as ttyUSB0: a Tetherix."));
        EXPECT_TRUE(Has(Line(out, "cable.device", "1-2"), "not a Tetherix"));
        EXPECT_TRUE(Has(Line(out, "cable.tetherix", ""), "\"pass\""));
        EXPECT_TRUE(Has(Line(out, "access.port", "ttyUSB0"), "\"pass\""));
        EXPECT_TRUE(Has(Line(out, "udev.applied", "1-1"), "\"pass\""));
        EXPECT_TRUE(Has(Line(out, "brltty", ""), "\"status\":\"warn\""));
        EXPECT_TRUE(Has(Line(out, "brltty", ""), "/usr/lib/udev/rules.d/90-brltty-usb-generic.rules"));
        EXPECT_TRUE(Has(Line(out, "latency", "ttyUSB0"), "\"status\":\"warn\""));
        EXPECT_TRUE(Line(out, "latency", "ttyUSB1").empty()) << "only the Tetherix's timer matters";
        EXPECT_TRUE(Has(Line(out, "way-in", "1-1"), "--port ttyUSB0"));
        EXPECT_TRUE(Has(Line(out, "d2xx.library", ""), "\"status\":\"info\""));
        EXPECT_TRUE(Has(Line(out, "service", ""), "\"status\":\"pass\""))
            << Line(out, "service", "");
        EXPECT_TRUE(Has(Line(out, "service.https", ""), "\"status\":\"warn\""));
        EXPECT_TRUE(Has(Line(out, "support.log", ""), home));
        EXPECT_TRUE(Has(out.substr(out.rfind("{\"summary\":{")), "\"verdict\":\"warnings\"")) << out;
    }
    // A program that holds the Tetherix's port is a failure, and the exit status says so.
    tree.AddProcess(4242, "picocom", {"/dev/ttyUSB0"});
    {
        CFlashProcess run({"--doctor", "--json", "--service", serviceUrl});
        EXPECT_EQ(run.Wait(RUN_TIMEOUT_MS), EXIT_DOCTOR_FAILED);
        EXPECT_TRUE(Has(Line(run.Out(), "port.users", "ttyUSB0"), "\"status\":\"fail\""));
    }
    for (const char* name : {"KX_DOCTOR_ROOT", "KX_FTD2XX_LIBRARY"})
        unsetenv(name);
}
