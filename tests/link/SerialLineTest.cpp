// The COM-port driver on real pseudo-terminals: opening, line settings, reads and writes,
// the result codes, time-outs and a far end that goes away.
#include "FakeSystemTree.h"
#include "PtyPair.h"

#include "link/SerialLatency.h"
#include "link/SerialLine.h"
#include "platform/LowLatency.h"
#include "platform/SyncEvent.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {
// More than a pseudo-terminal buffers, so a write of it blocks while nobody reads.
constexpr DWORD FLOOD_BYTES = 1u << 20;

class SerialLineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_pty.IsOpen()); }

    // Reads what has arrived, retrying for a while since a read never waits.
    std::string ReadArrived(CSerialLine& line, std::size_t count)
    {
        std::string got;
        for (int attempt = 0; attempt < 200 && got.size() < count; ++attempt) {
            char buffer[100];
            DWORD n = 0;
            EXPECT_EQ(line.ReadBytes(buffer, sizeof buffer, &n), 0u);
            got.append(buffer, n);
            if (n == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return got;
    }

    CPtyPair m_pty;
};
} // namespace

TEST_F(SerialLineTest, TalksBothWaysAt9600With8N1AndNoFlowControl)
{
    CSerialLine line;
    ASSERT_EQ(line.OpenPort(m_pty.SlavePath().c_str()), 0u);
    EXPECT_EQ(line.ConfigureLine(9600, 8, NOPARITY, ONESTOPBIT), 0u);
    EXPECT_EQ(line.SetFlowControl(FlowNone), 0u);

    termios tio{};
    ASSERT_TRUE(m_pty.LineSettings(&tio));
    EXPECT_EQ(cfgetospeed(&tio), speed_t{B9600});
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(line.QueryBaudRate(), 9600u);
    EXPECT_EQ(line.QueryDataBits(), 8u);
    EXPECT_EQ(line.QueryParity(), DWORD{NOPARITY});
    EXPECT_EQ(line.QueryStopBits(), DWORD{ONESTOPBIT});
    EXPECT_EQ(line.QueryFlowControl(), DWORD{FlowNone});

    DWORD written = 99;
    EXPECT_EQ(line.WriteText("15EBaa", &written), 0u);
    EXPECT_EQ(written, 6u);
    EXPECT_EQ(m_pty.Receive(6, 2000), "15EBaa");

    // Every byte value passes unchanged: no translation of line ends, no software flow.
    const std::string binary("\x00\r\n\x11\x13\x7f\xff.", 8);
    ASSERT_TRUE(m_pty.Send(binary));
    EXPECT_EQ(ReadArrived(line, binary.size()), binary);
}

TEST_F(SerialLineTest, LineSettingsAndFlowModesReachTheTerminal)
{
    CSerialLine line;
    ASSERT_EQ(line.OpenPort(m_pty.SlavePath().c_str()), 0u);
    // (A pseudo-terminal always keeps 8 data bits without parity, so those are not varied.)
    EXPECT_EQ(line.ConfigureLine(19200, 8, NOPARITY, TWOSTOPBITS), 0u);
    EXPECT_EQ(line.SetFlowControl(FlowHardware), 0u);
    termios tio{};
    ASSERT_TRUE(m_pty.LineSettings(&tio));
    EXPECT_EQ(cfgetospeed(&tio), speed_t{B19200});
    EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), tcflag_t{CSTOPB | CRTSCTS});
    EXPECT_EQ(line.QueryStopBits(), DWORD{TWOSTOPBITS});
    EXPECT_EQ(line.QueryFlowControl(), DWORD{FlowHardware});

    EXPECT_EQ(line.SetFlowControl(FlowSoftware), 0u);
    ASSERT_TRUE(m_pty.LineSettings(&tio));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), tcflag_t{IXON | IXOFF});
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(line.QueryFlowControl(), DWORD{FlowSoftware});

    // An unknown mode is refused and changes nothing.
    EXPECT_EQ(line.SetFlowControl(3), E_INVALIDARG);
    EXPECT_EQ(line.LastErrorCode(), E_INVALIDARG);
    EXPECT_EQ(line.QueryFlowControl(), DWORD{FlowSoftware});
    EXPECT_EQ(line.QueryBaudRate(), 19200u);
    EXPECT_EQ(line.SetReadMode(2), E_INVALIDARG);

    // A rate the system does not offer is refused without touching the line.
    EXPECT_EQ(line.ConfigureLine(12345, 8, NOPARITY, ONESTOPBIT), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(line.QueryBaudRate(), 19200u);
}

TEST_F(SerialLineTest, OpenPortLeavesTheDefaultMaskAndReadsThatNeverWait)
{
    CSerialLine line;
    ASSERT_EQ(line.OpenPort(m_pty.SlavePath().c_str()), 0u);
    EXPECT_EQ(line.QueryWatchMask(), 0x00C1u);

    char buffer[100];
    DWORD got = 7;
    EXPECT_EQ(line.ReadBytes(buffer, sizeof buffer, &got), 0u);
    EXPECT_EQ(got, 0u);

    // Bytes that reached the line before the port was opened are not this session's.
    CSerialLine other;
    line.ClosePort();
    ASSERT_TRUE(m_pty.Send("stale"));
    ASSERT_EQ(other.OpenPort(m_pty.SlavePath().c_str()), 0u);
    EXPECT_EQ(other.ReadBytes(buffer, sizeof buffer, &got), 0u);
    EXPECT_EQ(got, 0u);
}

TEST_F(SerialLineTest, ThePortIsForOneOpenerAtATime)
{
    CSerialLine first;
    CSerialLine second;
    ASSERT_EQ(first.OpenPort(m_pty.SlavePath().c_str()), 0u);
    EXPECT_EQ(second.OpenPort(m_pty.SlavePath().c_str()), DWORD{EBUSY});
    EXPECT_FALSE(second.IsPortOpen());

    // A second open of the same object is refused and leaves the port working.
    EXPECT_EQ(first.OpenPort(m_pty.SlavePath().c_str()), ERROR_ALREADY_INITIALIZED);
    EXPECT_EQ(first.LastErrorCode(), ERROR_ALREADY_INITIALIZED);
    ASSERT_TRUE(first.IsPortOpen());
    EXPECT_EQ(first.WriteText("A"), 0u);
    EXPECT_EQ(m_pty.Receive(1, 2000), "A");

    // Once closed, the port can be opened again.
    EXPECT_EQ(first.ClosePort(), 0u);
    EXPECT_EQ(second.OpenPort(m_pty.SlavePath().c_str()), 0u);
    EXPECT_EQ(CSerialLine().OpenPort("/dev/no-such-port"), DWORD{ENOENT});
}

TEST_F(SerialLineTest, AClosedPortRefusesEverythingButClosing)
{
    CSerialLine line;
    EXPECT_EQ(line.ClosePort(), 0u);
    EXPECT_EQ(line.SetWatchMask(EV_RXCHAR), ERROR_INVALID_HANDLE);
    EXPECT_EQ(line.QueryWatchMask(), 0u);
    EXPECT_EQ(line.LastErrorCode(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(line.ConfigureLine(9600, 8, NOPARITY, ONESTOPBIT), ERROR_INVALID_HANDLE);
    EXPECT_EQ(line.SetFlowControl(FlowNone), ERROR_INVALID_HANDLE);
    EXPECT_EQ(line.SetReadMode(ReadNonBlocking), ERROR_INVALID_HANDLE);
    EXPECT_EQ(line.QueryBaudRate(), QUERY_FAILED);
    EXPECT_EQ(line.WriteText("A"), ERROR_INVALID_HANDLE);
    char buffer[4];
    DWORD got = 5;
    EXPECT_EQ(line.ReadBytes(buffer, sizeof buffer, &got), ERROR_INVALID_HANDLE);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(line.WaitForLineEvent(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(line.ClosePort(), 0u);
    EXPECT_EQ(line.LastErrorCode(), 0u);
}

TEST_F(SerialLineTest, ABlockingPortTakesNoRecordAndNoTimeOut)
{
    CSerialLine line;
    ASSERT_EQ(line.OpenPort(m_pty.SlavePath().c_str(), 0, 0, false), 0u);
    CSyncEvent event(CSyncEvent::Reset::Manual);
    SerialOverlapped ov;
    ov.hEvent = &event;
    char buffer[8];
    EXPECT_EQ(line.WriteText("x", nullptr, nullptr, 100), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(line.ReadBytes(buffer, sizeof buffer, nullptr, &ov), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(line.WaitForLineEvent(nullptr, 100), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(m_pty.Receive(1, 200), "");
}

TEST_F(SerialLineTest, AWriteThatCannotFinishInTimeIsCancelled)
{
    CSerialLine line;
    ASSERT_EQ(line.OpenPort(m_pty.SlavePath().c_str(), 0, 0, true), 0u);
    const std::vector<char> flood(FLOOD_BYTES, 'x');
    DWORD written = 99;
    EXPECT_EQ(line.WriteBytes(flood.data(), FLOOD_BYTES, &written, nullptr, 300), ERROR_TIMEOUT);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(line.LastErrorCode(), ERROR_TIMEOUT);
}

TEST_F(SerialLineTest, AWriteWithoutTimeOutFailsWhenTheDeviceGoesAway)
{
    CSerialLine line;
    ASSERT_EQ(line.OpenPort(m_pty.SlavePath().c_str()), 0u);
    const std::vector<char> flood(FLOOD_BYTES, 'x');
    DWORD result = 0;
    std::thread writer([&] { result = line.WriteBytes(flood.data(), FLOOD_BYTES); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    m_pty.CloseMaster();
    writer.join();
    EXPECT_EQ(result, DWORD{EIO});

    // The port stays open but every transfer now fails, without waiting.
    char buffer[100];
    DWORD got = 0;
    EXPECT_EQ(line.ReadBytes(buffer, sizeof buffer, &got), DWORD{EIO});
    EXPECT_EQ(line.WriteText("15EBaa"), DWORD{EIO});
    EXPECT_EQ(line.ClosePort(), 0u);
}

TEST_F(SerialLineTest, LineEventWaitsReportArrivalsAndEndOnAMaskChange)
{
    CSerialLine line;
    ASSERT_EQ(line.OpenPort(m_pty.SlavePath().c_str(), 0, 0, true), 0u);
    EXPECT_EQ(line.WaitForLineEvent(nullptr, 200), ERROR_TIMEOUT);

    ASSERT_TRUE(m_pty.Send("abc"));
    EXPECT_EQ(line.WaitForLineEvent(nullptr, 5000), 0u);
    EXPECT_EQ(line.TakeLineEvents(), EV_RXCHAR);
    EXPECT_EQ(line.TakeLineEvents(), 0u);

    // A wait left pending on the caller's record completes, with no events, when the mask
    // is set again.
    CSyncEvent event(CSyncEvent::Reset::Manual);
    SerialOverlapped ov;
    ov.hEvent = &event;
    ASSERT_EQ(line.WaitForLineEvent(&ov, INFINITE), 0u);
    EXPECT_EQ(line.WaitForOverlapped(&ov, 100), ERROR_TIMEOUT);
    EXPECT_EQ(line.SetWatchMask(EV_RXCHAR), 0u);
    EXPECT_EQ(line.WaitForOverlapped(&ov, 5000), 0u);
    EXPECT_TRUE(event.IsSet());
    EXPECT_EQ(line.TakeLineEvents(), 0u);
}

TEST_F(SerialLineTest, ABlockingReadWaitsForTheWholeCount)
{
    CSerialLine line;
    ASSERT_EQ(line.OpenPort(m_pty.SlavePath().c_str(), 0, 0, true), 0u);
    ASSERT_EQ(line.SetReadMode(ReadBlocking), 0u);
    char buffer[6] = {};
    DWORD got = 0;
    EXPECT_EQ(line.ReadBytes(buffer, sizeof buffer, &got, nullptr, 200), ERROR_TIMEOUT);
    ASSERT_TRUE(m_pty.Send("12"));
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_pty.Send("3456");
    });
    EXPECT_EQ(line.ReadBytes(buffer, sizeof buffer, &got, nullptr, 5000), 0u);
    late.join();
    EXPECT_EQ(got, 6u);
    EXPECT_EQ(std::string(buffer, got), "123456");
}

namespace {
// A driver's serial settings as the fake calls below keep them.
int g_nDriverFlags = 0;

// ftdi_sio: takes the low-latency flag.
int FtdiDriver(int, unsigned long request, serial_struct* pSettings)
{
    if (request == TIOCGSERIAL)
        pSettings->flags = g_nDriverFlags;
    else
        g_nDriverFlags = pSettings->flags;
    return 0;
}

// A driver that shows its settings but lets no one change them.
int LockedDriver(int, unsigned long request, serial_struct* pSettings)
{
    if (request == TIOCGSERIAL) {
        pSettings->flags = g_nDriverFlags;
        return 0;
    }
    errno = EPERM;
    return -1;
}

struct LatencyCase {
    const char* name;
    SerialSettingsCall call; // null: the pseudo-terminal's own answer
    DWORD result;
    int flagsAfter;
};

class SerialLineLatency : public ::testing::TestWithParam<LatencyCase> {
protected:
    void SetUp() override { ASSERT_TRUE(m_pty.IsOpen()); }
    void TearDown() override { SetSerialSettingsCall(nullptr); }
    CPtyPair m_pty;
};
} // namespace

// The port asks its driver for low latency; a driver that refuses leaves a port that works.
TEST_P(SerialLineLatency, OpenAsksTheDriverForLowLatencyAndCarriesOnWhenRefused)
{
    const LatencyCase latency = GetParam();
    g_nDriverFlags = 0;
    SetSerialSettingsCall(latency.call);
    CSerialLine line;
    ASSERT_EQ(line.OpenPort(m_pty.SlavePath().c_str()), 0u);
    EXPECT_EQ(line.LowLatencyResult(), latency.result);
    EXPECT_EQ(g_nDriverFlags, latency.flagsAfter);

    EXPECT_EQ(line.WriteText("16EAaa"), 0u);
    EXPECT_EQ(m_pty.Receive(6, 2000), "16EAaa");
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, SerialLineLatency,
    ::testing::Values(LatencyCase{"FtdiSio", &FtdiDriver, 0, static_cast<int>(ASYNC_LOW_LATENCY)},
                      LatencyCase{"Locked", &LockedDriver, EPERM, 0},
                      LatencyCase{"PseudoTerminal", nullptr, ENOTTY, 0}),
    [](const ::testing::TestParamInfo<LatencyCase>& info) { return info.param.name; });

// The support log is told what the driver did and the chip's timer as sysfs shows it.
TEST(SerialLatencyNote, SaysWhetherTheDriverTookItAndTheTimer)
{
    FakeSystemTree tree;
    tree.AddUsbSerial({"1-1", "ttyUSB0", "0403", "6001", "FTDI", "Tetherix", "A1"});
    const std::filesystem::path timer = tree.Root() / "sys/bus/usb-serial/devices/ttyUSB0";
    std::filesystem::create_directories(timer);
    std::ofstream(timer / "latency_timer") << "1\n";
    const std::string sys = (tree.Root() / "sys").string();

    EXPECT_EQ(DescribeSerialLatency("/dev/ttyUSB0", 0, sys), "low latency set; latency_timer 1 ms");
    EXPECT_EQ(DescribeSerialLatency("/dev/pts/7", ENOTTY, sys),
              "low latency refused (" + std::string(std::strerror(ENOTTY)) + ")");
}
