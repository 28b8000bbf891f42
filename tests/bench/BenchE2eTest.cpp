// The service bench end to end: four simulated units on pseudo-terminals, the bench starting each
// unit as it is identified. One unit falls silent mid-run and one is unplugged mid-run; the other
// two verify. The rows say what happened, the history holds a record per run (face "bench", with
// its port) and the CSV export a row per channel.
#include "SimulatedUnit.h"

#include "GeneratedImage.h"
#include "app/bench/BenchWindow.h"
#include "device/UpdateRecord.h"
#include "platform/UpdateHistory.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

namespace {
constexpr int IMAGE_LINES = 300;
constexpr int UNPLUG_AT_LINE = 100;
constexpr int WAIT_MS = 90000;

bool WaitFor(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > WAIT_MS)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class BenchE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/kx-bench-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        m_image = m_dir + "/bench.fwr";
        std::ofstream(m_image, std::ios::binary) << GenerateImageText(IMAGE_LINES);
    }
    void TearDown() override { std::system(("rm -rf " + m_dir).c_str()); }

    std::string m_dir;
    std::string m_image;
};

TEST_F(BenchE2e, FourUnitsStartedAsIdentifiedEachEndAsTheirRowSays)
{
    CSimulatedUnit units[4];
    ASSERT_TRUE(units[0].Start({"--serial", "1001"}));
    ASSERT_TRUE(units[1].Start({"--serial", "1002"}));
    ASSERT_TRUE(units[2].Start({"--serial", "1003", "--silent-at", "150"}));
    units[3].UseOwnName(); // its name vanishes with it, as an unplugged cable's does
    // At the line's real speed, so that it is still mid-run when it is unplugged: unpaced, a
    // unit takes the rest of its lines before the test has seen the hundredth go.
    ASSERT_TRUE(units[3].Start({"--serial", "1004", "--baud-pace"}));

    CUpdateHistory history(m_dir + "/history.jsonl");
    CBenchWindow bench;
    bench.SetUpdateHistory(&history);
    bench.SetAutoStart(true);
    bench.SetImageFile(m_image);
    // The first named as a device path, as kestova-flash -p also takes it: shown by its name.
    bench.AddChannel("/dev/" + units[0].PortName());
    for (int i = 1; i < 4; ++i)
        bench.AddChannel(units[i].PortName());
    ASSERT_EQ(bench.ChannelCount(), 4);
    bench.show();

    using EState = CBenchRow::EState;
    ASSERT_TRUE(WaitFor([&] { return bench.RowAt(3).LinesSent() >= UNPLUG_AT_LINE; }))
        << bench.RowAt(3).StateText();
    units[3].Vanish();
    const bool bEnded = WaitFor([&] {
        for (int i = 0; i < 4; ++i) {
            if (!bench.RowAt(i).HasResult())
                return false;
        }
        return bench.RowAt(3).IsGone();
    });
    for (int i = 0; i < 4; ++i)
        SCOPED_TRACE(bench.RowAt(i).Sentence());
    ASSERT_TRUE(bEnded) << bench.RowAt(0).Sentence() << "\n"
                        << bench.RowAt(1).Sentence() << "\n"
                        << bench.RowAt(2).Sentence() << "\n"
                        << bench.RowAt(3).Sentence();

    EXPECT_EQ(bench.RowAt(0).Port(), units[0].PortName());
    EXPECT_EQ(bench.RowAt(0).StateText(), "verified 1.07");
    EXPECT_EQ(bench.RowAt(1).StateText(), "verified 1.07");
    EXPECT_EQ(bench.RowAt(0).ApplicationText(), "1.00 \u2192 1.07");
    EXPECT_EQ(bench.RowAt(2).State(), EState::Failed);
    EXPECT_EQ(bench.RowAt(2).StateText(), "failed at line 150 of 300: the unit fell silent");
    EXPECT_FALSE(bench.RowAt(2).Advice().empty());
    EXPECT_EQ(bench.RowAt(3).State(), EState::Failed);
    EXPECT_EQ(bench.RowAt(3).StateText().rfind("gone; failed at line ", 0), 0u)
        << bench.RowAt(3).StateText();
    EXPECT_FALSE(bench.RowAt(3).Advice().empty());
    EXPECT_EQ(bench.SummaryText(), "2 verified, 2 failed");
    // Every channel's milestones were told with its port.
    const std::vector<std::string>& told = bench.ToldMilestones();
    for (int i = 0; i < 4; ++i) {
        const std::string port = bench.RowAt(i).Port() + ": ";
        EXPECT_TRUE(std::any_of(told.begin(), told.end(), [&](const std::string& s) {
            return s.rfind(port, 0) == 0 && s.find(" sending") != std::string::npos;
        })) << port;
    }
    EXPECT_NE(std::find(told.begin(), told.end(),
                        bench.RowAt(0).Port() + ": kx410 serial 1001 verified, now 1.07"),
              told.end());

    HistoryContent content;
    std::string error;
    ASSERT_TRUE(LoadHistory(history, {}, content, error)) << error;
    const std::vector<UpdateRecord>& records = content.records;
    ASSERT_EQ(records.size(), 4u);
    int verified = 0;
    for (const UpdateRecord& record : records) {
        EXPECT_EQ(record.strFace, "bench");
        EXPECT_FALSE(record.strPort.empty());
        verified += record.result == RecordResult::Verified ? 1 : 0;
        if (record.strSerial == "1001") {
            EXPECT_EQ(record.strPort, units[0].PortName());
        }
        if (record.strSerial == "1003") {
            EXPECT_EQ(record.result, RecordResult::Failed);
            EXPECT_EQ(record.nLinesSent, 150);
        }
    }
    EXPECT_EQ(verified, 2);

    const std::string csv = m_dir + "/bench.csv";
    ASSERT_TRUE(bench.ExportCsv(csv));
    const std::string text = ReadAll(csv);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
    EXPECT_NE(
        text.find(",1003,2.08,1.00,,1.07,150,300,failed at line 150 of 300: the unit fell silent,"),
        std::string::npos)
        << text;
    bench.StopAll();
}
} // namespace
