// Binding the D2XX library: a missing library, a library lacking one function, and the
// wrappers while nothing is bound.
#include "SimCableClient.h"
#include "UsbTestOwner.h"
#include "link/UsbCable.h"
#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using Texts = std::vector<std::string>;

class UsbCableBinding : public ::testing::Test {
protected:
    void TearDown() override
    {
        unsetenv("KX_FTD2XX_LIBRARY");
        CUsbCable::SetDriverLibraryName("libftd2xx.so");
    }
    CTestUsbOwner m_owner;
};

TEST_F(UsbCableBinding, MissingLibraryFailsSilentlyWhenQuietAndWithItsNoticeOtherwise)
{
    CUsbCable::SetDriverLibraryName("/nonexistent/libftd2xx.so");
    CUsbCable cable(m_owner);

    EXPECT_EQ(1, cable.Open(true));
    EXPECT_TRUE(m_owner.m_notices.empty());
    EXPECT_EQ(1, cable.Open(false));
    // The notice names the library, the loader's reason and the ways to point at it.
    ASSERT_EQ(m_owner.m_notices.size(), 1u);
    EXPECT_EQ(m_owner.m_notices[0].rfind("Unable to load USB Tetherix driver\n\nFTDI's D2XX library "
                                         "/nonexistent/libftd2xx.so could not be loaded (", 0), 0u);
    EXPECT_NE(m_owner.m_notices[0].find("KX_FTD2XX_LIBRARY"), std::string::npos);
    EXPECT_TRUE(m_owner.m_messageBoxes.empty());
    EXPECT_FALSE(cable.IsDriverLoaded());
    EXPECT_NE(std::string::npos, cable.DriverLoadError().find("/nonexistent/libftd2xx.so"))
        << cable.DriverLoadError();
}

// A library installed outside the search path is named in the environment; a name set by
// the program comes first.
TEST_F(UsbCableBinding, EnvironmentNamesTheLibraryUnlessTheProgramDoes)
{
    setenv("KX_FTD2XX_LIBRARY", KX_SIM_FTD2XX, 1);
    CUsbCable::SetDriverLibraryName("");
    EXPECT_EQ(KX_SIM_FTD2XX, CUsbCable::DriverLibraryName());
    {
        CUsbCable cable(m_owner);
        EXPECT_TRUE(cable.LoadDriver());
        EXPECT_EQ("", cable.DriverLoadError());
    }
    CUsbCable::SetDriverLibraryName("/nonexistent/libftd2xx.so");
    CUsbCable cable(m_owner);
    EXPECT_FALSE(cable.LoadDriver());
}

TEST_F(UsbCableBinding, WrappersReturnInvalidHandleWhileNothingIsBound)
{
    CUsbCable cable(m_owner);
    m_owner.Attach(&cable);
    char buffer[8] = {};
    DWORD count = 0;
    DWORD rx = 0;
    DWORD tx = 0;
    DWORD events = 0;
    EXPECT_EQ(FT_INVALID_HANDLE, cable.OpenByDescription());
    EXPECT_EQ(FT_INVALID_HANDLE, cable.SetBaudRate(9600));
    EXPECT_EQ(FT_INVALID_HANDLE, cable.ReadBytes(buffer, sizeof buffer, &count));
    EXPECT_EQ(FT_INVALID_HANDLE, cable.WriteBytes("A", 1, &count));
    EXPECT_EQ(FT_INVALID_HANDLE, cable.QueryStatus(&rx, &tx, &events));
    EXPECT_EQ(FT_INVALID_HANDLE, cable.CloseDevice());
    EXPECT_TRUE(m_owner.m_messageBoxes.empty());
    EXPECT_EQ(FT_INVALID_HANDLE, cable.ArmRxEvent(FT_EVENT_RXCHAR, nullptr));
    EXPECT_EQ(Texts{"FT_SetEventNotification is not valid!"}, m_owner.m_messageBoxes);
    cable.OnCableData();
    EXPECT_TRUE(m_owner.m_chunks.empty());
}

struct MissingFunction {
    const char* name;
    const char* libraryPath;
    const char* messageBox;  // null: the binding fails silently
};

class UsbCableMissingFunction : public ::testing::TestWithParam<MissingFunction> {
protected:
    void TearDown() override { CUsbCable::SetDriverLibraryName("libftd2xx.so"); }
    CTestUsbOwner m_owner;
};

// The message box shows even when quiet; the library is released after the failed binding.
// (The library's path is what KX_FTD2XX_LIBRARY would name: a file that is not the D2XX one.)
TEST_P(UsbCableMissingFunction, OpenFailsWithTheFunctionsMessageAndReleasesTheLibrary)
{
    const MissingFunction missing = GetParam();
    const Texts boxes = missing.messageBox ? Texts{missing.messageBox} : Texts{};
    CUsbCable::SetDriverLibraryName(missing.libraryPath);
    CUsbCable cable(m_owner);

    EXPECT_EQ(1, cable.Open(true));
    EXPECT_EQ(boxes, m_owner.m_messageBoxes);
    EXPECT_TRUE(m_owner.m_notices.empty());
    EXPECT_FALSE(cable.IsDriverLoaded());
    EXPECT_FALSE(CDynamicLibrary::IsResident(missing.libraryPath));

    m_owner.m_messageBoxes.clear();
    EXPECT_EQ(1, cable.Open(false));
    EXPECT_EQ(boxes, m_owner.m_messageBoxes);
    // The notice gives the loader's reason: the library is not the one it was taken for.
    ASSERT_EQ(m_owner.m_notices.size(), 1u);
    EXPECT_EQ(m_owner.m_notices[0].rfind("Unable to load USB Tetherix driver\n\nFTDI's D2XX "
                                         "library " + std::string(missing.libraryPath) +
                                         " could not be loaded (", 0), 0u)
        << m_owner.m_notices[0];
    EXPECT_NE(m_owner.m_notices[0].find(std::string("undefined symbol: FT_") + missing.name),
              std::string::npos)
        << m_owner.m_notices[0];
    EXPECT_EQ(FT_INVALID_HANDLE, cable.SetBaudRate(9600));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, UsbCableMissingFunction,
    ::testing::Values(
        MissingFunction{"SetEventNotification", KX_SIM_FTD2XX_NO_SETEVENTNOTIFICATION,
                        "Error: Can't Find FT_SetEventNotification"},
        MissingFunction{"GetStatus", KX_SIM_FTD2XX_NO_GETSTATUS,
                        "Error: Can't Find FT_GetStatus"},
        MissingFunction{"ClrRts", KX_SIM_FTD2XX_NO_CLRRTS, "Error: Can't Find FT_ClrRts"},
        MissingFunction{"Write", KX_SIM_FTD2XX_NO_WRITE, nullptr}),
    [](const ::testing::TestParamInfo<MissingFunction>& info) { return info.param.name; });

struct LatencyCase {
    const char* name;
    const char* libraryPath;
    bool bPinned;       // the simulated chip ignores what it is asked
    unsigned timerMs;   // the chip's timer after the open
    const char* note;   // what the support log is told
};

class UsbCableLatency : public ::testing::TestWithParam<LatencyCase> {
protected:
    void TearDown() override { CUsbCable::SetDriverLibraryName("libftd2xx.so"); }
    CTestUsbOwner m_owner;
};

// The timer is an optional function: without it the cable opens, works and says so.
TEST_P(UsbCableLatency, OpenSetsTheChipsLatencyTimerOrCarriesOnWithout)
{
    const LatencyCase latency = GetParam();
    CSimCableClient sim(latency.libraryPath);
    ASSERT_TRUE(sim.IsLoaded());
    sim.Reset();
    sim.SetMode("loop");
    sim.PinLatencyTimer(latency.bPinned);
    CUsbCable::SetDriverLibraryName(latency.libraryPath);
    CUsbCable cable(m_owner);
    m_owner.Attach(&cable);

    ASSERT_EQ(0, cable.Open(false));
    EXPECT_EQ(sim.Counter("latencyMs"), latency.timerMs);
    EXPECT_EQ(m_owner.m_linkNotes, Texts{latency.note});
    EXPECT_TRUE(m_owner.m_messageBoxes.empty());
    EXPECT_TRUE(m_owner.m_notices.empty());

    m_owner.m_bUsbActive = true;
    cable.StartReader();
    DWORD written = 0;
    ASSERT_EQ(FT_OK, cable.WriteBytes("A.", 2, &written));
    EXPECT_TRUE(WaitUntil([&] { return m_owner.Received() == "A."; }, 5000)) << m_owner.Received();
    cable.Close();
    m_owner.Attach(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, UsbCableLatency,
    ::testing::Values(
        LatencyCase{"Set", KX_SIM_FTD2XX, false, 2, "latency timer set to 2 ms"},
        LatencyCase{"PinnedChip", KX_SIM_FTD2XX, true, 16, "latency timer set to 2 ms"},
        LatencyCase{"Missing", KX_SIM_FTD2XX_NO_SETLATENCYTIMER, false, 16,
                    "latency timer left at the chip's default: the library has no "
                    "FT_SetLatencyTimer"}),
    [](const ::testing::TestParamInfo<LatencyCase>& info) { return info.param.name; });

// Opening again while the library is loaded must not take a second reference that one Close
// would leave behind.
TEST_F(UsbCableBinding, CloseReleasesALibraryLoadedTwice)
{
    CUsbCable::SetDriverLibraryName(KX_SIM_FTD2XX);
    CUsbCable cable(m_owner);
    ASSERT_TRUE(cable.LoadDriver());
    ASSERT_EQ(0, cable.Open(true));
    m_owner.m_bUsbActive = true;
    cable.Close();
    EXPECT_FALSE(CDynamicLibrary::IsResident(KX_SIM_FTD2XX));
}

// The downloader asks for the library by its plain name; run with the simulated library's
// directory on LD_LIBRARY_PATH (a separate test registration does so).
TEST_F(UsbCableBinding, DefaultNameIsFoundOnTheLibraryPath)
{
    if (!std::getenv("KX_TEST_SIM_ON_LIBRARY_PATH"))
        GTEST_SKIP() << "needs the simulated library's directory on LD_LIBRARY_PATH";
    EXPECT_EQ("libftd2xx.so", CUsbCable::DriverLibraryName());
    CUsbCable cable(m_owner);
    EXPECT_EQ(0, cable.Open(false));
    EXPECT_TRUE(m_owner.m_notices.empty());
}

} // namespace
