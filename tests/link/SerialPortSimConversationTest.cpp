// The serial port link talking to kx410-sim the way the engine does: open, write the texts,
// take what arrives from the event loop.
#include "SimProcess.h"

#include "RecordedLinkEvents.h"
#include "link/SerialPortLink.h"
#include "unit/UnitSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>

TEST(SerialPortSimConversation, ProgramsTheSimulatedUnitThroughThePort)
{
    CSimProcess sim({"--baud-pace", "--garbage", "--serial", "4294967295"});
    ASSERT_TRUE(sim.IsStarted());
    CRecordedLinkEvents events;
    CSerialPortLink link(events);
    ASSERT_FALSE(link.Open(sim.SlavePath()));

    ASSERT_FALSE(link.Write("15EBaa"));
    PumpUntil([] { return false; }, 50); // the gap between the two wake-up texts
    ASSERT_FALSE(link.Write("16EAaa"));
    UnitIdentity id;
    id.serialNumber = 0xFFFFFFFFu;
    const std::string ident = UnitSimulator::IdentificationText(id);
    ASSERT_TRUE(PumpUntil([&] { return events.Received().find(ident) != std::string::npos; }));

    const std::string lines[] = {":020000040000FA", ":10000000aa0C9434000C9434000C9434000Caa",
                                 ":00000001FF"};
    ASSERT_FALSE(link.Write("A"));
    for (const std::string& line : lines) {
        events.m_chunks.clear();
        ASSERT_FALSE(link.Write(line + "aa"));
        ASSERT_TRUE(PumpUntil([&] { return events.Received().find('.') != std::string::npos; }))
            << line;
    }
    events.m_chunks.clear();
    ASSERT_FALSE(link.Write("C"));
    ASSERT_TRUE(PumpUntil([&] { return events.Received().find('C') != std::string::npos; }));
    EXPECT_TRUE(events.m_failures.empty());
    link.Close();
    EXPECT_EQ(sim.Stop(), 0);
}
