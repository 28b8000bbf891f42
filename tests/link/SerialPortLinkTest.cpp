// The serial port link on real pseudo-terminals, driven by the event loop as the engine drives
// it: what arrives and in which pieces, writes the port cannot take at once, exclusive use, the
// line settings, a far end that goes away, and an engine that resets the link from a handler.
#include "FakeSystemTree.h"
#include "PtyPair.h"

#include "link/SerialLatency.h"
#include "RecordedLinkEvents.h"
#include "link/SerialPortLink.h"
#include "platform/LowLatency.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {
// More than a pseudo-terminal buffers, so the port cannot take it at once.
constexpr std::size_t FLOOD_BYTES = 256 * 1024;


// Counts the wake-ups of every socket notifier in the program: a notifier left on a dead or
// empty descriptor wakes without end.
class CNotifierWakeCounter : public QObject {
public:
    CNotifierWakeCounter() { QCoreApplication::instance()->installEventFilter(this); }
    ~CNotifierWakeCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
    int m_nWakes = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::SockAct)
            ++m_nWakes;
        return false;
    }
};


std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('!' + i % 90);
    return bytes;
}

class SerialPortLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_pty.IsOpen()); }

    CPtyPair m_pty;
    CRecordedLinkEvents m_events;
    CSerialPortLink m_link{m_events};
};

serial_struct g_driver{};

int FtdiDriver(int, unsigned long request, serial_struct* pSettings)
{
    if (request == TIOCGSERIAL)
        *pSettings = g_driver;
    else
        g_driver = *pSettings;
    return 0;
}
} // namespace

TEST_F(SerialPortLinkTest, BytesArriveInOrderInReadsOfAtMostAHundredAndWritesReachTheUnit)
{
    ASSERT_FALSE(m_link.Open(m_pty.SlavePath()));
    const std::string sent = Pattern(250) + "15EB" + Pattern(7);
    ASSERT_TRUE(m_pty.Send(sent.substr(0, 250)));
    ASSERT_TRUE(m_pty.Send(sent.substr(250)));
    ASSERT_TRUE(PumpUntil([&] { return m_events.Received().size() >= sent.size(); }));
    EXPECT_EQ(m_events.Received(), sent);
    for (const std::string& chunk : m_events.m_chunks)
        EXPECT_LE(chunk.size(), CSerialPortLink::READ_CHUNK_BYTES);

    ASSERT_FALSE(m_link.Write("16EAaa"));
    EXPECT_EQ(m_pty.Receive(6, 2000), "16EAaa");
    EXPECT_TRUE(m_events.m_failures.empty());

    m_link.Close();
    EXPECT_EQ(m_link.Write("A").Fault(), LinkFault::NotOpen);
}

TEST_F(SerialPortLinkTest, TheLineIsRaw9600With8N1AndNoFlowControl)
{
    // The port starts as a terminal for people, with both kinds of flow control on.
    const int fd = ::open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(fd, &before), 0);
    before.c_cflag |= CRTSCTS | PARENB | CSTOPB;
    before.c_iflag |= IXON | IXOFF;
    cfsetspeed(&before, B38400);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &before), 0);
    ::close(fd);

    ASSERT_FALSE(m_link.Open(m_pty.SlavePath()));
    termios tio{};
    ASSERT_TRUE(m_pty.LineSettings(&tio));
    EXPECT_EQ(cfgetispeed(&tio), B9600);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_F(SerialPortLinkTest, OpenFailuresCarryTheSystemsErrnoAndAPortIsForOneLinkAtATime)
{
    EXPECT_EQ(m_link.Open("/dev/kx-no-such-port").Errno(), ENOENT);

    ASSERT_FALSE(m_link.Open(m_pty.SlavePath()));
    CRecordedLinkEvents otherEvents;
    CSerialPortLink other(otherEvents);
    const LinkError busy = other.Open(m_pty.SlavePath());
    EXPECT_EQ(busy.Fault(), LinkFault::Busy);
    EXPECT_EQ(busy.Errno(), EBUSY);
    EXPECT_FALSE(other.IsOpen());

    m_link.Close();
    EXPECT_FALSE(other.Open(m_pty.SlavePath()));
}

TEST_F(SerialPortLinkTest, OpenNotesLaterWhetherTheDriverTookLowLatency)
{
    ASSERT_FALSE(m_link.Open(m_pty.SlavePath()));
    EXPECT_TRUE(m_events.m_notes.empty()); // no event from inside Open
    ASSERT_TRUE(PumpUntil([&] { return !m_events.m_notes.empty(); }));
    EXPECT_EQ(m_events.m_notes.front(),
              "low latency refused (" + std::string(std::strerror(ENOTTY)) + ")");

    g_driver = serial_struct{};
    SetSerialSettingsCall(&FtdiDriver);
    CRecordedLinkEvents ftdiEvents;
    CSerialPortLink ftdi(ftdiEvents);
    m_link.Close();
    ASSERT_FALSE(ftdi.Open(m_pty.SlavePath()));
    SetSerialSettingsCall(nullptr);
    EXPECT_TRUE(g_driver.flags & ASYNC_LOW_LATENCY);
    ASSERT_TRUE(PumpUntil([&] { return !ftdiEvents.m_notes.empty(); }));
    EXPECT_EQ(ftdiEvents.m_notes, std::vector<std::string>{"low latency set"});
}

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

TEST_F(SerialPortLinkTest, AFarEndThatGoesAwayEndsTheLinkOnceAndNothingSpins)
{
    ASSERT_FALSE(m_link.Open(m_pty.SlavePath()));
    PumpFor(50);
    m_pty.CloseMaster();
    ASSERT_TRUE(PumpUntil([&] { return !m_events.m_failures.empty(); }));
    EXPECT_EQ(m_events.m_failures.front().Fault(), LinkFault::Gone);
    EXPECT_FALSE(m_link.IsOpen());

    CNotifierWakeCounter wakes;
    PumpFor(200);
    EXPECT_EQ(m_events.m_failures.size(), 1u);
    EXPECT_EQ(wakes.m_nWakes, 0);
}

TEST(SerialPortLinkOnAFile, APortWithoutLineSettingsStillTakesWritesAndDoesNotSpin)
{
    CRecordedLinkEvents events;
    CSerialPortLink link(events);
    ASSERT_FALSE(link.Open("/dev/null"));
    EXPECT_FALSE(link.Write("16EAaa"));
    CNotifierWakeCounter wakes;
    PumpFor(200);
    EXPECT_LE(wakes.m_nWakes, 2);
    EXPECT_TRUE(events.m_failures.empty());
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(SerialPortLinkTest, TheEngineMayCloseReopenOrDestroyTheLinkFromItsHandler)
{
    // A reset from inside the receive handler: closed and opened again at once.
    ASSERT_FALSE(m_link.Open(m_pty.SlavePath()));
    int nResets = 0;
    m_events.m_onBytes = [&] {
        if (nResets++ == 0) {
            m_link.Close();
            EXPECT_FALSE(m_link.Open(m_pty.SlavePath()));
        }
    };
    ASSERT_TRUE(m_pty.Send(Pattern(250)));
    ASSERT_TRUE(PumpUntil([&] { return nResets > 0; }));
    ASSERT_TRUE(m_pty.Send("after"));
    ASSERT_TRUE(PumpUntil([&] { return m_events.Received().find("after") != std::string::npos; }));
    EXPECT_EQ(m_events.m_chunks.front(), Pattern(100));

    // The link destroyed from inside the handler: nothing of it is used afterwards.
    CPtyPair pty;
    CRecordedLinkEvents events;
    auto pLink = std::make_unique<CSerialPortLink>(events);
    ASSERT_FALSE(pLink->Open(pty.SlavePath()));
    events.m_onBytes = [&] { pLink.reset(); };
    ASSERT_TRUE(pty.Send(Pattern(250)));
    ASSERT_TRUE(PumpUntil([&] { return !pLink; }));
    PumpFor(50);
    EXPECT_EQ(events.m_chunks.size(), 1u);
    EXPECT_TRUE(events.m_failures.empty());
}

TEST_F(SerialPortLinkTest, WhatThePortCannotTakeAtOnceIsSentAsItTakesIt)
{
    ASSERT_FALSE(m_link.Open(m_pty.SlavePath()));
    const std::string flood = Pattern(FLOOD_BYTES);
    ASSERT_FALSE(m_link.Write(flood));
    ASSERT_GT(m_link.UnsentBytes(), 0u);
    ASSERT_FALSE(m_link.Write("tail")); // queued behind the rest, in order

    std::string got;
    ASSERT_TRUE(PumpUntil([&] {
        got += m_pty.TakeAvailable();
        return got.size() >= flood.size() + 4;
    }));
    EXPECT_TRUE(got == flood + "tail") << "got " << got.size() << " bytes";
    EXPECT_EQ(m_link.UnsentBytes(), 0u);

    // Closing drops what is still unsent.
    ASSERT_FALSE(m_link.Write(flood));
    m_link.Close();
    EXPECT_EQ(m_link.UnsentBytes(), 0u);
    EXPECT_TRUE(m_events.m_failures.empty());
}
