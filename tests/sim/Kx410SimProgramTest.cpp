// kx410-sim as a program: it prints its pseudo-terminal, converses on it, survives the port
// being closed and reopened, paces its output when asked, and ends cleanly on SIGTERM.
#include "FdRead.h"
#include "SimProcess.h"

#include "unit/UnitSimulator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int GENEROUS_WAIT_MS = 5000;

// The downloader's end of the line, opened raw on the program's pseudo-terminal.
class CLineEnd {
public:
    explicit CLineEnd(const std::string& path)
        : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        termios tio{};
        if (m_fd >= 0 && tcgetattr(m_fd, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~CLineEnd()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool IsOpen() const { return m_fd >= 0; }
    bool Send(const std::string& text)
    {
        return write(m_fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    // Collects replies until `count` bytes have come or the time is up.
    std::string Receive(std::size_t count, int timeoutMs = GENEROUS_WAIT_MS)
    {
        return ReadFromFd(m_fd, count, timeoutMs);
    }

private:
    int m_fd;
};

std::string WakeUp(CLineEnd& line, std::size_t expect)
{
    line.Send("15EBaa");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    line.Send("16EAaa");
    return line.Receive(expect);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
} // namespace

TEST(Kx410SimProgram, ConversesAndLogsWhatItReceived)
{
    const std::string logPath = testing::TempDir() + "kx410-sim-conversation.log";
    std::remove(logPath.c_str());
    CSimProcess sim({"--serial", "65536", "--product", "0411", "--log", logPath});
    ASSERT_TRUE(sim.IsStarted());
    UnitIdentity id;
    id.serialNumber = 65536;
    id.productId = "0411";
    const std::string ident = UnitSimulator::IdentificationText(id);
    {
        CLineEnd line(sim.SlavePath());
        ASSERT_TRUE(line.IsOpen());
        EXPECT_EQ(WakeUp(line, ident.size()), ident);
        line.Send("A");
        EXPECT_EQ(line.Receive(1), UnitSimulator::KEEP_ALIVE_TEXT);
        line.Send(":10000000aa");
        EXPECT_EQ(line.Receive(1), ".");
        line.Send("C");
        EXPECT_EQ(line.Receive(1), "C");
    }
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_EQ(ReadFile(logPath), "15EBaa16EAaaA:10000000aaC");
}

TEST(Kx410SimProgram, KeepsServingWhenThePortIsClosedAndOpenedAgain)
{
    CSimProcess sim({"--corrupt-at", "1"});
    ASSERT_TRUE(sim.IsStarted());
    const std::string ident = UnitSimulator::IdentificationText({});
    {
        CLineEnd line(sim.SlavePath());
        EXPECT_EQ(WakeUp(line, ident.size()), ident);
    }
    CLineEnd again(sim.SlavePath());
    ASSERT_TRUE(again.IsOpen());
    EXPECT_EQ(WakeUp(again, ident.size()), ident);
    again.Send("A");
    EXPECT_EQ(again.Receive(1), UnitSimulator::KEEP_ALIVE_TEXT);
    again.Send(":01aa");
    EXPECT_EQ(again.Receive(1), "/");
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(Kx410SimProgram, PacedOutputTakesAtLeastTheLineTime)
{
    CSimProcess sim({"--baud-pace", "--garbage"});
    ASSERT_TRUE(sim.IsStarted());
    CLineEnd line(sim.SlavePath());
    line.Send("15EBaa16EAaa");
    const auto start = Clock::now();
    const std::string got = line.Receive(16 + UnitSimulator::IDENTIFICATION_LENGTH);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(got.substr(16), UnitSimulator::IdentificationText({}));
    // 88 bytes at 960 bytes a second: at least 90 ms on the line.
    EXPECT_GE(elapsed, std::chrono::milliseconds(80));
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(Kx410SimProgram, EndsByItselfOnceThePortIsClosedWhenAsked)
{
    CSimProcess sim({"--exit-on-close"});
    ASSERT_TRUE(sim.IsStarted());
    {
        CLineEnd line(sim.SlavePath());
        const std::string ident = UnitSimulator::IdentificationText({});
        EXPECT_EQ(WakeUp(line, ident.size()), ident);
    }
    EXPECT_EQ(sim.WaitForExit(GENEROUS_WAIT_MS), 0);
}

TEST(Kx410SimProgram, RefusesABadOption)
{
    CSimProcess sim({"--silent-at", "x"});
    EXPECT_FALSE(sim.IsStarted());
    EXPECT_EQ(sim.WaitForExit(GENEROUS_WAIT_MS), 2);
}
