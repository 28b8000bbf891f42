// The reader thread against the simulated cable: notifications reach the window, no reception
// is lost to a signal nobody waited for, Close never deadlocks with a notification in flight,
// and a connection reset retires the earlier reader without leaving a thread behind.
#include "UsbCableFixture.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

// The wall clock as this program's own code reads it, moved by this many seconds, as a user or
// a time service may move it; every other clock reads true.
static std::atomic<long> g_wallClockShiftS{0};

extern "C" int clock_gettime(clockid_t clock, timespec* pTime) noexcept
{
    const int result = static_cast<int>(syscall(SYS_clock_gettime, clock, pTime));
    if (result == 0 && clock == CLOCK_REALTIME)
        pTime->tv_sec += g_wallClockShiftS.load();
    return result;
}

namespace {

using Clock = std::chrono::steady_clock;
// Far longer than a notification takes, far shorter than the 5 s that fail an update.
constexpr int PROMPT_MS = 2000;

using UsbReader = UsbCableFixture;

TEST_F(UsbReader, ReceivedBytesReachTheOwnerThroughTheNotification)
{
    Connect();
    EXPECT_EQ(1, m_pCable->ReaderState());
    DWORD written = 0;
    ASSERT_EQ(FT_OK, m_pCable->WriteBytes("hello", 5, &written));
    EXPECT_TRUE(WaitUntil([this] { return m_owner.Received() == "hello"; }, PROMPT_MS));
}

// The reader is inside its synchronous notification when the acknowledgement arrives, so the
// driver's signal finds nobody waiting; the bytes must still be read at once.
TEST_F(UsbReader, ReceptionSignalledWhileTheWindowIsBusyIsStillReadPromptly)
{
    Connect();
    m_owner.m_onReceived = [this](const std::string& text) {
        if (text == "line")
            m_sim.InjectRx(".");
    };
    m_sim.InjectRx("line");
    ASSERT_TRUE(WaitUntil([this] { return !m_owner.m_chunks.empty(); }, PROMPT_MS));
    const unsigned nSignals = m_sim.Counter("signals");
    EXPECT_GE(nSignals, 2u);
    EXPECT_TRUE(WaitUntil([this] { return m_owner.Received() == "line."; }, PROMPT_MS));
}

// Also when the date and time are changed meanwhile: each wait still ends after its own
// bounded time, whatever the wall clock says.
TEST_F(UsbReader, ReceptionWithoutAnySignalIsStillRead)
{
    Connect();
    PumpEvents(150);
    std::string expected;
    for (const long shiftS : {0L, 3600L}) {
        SCOPED_TRACE(shiftS);
        g_wallClockShiftS.store(shiftS);
        PumpEvents(150);
        m_sim.InjectRx("quiet", false);
        expected += "quiet";
        EXPECT_TRUE(WaitUntil([&] { return m_owner.Received() == expected; }, PROMPT_MS));
    }
    g_wallClockShiftS.store(0);
}

TEST_F(UsbReader, CloseStopsTheReaderWaitsAtLeast550MsAndReleasesEverything)
{
    Connect();
    PumpEvents(200);
    const auto start = Clock::now();
    m_pCable->Close();
    const auto elapsed = Clock::now() - start;

    EXPECT_GE(elapsed, std::chrono::milliseconds(550));
    EXPECT_EQ(0, m_pCable->ReaderState());
    EXPECT_FALSE(m_owner.m_bUsbActive);
    EXPECT_EQ(std::vector<int>{101}, m_owner.m_killedTimers);
    EXPECT_FALSE(m_pCable->IsDriverLoaded());
    EXPECT_FALSE(m_sim.IsOpen());
    EXPECT_EQ(m_nBaselineThreads, ThreadCount()) << ThreadNames();
}

// The reader has posted its notification and waits for it while the window's thread, without
// handling events, closes the cable.
TEST_F(UsbReader, CloseReturnsWhileANotificationIsInFlight)
{
    Connect();
    PumpEvents(50);
    const int nHandled = m_owner.m_nNotifications;
    m_sim.InjectRx("pending");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    m_pCable->Close();
    EXPECT_EQ(0, m_pCable->ReaderState());
    EXPECT_EQ(m_nBaselineThreads, ThreadCount()) << ThreadNames();
    EXPECT_EQ(nHandled, m_owner.m_nNotifications);

    // The notification left behind is handled harmlessly once events flow again.
    PumpEvents(100);
    EXPECT_GT(m_owner.m_nNotifications, nHandled);
    EXPECT_TRUE(m_owner.m_chunks.empty());
}

// Closing from inside the notification (a modal loop opened by a received text lets the user
// exit) must not wait for the reader that waits for this very notification.
TEST_F(UsbReader, CloseFromInsideTheNotificationReturns)
{
    Connect();
    m_owner.m_onReceived = [this](const std::string&) { m_pCable->Close(); };
    m_sim.InjectRx("bye");
    ASSERT_TRUE(WaitUntil([this] { return !m_owner.m_bUsbActive; }, PROMPT_MS));
    EXPECT_EQ(0, m_pCable->ReaderState());
    EXPECT_TRUE(WaitUntil([this] { return ThreadCount() == m_nBaselineThreads; }, PROMPT_MS))
        << ThreadNames();
}

// The connection reset inside a notification: the device alone is closed, the cable opened
// again and a new reader started while the earlier one still waits for this notification.
TEST_F(UsbReader, ConnectionResetRetiresTheEarlierReaderWithoutLeavingThreads)
{
    Connect();
    PumpEvents(50);
    const int nConnectedThreads = ThreadCount();
    m_owner.m_onReceived = [this](const std::string& text) {
        if (text != "reset")
            return;
        m_pCable->CloseDevice();
        ASSERT_EQ(0, m_pCable->Open(false));
        m_pCable->StartReader();
    };
    for (int nReset = 1; nReset <= 5; ++nReset) {
        m_sim.InjectRx("reset");
        ASSERT_TRUE(WaitUntil([&] { return m_owner.m_chunks.size() == std::size_t(nReset); },
                              PROMPT_MS));
    }
    DWORD written = 0;
    ASSERT_EQ(FT_OK, m_pCable->WriteBytes("after", 5, &written));
    EXPECT_TRUE(WaitUntil([this] { return m_owner.m_chunks.back() == "after"; }, PROMPT_MS));
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == nConnectedThreads; }, PROMPT_MS))
        << ThreadNames();
    EXPECT_EQ(1, m_pCable->ReaderState());
    EXPECT_EQ(6u, m_sim.Counter("opens"));

    m_pCable->Close();
    EXPECT_EQ(m_nBaselineThreads, ThreadCount()) << ThreadNames();
}

// CloseDevice alone keeps the library and the link; its reader is told to end with it, since
// nothing signals a closed device's event any more.
TEST_F(UsbReader, CloseDeviceAloneKeepsTheLibraryAndEndsTheReader)
{
    Connect();
    m_pCable->CloseDevice();
    EXPECT_TRUE(m_pCable->IsDriverLoaded());
    EXPECT_TRUE(m_owner.m_bUsbActive);
    EXPECT_EQ(0, m_pCable->ReaderState());
    EXPECT_TRUE(WaitUntil([this] { return ThreadCount() == m_nBaselineThreads; }, PROMPT_MS))
        << ThreadNames();

    m_pCable->Close();
    EXPECT_TRUE(m_owner.m_killedTimers.empty());
    EXPECT_FALSE(m_pCable->IsDriverLoaded());
}

TEST_F(UsbReader, DestroyingTheCableStopsItsReader)
{
    Connect();
    m_sim.InjectRx("pending");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    m_owner.Attach(nullptr);
    m_pCable.reset();
    EXPECT_EQ(m_nBaselineThreads, ThreadCount()) << ThreadNames();
    EXPECT_FALSE(m_sim.IsOpen());
    PumpEvents(50);
}

} // namespace
