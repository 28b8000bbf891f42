// The USB cable link over the simulated D2XX library: binding and open failures with what the
// user is told, a conversation through the event loop, the chunks read, the latency timer, the
// bridge thread's end, the reopen deadline, and a cable pulled out.
#include "RecordedLinkEvents.h"
#include "SimCableClient.h"
#include "link/UsbCableLink.h"
#include "platform/DynamicLibrary.h"
#include "unit/UnitSimulator.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include <unistd.h>

namespace {

using Texts = std::vector<std::string>;
constexpr int PROMPT_MS = 3000;



int ThreadCount()
{
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

// A joined thread can still be listed for a moment: pthread_join returns once the kernel has
// cleared the thread's id, before it takes the thread out of the process's list. A count that
// should come down to `expected` is read again until it does, for up to a second.
int ThreadCountComingTo(int expected)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    int count = ThreadCount();
    while (count > expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        count = ThreadCount();
    }
    return count;
}

class UsbCableLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        CUsbCableLink::SetDriverLibraryName(KX_SIM_FTD2XX);
        ASSERT_TRUE(m_sim.IsLoaded());
        m_sim.Reset();
        m_sim.SetMode("loop");
        // A first thread makes the runtime start its own helpers (a sanitizer's, for one)
        // before the count is taken, once that thread has left the list.
        pid_t firstThread = 0;
        std::thread([&firstThread] { firstThread = gettid(); }).join();
        const std::string listed = "/proc/self/task/" + std::to_string(firstThread);
        for (int i = 0; i < 200 && std::filesystem::exists(listed); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_nBaselineThreads = ThreadCount();
    }
    void TearDown() override { CUsbCableLink::SetDriverLibraryName(""); }

    CSimCableClient m_sim{KX_SIM_FTD2XX};
    CRecordedLinkEvents m_events;
    CUsbCableLink m_link{m_events};
    int m_nBaselineThreads = 0;
};

struct OpenFailure {
    const char* name;
    const char* libraryPath;
    const char* mode;        // the simulated cable's far end
    LinkFault fault;
    const char* messageBox; // null: none
    const char* notice;     // what the notice says
};

void PrintTo(const OpenFailure& failure, std::ostream* pOut) { *pOut << failure.name; }

class UsbCableLinkOpenFailure : public UsbCableLink,
                                public ::testing::WithParamInterface<OpenFailure> {};

// The link says why in the user's words (the notice, the sentence, a missing function's
// message box) and shows none of them; the library is released.
TEST_P(UsbCableLinkOpenFailure, SaysWhyAndReleasesTheLibrary)
{
    const OpenFailure failure = GetParam();
    CUsbCableLink::SetDriverLibraryName(failure.libraryPath);
    m_sim.SetMode(failure.mode);

    const LinkError error = m_link.Open("");
    EXPECT_EQ(error.Fault(), failure.fault) << error.Text();
    const LinkOpenFailure why = m_link.OpenFailure();
    EXPECT_EQ(why.strNotice, failure.notice);
    EXPECT_EQ(why.strMessageBox, failure.messageBox ? failure.messageBox : "");
    EXPECT_FALSE(why.strSentence.empty());
    EXPECT_FALSE(m_link.IsOpen());
    EXPECT_FALSE(m_link.IsLibraryLoaded());
    if (std::string(failure.libraryPath) != KX_SIM_FTD2XX) { // the test holds that one itself
        EXPECT_FALSE(CDynamicLibrary::IsResident(failure.libraryPath));
    }
    EXPECT_EQ(ThreadCountComingTo(m_nBaselineThreads), m_nBaselineThreads);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbCableLinkOpenFailure,
    ::testing::Values(
        OpenFailure{"NoLibrary", "/nonexistent/libftd2xx.so", "loop", LinkFault::LibraryMissing,
                    nullptr, "Unable to load USB Tetherix driver"},
        OpenFailure{"NoSetEventNotification", KX_SIM_FTD2XX_NO_SETEVENTNOTIFICATION, "loop",
                    LinkFault::FunctionMissing, "Error: Can't Find FT_SetEventNotification",
                    "Unable to load USB Tetherix driver"},
        OpenFailure{"NoGetStatus", KX_SIM_FTD2XX_NO_GETSTATUS, "loop", LinkFault::FunctionMissing,
                    "Error: Can't Find FT_GetStatus", "Unable to load USB Tetherix driver"},
        OpenFailure{"NoClrRts", KX_SIM_FTD2XX_NO_CLRRTS, "loop", LinkFault::FunctionMissing,
                    "Error: Can't Find FT_ClrRts", "Unable to load USB Tetherix driver"},
        OpenFailure{"NoWrite", KX_SIM_FTD2XX_NO_WRITE, "loop", LinkFault::FunctionMissing,
                    nullptr, "Unable to load USB Tetherix driver"},
        OpenFailure{"NoCable", KX_SIM_FTD2XX, "absent", LinkFault::NotFound, nullptr,
                    "Unable to find USB Tetherix"}),
    [](const ::testing::TestParamInfo<OpenFailure>& info) { return info.param.name; });

TEST_F(UsbCableLink, ConversesWithTheUnitThroughTheEventLoop)
{
    m_sim.SetMode("unit");
    m_sim.SetSerialNumber(777);
    ASSERT_FALSE(m_link.Open("")) << m_link.OpenFailure().strSentence;
    EXPECT_EQ(m_sim.Counter("lastBaud"), 9600u);
    ASSERT_FALSE(m_link.Write(UnitSimulator::WAKE_FIRST_TEXT));
    ASSERT_FALSE(m_link.Write(UnitSimulator::WAKE_SECOND_TEXT));

    UnitIdentity identity;
    identity.serialNumber = 777;
    const std::string expected = UnitSimulator::IdentificationText(identity);
    EXPECT_TRUE(PumpUntil(
        [&] { return m_events.Received().find(expected) != std::string::npos; }, PROMPT_MS))
        << m_events.Received();
    EXPECT_EQ(m_sim.UnitReceived(), "15EBaa16EAaa");
    EXPECT_EQ(m_sim.Counter("readWaits"), 0u);
}

// Never more than 200 bytes a read, never a read for bytes that have not arrived, and every
// byte arrives as it came (the engine makes the text printable).
TEST_F(UsbCableLink, ReadsInChunksOfAtMost200Bytes)
{
    ASSERT_FALSE(m_link.Open(""));
    const std::string bytes = std::string(440, 'c') + std::string("\x00\x07\x7F\xE9\t\n", 6);
    m_sim.InjectRx(bytes);
    ASSERT_TRUE(PumpUntil([&] { return m_events.Received().size() == bytes.size(); }, PROMPT_MS));
    for (const std::string& chunk : m_events.m_chunks)
        EXPECT_LE(chunk.size(), CUsbCableLink::RX_CHUNK_BYTES);
    EXPECT_EQ(m_events.Received(), bytes);
    EXPECT_EQ(m_sim.Counter("readWaits"), 0u);
}

struct LatencyCase {
    const char* name;
    const char* libraryPath;
    unsigned timerMs;   // the chip's timer after the open
    const char* note;   // what the support log is told
};

void PrintTo(const LatencyCase& latency, std::ostream* pOut) { *pOut << latency.name; }

class UsbCableLinkLatency : public UsbCableLink,
                            public ::testing::WithParamInterface<LatencyCase> {};

// The timer is an optional function: without it the cable opens, works and says so.
TEST_P(UsbCableLinkLatency, OpenSetsTheChipsTimerOrCarriesOnWithout)
{
    const LatencyCase latency = GetParam();
    // Each variant of the library is a cable of its own.
    CSimCableClient sim(latency.libraryPath);
    sim.Reset();
    sim.SetMode("loop");
    CUsbCableLink::SetDriverLibraryName(latency.libraryPath);
    ASSERT_FALSE(m_link.Open(""));
    EXPECT_EQ(sim.Counter("latencyMs"), latency.timerMs);
    EXPECT_EQ(m_events.m_notes, Texts{latency.note});
    ASSERT_FALSE(m_link.Write("A."));
    EXPECT_TRUE(PumpUntil([&] { return m_events.Received() == "A."; }, PROMPT_MS));
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, UsbCableLinkLatency,
    ::testing::Values(
        LatencyCase{"Set", KX_SIM_FTD2XX, 2, "latency timer set to 2 ms"},
        LatencyCase{"Missing", KX_SIM_FTD2XX_NO_SETLATENCYTIMER, 16,
                    "latency timer left at the chip's default: the library has no "
                    "FT_SetLatencyTimer"}),
    [](const ::testing::TestParamInfo<LatencyCase>& info) { return info.param.name; });

// Close ends the bridge thread at once and keeps the library for a reopen without delay;
// Release lets the library go and sets a deadline rather than sleeping.
TEST_F(UsbCableLink, CloseJoinsTheBridgeAndReleaseSetsTheReopenDeadline)
{
    ASSERT_FALSE(m_link.Open(""));
    EXPECT_GT(ThreadCount(), m_nBaselineThreads);
    m_link.Close();
    EXPECT_EQ(ThreadCountComingTo(m_nBaselineThreads), m_nBaselineThreads);
    EXPECT_TRUE(m_link.IsLibraryLoaded());
    EXPECT_EQ(m_link.ReopenDelayMs(), 0);
    EXPECT_EQ(m_link.Write("x").Fault(), LinkFault::NotOpen);

    ASSERT_FALSE(m_link.Open(""));
    m_link.Release();
    EXPECT_EQ(ThreadCountComingTo(m_nBaselineThreads), m_nBaselineThreads);
    EXPECT_FALSE(m_link.IsLibraryLoaded());
    const int delayMs = m_link.ReopenDelayMs();
    EXPECT_GT(delayMs, 0);
    EXPECT_LE(delayMs, CUsbCableLink::REOPEN_DELAY_MS);
    std::this_thread::sleep_for(std::chrono::milliseconds(CUsbCableLink::REOPEN_DELAY_MS + 200));
    EXPECT_EQ(m_link.ReopenDelayMs(), 0);
}

// A handler that closes the link ends the read it was called from, and nothing arrives after
// the close; opened again, the link reads as before.
TEST_F(UsbCableLink, NothingArrivesAfterACloseFromTheHandler)
{
    ASSERT_FALSE(m_link.Open(""));
    m_events.m_onBytes = [this] { m_link.Close(); };
    m_sim.InjectRx(std::string(450, 'z'));
    ASSERT_TRUE(PumpUntil([&] { return !m_link.IsOpen(); }, PROMPT_MS));
    PumpFor(3 * CD2xxBridge::WAIT_BOUND_MS);
    EXPECT_EQ(m_events.m_chunks, Texts{std::string(200, 'z')});
    EXPECT_EQ(m_sim.Counter("reads"), 1u);

    m_events.m_onBytes = nullptr;
    m_events.m_chunks.clear();
    ASSERT_FALSE(m_link.Open(""));
    ASSERT_FALSE(m_link.Write("again"));
    EXPECT_TRUE(PumpUntil([&] { return m_events.Received() == "again"; }, PROMPT_MS));
    EXPECT_EQ(m_sim.Counter("readWaits"), 0u);
}

TEST_F(UsbCableLink, APulledCableEndsTheLinkAsGone)
{
    ASSERT_FALSE(m_link.Open(""));
    m_sim.Unplug();
    ASSERT_TRUE(PumpUntil([&] { return !m_events.m_failures.empty(); }, PROMPT_MS));
    EXPECT_EQ(m_events.m_failures[0].Fault(), LinkFault::Gone);
    EXPECT_FALSE(m_link.IsOpen());
    EXPECT_EQ(ThreadCountComingTo(m_nBaselineThreads), m_nBaselineThreads);
    PumpFor(3 * CD2xxBridge::WAIT_BOUND_MS);
    EXPECT_EQ(m_events.m_failures.size(), 1u);
}

// The simulated cable as the link sees it: the unit behind it answers the wake-up, the paced
// line runs at the real line's speed, the chip passes bytes on in packets, and the test's hold
// keeps the cable's state while the link unloads the library.
using SimCableBehindTheLink = UsbCableLink;

TEST_F(SimCableBehindTheLink, UnitAnswersTheWakeUpWithItsIdentification)
{
    m_sim.SetMode("unit");
    m_sim.SetSerialNumber(777);
    ASSERT_FALSE(m_link.Open("USB").Failed());
    ASSERT_FALSE(m_link.Write("15EBaa").Failed());
    ASSERT_FALSE(m_link.Write("16EAaa").Failed());
    UnitIdentity identity;
    identity.serialNumber = 777;
    const std::string expected = UnitSimulator::IdentificationText(identity);
    EXPECT_TRUE(PumpUntil([&] { return m_events.Received().find(expected) != std::string::npos; },
                          PROMPT_MS));
    EXPECT_EQ("15EBaa16EAaa", m_sim.UnitReceived());
}

TEST_F(SimCableBehindTheLink, PacedLineDeliversNoFasterThanTheRealLine)
{
    m_sim.SetPaced(true);
    ASSERT_FALSE(m_link.Open("USB").Failed());
    const std::string text(96, 'p');
    const auto start = std::chrono::steady_clock::now();
    ASSERT_FALSE(m_link.Write(text).Failed());
    ASSERT_TRUE(PumpUntil([&] { return m_events.Received() == text; }, PROMPT_MS));
    // 96 bytes at 960 bytes/s: the last chunk leaves the line after at least 90 ms.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
}

// A full packet goes at once, the rest when the chip's timer runs out: one transfer each.
TEST_F(SimCableBehindTheLink, ChipPassesBytesOnInFullPacketsAndTheRestAtItsTimer)
{
    const struct {
        std::size_t bytes;
        unsigned transfers;
    } cases[] = {{1, 1}, {62, 1}, {124, 2}, {130, 3}};
    m_sim.PinLatencyTimer(true);
    ASSERT_FALSE(m_link.Open("USB").Failed());
    std::string sent;
    unsigned transfers = 0;
    for (const auto& c : cases) {
        const std::string text(c.bytes, static_cast<char>('a' + sent.size() % 26));
        ASSERT_FALSE(m_link.Write(text).Failed());
        sent += text;
        ASSERT_TRUE(PumpUntil([&] { return m_events.Received() == sent; }, PROMPT_MS)) << c.bytes;
        transfers += c.transfers;
        EXPECT_EQ(m_sim.Counter("transfers"), transfers) << c.bytes;
    }
    m_sim.PinLatencyTimer(false);
}

TEST_F(SimCableBehindTheLink, StateOutlivesTheLibrarysUnload)
{
    ASSERT_FALSE(m_link.Open("USB").Failed());
    ASSERT_FALSE(m_link.Write("kept").Failed());
    m_link.Release();
    ASSERT_FALSE(m_link.IsLibraryLoaded());
    EXPECT_EQ("kept", m_sim.Written());
    EXPECT_EQ(1u, m_sim.Counter("closes"));
}

// FTDI's library lets the cable go a moment after it was unloaded: the simulated one refuses an
// open until then, and the delay every link of the process reports covers that moment.
TEST(UsbCableLinkLetGo, AnOpenBeforeTheCableWasLetGoFailsAndTheReopenDelayCoversIt)
{
    CUsbCableLink::SetDriverLibraryName(KX_SIM_FTD2XX);
    CRecordedLinkEvents events;
    CUsbCableLink first(events);
    CUsbCableLink second(events);
    // Run with the other tests in one process, the cable may have been let go just now.
    std::this_thread::sleep_for(std::chrono::milliseconds(first.ReopenDelayMs()));
    ASSERT_FALSE(first.Open("USB").Failed());
    first.Release();
    if (CDynamicLibrary::IsResident(KX_SIM_FTD2XX))
        GTEST_SKIP() << "another test of this process holds the simulated library";

    ASSERT_GT(second.ReopenDelayMs(), 0);
    EXPECT_EQ(second.Open("USB").Fault(), LinkFault::NotOpen);
    std::this_thread::sleep_for(std::chrono::milliseconds(second.ReopenDelayMs()));
    EXPECT_FALSE(second.Open("USB").Failed()) << second.OpenFailure().strSentence;
    second.Release();
    CUsbCableLink::SetDriverLibraryName("");
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
