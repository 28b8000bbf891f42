// The simulated cable as the driver sees it: the unit behind it answers the wake-up, the paced
// line runs at the real line's speed, and the test's hold keeps the cable's state while the
// driver unloads the library.
#include "UsbCableFixture.h"
#include "ftd2xx/SimCable.h"
#include "unit/UnitSimulator.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int PROMPT_MS = 3000;

using SimCable = UsbCableFixture;

TEST_F(SimCable, UnitBehindTheCableAnswersTheWakeUpWithItsIdentification)
{
    m_sim.SetMode("unit");
    m_sim.SetSerialNumber(777);
    Connect();
    DWORD written = 0;
    ASSERT_EQ(FT_OK, m_pCable->WriteBytes("15EBaa", 6, &written));
    ASSERT_EQ(FT_OK, m_pCable->WriteBytes("16EAaa", 6, &written));

    UnitIdentity identity;
    identity.serialNumber = 777;
    const std::string expected = UnitSimulator::IdentificationText(identity);
    EXPECT_TRUE(WaitUntil(
        [&] { return m_owner.Received().find(expected) != std::string::npos; }, PROMPT_MS));
    EXPECT_EQ("15EBaa16EAaa", m_sim.UnitReceived());
}

TEST_F(SimCable, PacedLineDeliversNoFasterThanTheRealLine)
{
    m_sim.SetPaced(true);
    Connect();
    const std::string text(96, 'p');
    DWORD written = 0;
    const auto start = Clock::now();
    ASSERT_EQ(FT_OK, m_pCable->WriteBytes(text.data(), 96, &written));
    ASSERT_TRUE(WaitUntil([&] { return m_owner.Received() == text; }, PROMPT_MS));
    // 96 bytes at 960 bytes/s: the last chunk leaves the line after at least 90 ms.
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(90));
}

// The chip sends the unit's bytes on in packets: a full one at once, the rest when its latency
// timer runs out.
TEST_F(SimCable, ChipPassesBytesOnInFullPacketsAndTheRestAtItsTimer)
{
    const struct {
        std::size_t bytes;
        unsigned transfers;
    } cases[] = {{1, 1}, {62, 1}, {124, 2}, {130, 3}};
    Connect();
    ASSERT_EQ(FT_OK, m_pCable->SetLatencyTimer(255));
    std::string sent;
    unsigned transfers = 0;
    for (const auto& c : cases) {
        const std::string text(c.bytes, static_cast<char>('a' + sent.size() % 26));
        DWORD written = 0;
        ASSERT_EQ(FT_OK, m_pCable->WriteBytes(text.data(), static_cast<DWORD>(text.size()), &written));
        if (c.bytes % CSimCable::CHIP_PACKET_BYTES != 0) {
            EXPECT_LE(m_owner.Received().size() + m_sim.RxPending(),
                      sent.size() + c.bytes / CSimCable::CHIP_PACKET_BYTES * CSimCable::CHIP_PACKET_BYTES)
                << "the part short of a packet waits for the timer, " << c.bytes;
        }
        sent += text;
        ASSERT_TRUE(WaitUntil([&] { return m_owner.Received() == sent; }, PROMPT_MS)) << c.bytes;
        transfers += c.transfers;
        EXPECT_EQ(m_sim.Counter("transfers"), transfers) << c.bytes;
    }
}

TEST_F(SimCable, StateOutlivesTheDriversUnload)
{
    Connect();
    DWORD written = 0;
    ASSERT_EQ(FT_OK, m_pCable->WriteBytes("kept", 4, &written));
    m_pCable->Close();
    ASSERT_FALSE(m_pCable->IsDriverLoaded());
    EXPECT_EQ("kept", m_sim.Written());
    EXPECT_EQ(1u, m_sim.Counter("closes"));
}

} // namespace
