// The COM-port driver talking to kx410-sim the way the main dialog does: open, configure,
// write the texts, read on each notification.
#include "SimProcess.h"

#include "link/SerialWndObj.h"
#include "unit/UnitSimulator.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
constexpr DWORD READ_CHUNK_BYTES = 100;

// A window that reads the port on every notification, as the dialog's dispatch does.
class CReadingWindow : public QObject {
public:
    explicit CReadingWindow(CSerialLine& serial) : m_serial(serial) {}
    std::string m_strReceived;

protected:
    bool event(QEvent* e) override
    {
        const auto* message = AcceptWindowMessage(e);
        if (!message)
            return QObject::event(e);
        if ((message->m_wParam & 0xFFFF & EV_RXCHAR) == 0)
            return true;
        char buffer[READ_CHUNK_BYTES];
        DWORD got = 0;
        do {
            if (m_serial.ReadBytes(buffer, sizeof buffer, &got) != 0)
                break;
            m_strReceived.append(buffer, got);
        } while (got == sizeof buffer);
        return true;
    }

private:
    CSerialLine& m_serial;
};

bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}
} // namespace

TEST(SerialSimConversation, ProgramsTheSimulatedUnitThroughThePort)
{
    CSimProcess sim({"--baud-pace", "--garbage", "--serial", "4294967295"});
    ASSERT_TRUE(sim.IsStarted());
    CSerialWndObj serial;
    CReadingWindow window(serial);
    ASSERT_EQ(serial.OpenPort(sim.SlavePath().c_str(), &window, 0, 0, 0, 0), 0u);
    ASSERT_EQ(serial.ConfigureLine(9600, 8, NOPARITY, ONESTOPBIT), 0u);
    ASSERT_EQ(serial.SetFlowControl(FlowNone), 0u);

    ASSERT_EQ(serial.WriteText("15EBaa", nullptr, nullptr, INFINITE), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(serial.WriteText("16EAaa", nullptr, nullptr, INFINITE), 0u);
    UnitIdentity id;
    id.serialNumber = 0xFFFFFFFFu;
    const std::string ident = UnitSimulator::IdentificationText(id);
    ASSERT_TRUE(PumpUntil([&] { return window.m_strReceived.find(ident) != std::string::npos; }));

    const std::string lines[] = {":020000040000FA", ":10000000aa0C9434000C9434000C9434000Caa",
                                 ":00000001FF"};
    serial.WriteText("A");
    for (const std::string& line : lines) {
        window.m_strReceived.clear();
        ASSERT_EQ(serial.WriteText((line + "aa").c_str()), 0u);
        ASSERT_TRUE(PumpUntil([&] { return window.m_strReceived.find('.') != std::string::npos; }))
            << line;
    }
    window.m_strReceived.clear();
    serial.WriteText("C");
    ASSERT_TRUE(PumpUntil([&] { return window.m_strReceived.find('C') != std::string::npos; }));
    EXPECT_EQ(serial.ClosePort(), 0u);
    EXPECT_EQ(sim.Stop(), 0);
}
