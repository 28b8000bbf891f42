// The watcher thread and its window notifications, on real pseudo-terminals: what is
// posted, how often, and that closing or losing the device ends the thread cleanly.
#include "PtyPair.h"

#include "link/SerialWndObj.h"
#include "platform/SyncEvent.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int GENEROUS_WAIT_MS = 5000;

// A window that records the registered messages it receives.
class CMessageSink : public QObject {
public:
    struct Record {
        QEvent::Type type;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Record> m_records;

protected:
    bool event(QEvent* e) override
    {
        if (const auto* message = AcceptWindowMessage(e)) {
            m_records.push_back({e->type(), message->m_wParam, message->m_lParam});
            return true;
        }
        return QObject::event(e);
    }
};

// Runs the event loop until `done` holds or the time is up; true when it holds.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = GENEROUS_WAIT_MS)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

void PumpFor(int ms)
{
    PumpUntil([] { return false; }, ms);
}

// A watcher whose first notification waits at a gate, so that data can pile up while the
// thread is busy.
class CGatedWatcher : public CSerialWatcher {
public:
    ~CGatedWatcher() override { ClosePort(); }

    std::atomic<int> m_nCalls{0};
    std::atomic<DWORD> m_lastEvents{0};
    CSyncEvent m_entered{CSyncEvent::Reset::Manual};
    CSyncEvent m_gate{CSyncEvent::Reset::Manual};

protected:
    void OnLineEvent(DWORD events, DWORD) override
    {
        m_lastEvents = events;
        if (++m_nCalls == 1) {
            m_entered.Set();
            m_gate.Wait();
        }
    }
};

class SerialWatcherTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_pty.IsOpen()); }

    CPtyPair m_pty;
    CMessageSink m_sink;
};
} // namespace

TEST_F(SerialWatcherTest, ArrivingBytesPostTheDefaultMessageToTheWindow)
{
    CSerialWndObj serial;
    ASSERT_EQ(serial.OpenPort(m_pty.SlavePath().c_str(), &m_sink), 0u);
    EXPECT_TRUE(serial.IsWatcherRunning());
    ASSERT_TRUE(m_pty.Send("hello"));
    ASSERT_TRUE(PumpUntil([&] { return !m_sink.m_records.empty(); }));
    const CMessageSink::Record& first = m_sink.m_records.front();
    EXPECT_EQ(first.type, RegisterWindowMessage("CSerialWnd_DefaultComMsg"));
    EXPECT_EQ(first.type, static_cast<QEvent::Type>(CSerialWnd::DefaultMessage()));
    EXPECT_EQ(first.wParam, WPARAM{EV_RXCHAR}); // no line errors on the high word
    EXPECT_EQ(first.lParam, 0);

    char buffer[100];
    DWORD got = 0;
    EXPECT_EQ(serial.ReadBytes(buffer, sizeof buffer, &got), 0u);
    EXPECT_EQ(std::string(buffer, got), "hello");
}

TEST_F(SerialWatcherTest, AChosenMessageAndParameterArePostedUnchanged)
{
    const auto type = static_cast<UINT>(RegisterWindowMessage("SerialWatcherTest_Message"));
    CSerialWndObj serial;
    ASSERT_EQ(serial.OpenPort(m_pty.SlavePath().c_str(), &m_sink, type, 4711), 0u);
    ASSERT_TRUE(m_pty.Send("x"));
    ASSERT_TRUE(PumpUntil([&] { return !m_sink.m_records.empty(); }));
    EXPECT_EQ(m_sink.m_records.front().type, static_cast<QEvent::Type>(type));
    EXPECT_EQ(m_sink.m_records.front().lParam, 4711);
}

// Bytes that arrive while a notification runs are reported by at least one more. How many
// more depends on how the terminal hands the bytes over, so only the lower bound is certain.
TEST_F(SerialWatcherTest, BytesThatArriveDuringOneNotificationMakeOneMore)
{
    CGatedWatcher watcher;
    ASSERT_EQ(watcher.OpenPort(m_pty.SlavePath().c_str(), 0, 0, true), 0u);
    ASSERT_TRUE(m_pty.Send("1"));
    ASSERT_TRUE(watcher.m_entered.Wait(std::chrono::milliseconds(GENEROUS_WAIT_MS)));
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(m_pty.Send("more"));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(watcher.m_nCalls.load(), 1); // held at the gate: nothing else was reported
    watcher.m_gate.Set();
    EXPECT_TRUE(PumpUntil([&] { return watcher.m_nCalls.load() >= 2; }));
    EXPECT_EQ(watcher.m_lastEvents.load(), EV_RXCHAR);
}

TEST_F(SerialWatcherTest, ArrivalsOutsideTheMaskAreNotReported)
{
    CGatedWatcher watcher;
    ASSERT_EQ(watcher.OpenPort(m_pty.SlavePath().c_str()), 0u);
    ASSERT_EQ(watcher.SetWatchMask(EV_BREAK | EV_ERR), 0u);
    ASSERT_EQ(watcher.StartWatcher(), 0u);
    ASSERT_TRUE(m_pty.Send("unreported"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(watcher.m_nCalls.load(), 0);
}

TEST_F(SerialWatcherTest, ClosingDuringAWaitEndsTheWatcherAndPostsNothingMore)
{
    CSerialWndObj serial;
    ASSERT_EQ(serial.OpenPort(m_pty.SlavePath().c_str(), &m_sink), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the watcher is waiting
    EXPECT_EQ(serial.ClosePort(), 0u);
    EXPECT_FALSE(serial.IsPortOpen());
    EXPECT_FALSE(serial.HasWatcher());
    EXPECT_EQ(serial.WatcherExitCode(), 0u);

    ASSERT_TRUE(m_pty.Send("after close"));
    PumpFor(300);
    EXPECT_TRUE(m_sink.m_records.empty());

    // The port can be opened and watched again.
    ASSERT_EQ(serial.OpenPort(m_pty.SlavePath().c_str(), &m_sink), 0u);
    ASSERT_TRUE(m_pty.Send("again"));
    EXPECT_TRUE(PumpUntil([&] { return !m_sink.m_records.empty(); }));
}

TEST_F(SerialWatcherTest, RepeatedOpenAndCloseWhileDataFlowsNeverHangs)
{
    CSerialWndObj serial;
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(serial.OpenPort(m_pty.SlavePath().c_str(), &m_sink), 0u);
        ASSERT_TRUE(m_pty.Send("ping"));
        if (round % 3 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(serial.ClosePort(), 0u);
    }
    PumpFor(50);
}

TEST_F(SerialWatcherTest, ADeviceThatGoesAwayEndsTheWatcherSilently)
{
    CSerialWndObj serial;
    ASSERT_EQ(serial.OpenPort(m_pty.SlavePath().c_str(), &m_sink), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    m_pty.CloseMaster();
    ASSERT_TRUE(PumpUntil([&] { return !serial.IsWatcherRunning(); }));
    EXPECT_TRUE(serial.HasWatcher()); // ended by itself, not yet collected
    EXPECT_NE(serial.WatcherExitCode(), 0u);
    PumpFor(100);
    EXPECT_TRUE(m_sink.m_records.empty());

    EXPECT_NE(serial.WriteText("15EBaa"), 0u);
    EXPECT_EQ(serial.ClosePort(), 0u);
    EXPECT_FALSE(serial.HasWatcher());
}

TEST_F(SerialWatcherTest, DestroyingAWatchingPortStopsTheThread)
{
    {
        CSerialWndObj serial;
        ASSERT_EQ(serial.OpenPort(m_pty.SlavePath().c_str(), &m_sink), 0u);
        ASSERT_TRUE(m_pty.Send("data"));
    }
    // The port is free again: the destructor closed it.
    CSerialWndObj next;
    EXPECT_EQ(next.OpenPort(m_pty.SlavePath().c_str(), nullptr), 0u);
}

TEST_F(SerialWatcherTest, StopWatcherWithATimeOutCollectsAThreadThatEndsLater)
{
    CGatedWatcher watcher;
    ASSERT_EQ(watcher.OpenPort(m_pty.SlavePath().c_str(), 0, 0, true), 0u);
    ASSERT_TRUE(m_pty.Send("1"));
    ASSERT_TRUE(watcher.m_entered.Wait(std::chrono::milliseconds(GENEROUS_WAIT_MS)));
    EXPECT_EQ(watcher.StopWatcher(100), 0u); // the thread is held at the gate
    EXPECT_TRUE(watcher.HasWatcher());
    watcher.m_gate.Set();
    EXPECT_EQ(watcher.StopWatcher(INFINITE), 0u);
    EXPECT_FALSE(watcher.HasWatcher());
    EXPECT_EQ(watcher.m_nCalls.load(), 1);
}
