// The history record of a programming run, made by the engine itself: a simulated unit behind
// a stand-in link, time on a fake clock, the record read back from the history file.
#include "FakeEngineClock.h"
#include "UnitSimulator.h"
#include "device/EngineEvents.h"
#include "device/UpdateEngine.h"
#include "device/UpdateRecord.h"
#include "platform/UpdateHistory.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>

namespace {

const char* const PORT = "/dev/ttyKX0";

// The unit's side of the link: what the engine writes reaches the simulator, whose replies wait
// until the test delivers them. Opening the link again is switching the unit on again.
class CSimLink : public ILink {
public:
    CSimLink(UnitSimulator& unit, std::deque<std::string>& pending) : m_unit(unit), m_pending(pending) {}
    LinkError Open(const std::string&) override
    {
        m_bOpen = true;
        m_unit.Restart();
        m_pending.clear();
        return {};
    }
    void Close() override { m_bOpen = false; }
    LinkError Write(std::string_view bytes) override
    {
        for (const auto& reply : m_unit.Receive(bytes))
            m_pending.push_back(reply.text);
        return {};
    }
    bool IsOpen() const override { return m_bOpen; }

private:
    UnitSimulator& m_unit;
    std::deque<std::string>& m_pending;
    bool m_bOpen = false;
};

class CRunFace : public IEngineEvents {
public:
    void OnProgress(const RunProgress& progress) override
    {
        if (nInterruptAt > 0 && progress.nBar == nInterruptAt)
            pEngine->InterruptProgramming();
    }
    void OnRunEnded(const UpdateOutcome&) override { ++nEnded; }

    CUpdateEngine* pEngine = nullptr;
    int nInterruptAt = 0;
    int nEnded = 0;
};

// 2024-05-01T09:30:12Z
const std::chrono::system_clock::time_point RUN_TIME{std::chrono::seconds(1714555812)};

class UpdateRecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        history = std::make_unique<CUpdateHistory>(dir.filePath("state/kestova/history.jsonl").toStdString());
        auto pClock = std::make_unique<CFakeEngineClock>();
        clock = pClock.get();
        engine = std::make_unique<CUpdateEngine>(face, std::move(pClock));
        face.pEngine = engine.get();
        engine->SetLinkFactory([this](LinkKind, ILinkEvents& events) {
            pLinkEvents = &events;
            return std::unique_ptr<ILink>(std::make_unique<CSimLink>(unit, pending));
        });
        SystemRoots roots;
        roots.proc = dir.path().toStdString();
        engine->SetSystemRoots(roots);
        engine->SetUpdateHistory(history.get(), "window", [] { return RUN_TIME; });
    }

    // Delivers what the unit said, and lets time run to the next deadline when it is silent,
    // until `done` holds (false when it never did).
    template <typename Done>
    bool Pump(Done done, int nSteps = 5000)
    {
        for (int i = 0; i < nSteps && !done(); ++i) {
            if (!pending.empty()) {
                const std::string text = pending.front();
                pending.pop_front();
                pLinkEvents->OnLinkBytes(text);
            } else if (!clock->FireNext()) {
                return false;
            }
        }
        return done();
    }

    std::vector<UpdateRecord> Records() const
    {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(history->ReadLines(lines, error)) << error;
        std::vector<UpdateRecord> records(lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(ParseRecordJson(lines[i], records[i])) << lines[i];
        return records;
    }

    // The unit is identified, the sample image loaded and sent.
    void StartRun()
    {
        engine->ChoosePort(PORT);
        engine->ConnectChosenPort();
        ASSERT_TRUE(Pump([this] { return engine->State() == EngineState::Identified; }));
        ASSERT_TRUE(engine->LoadImageFile(KX410_SAMPLE_IMAGE));
        engine->StartProgramming();
    }

    QTemporaryDir dir;
    std::unique_ptr<CUpdateHistory> history;
    UnitSimulator unit;
    std::deque<std::string> pending;
    CRunFace face;
    CFakeEngineClock* clock = nullptr;
    std::unique_ptr<CUpdateEngine> engine;
    ILinkEvents* pLinkEvents = nullptr; // where the link delivers what the unit says
};

struct RunCase {
    const char* name;
    int nSilentAt;    // the unit falls silent at this data line
    int nInterruptAt; // the user stops the run once this many lines went out
    bool bMuteAtFinish;
    RecordResult result;
    int nLinesSent;
    const char* appAfter; // empty: the unit was not identified again
};

TEST_F(UpdateRecordTest, EachWayARunEndsIsRecordedOnceWithItsFacts)
{
    const RunCase cases[] = {
        {"verified", 0, 0, false, RecordResult::Verified, 41, "1.07"},
        {"failed", 7, 0, false, RecordResult::Failed, 7, ""},
        {"interrupted", 0, 3, false, RecordResult::Interrupted, 3, ""},
        {"finished, never back", 0, 0, true, RecordResult::Finished, 41, ""},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        engine.reset();
        pending.clear();
        QFile::remove(QString::fromStdString(history->Path()));
        unit = UnitSimulator();
        SetUp();
        if (c.nSilentAt > 0)
            unit.FallSilentAtLine(c.nSilentAt);
        unit.SetMuteAtFinish(c.bMuteAtFinish);
        face.nInterruptAt = c.nInterruptAt;
        StartRun();
        // A verified run ends with the check after the reboot; the others with the run itself,
        // or (a unit that never answers "C") with the silence after it.
        ASSERT_TRUE(Pump([&] { return !Records().empty(); }));
        // More time changes nothing: the unit is back and talks, or the link waits.
        Pump([] { return false; }, 400);
        engine.reset();
        const std::vector<UpdateRecord> records = Records();
        ASSERT_EQ(records.size(), 1u);
        const UpdateRecord& r = records[0];
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.nLinesSent, c.nLinesSent);
        EXPECT_EQ(r.nTotalLines, 41);
        EXPECT_EQ(r.strTime, "2024-05-01T09:30:12Z");
        EXPECT_EQ(r.strFace, "window");
        EXPECT_EQ(r.strModel, "kx410");
        EXPECT_EQ(r.strSerial, "12345");
        EXPECT_EQ(r.strLoaderBefore, "2.08");
        EXPECT_EQ(r.strAppBefore, "1.00");
        EXPECT_EQ(r.strAppAfter, c.appAfter);
        EXPECT_EQ(r.strImageVersion, "1.07");
        EXPECT_EQ(r.strImageSource, KX410_SAMPLE_IMAGE);
        // The sentence the user was shown, on one line, without the notice's button.
        EXPECT_FALSE(r.strText.empty());
        EXPECT_EQ(r.strText.find_first_of("\n"), std::string::npos) << r.strText;
        EXPECT_EQ(r.strText.find("Press OK"), std::string::npos) << r.strText;
        if (c.result == RecordResult::Failed) {
            EXPECT_EQ(RecordResultText(r), "failed at line 7");
        }
    }
}

TEST_F(UpdateRecordTest, AProgramThatEndsMidRunRecordsItInterruptedAtItsLine)
{
    StartRun();
    ASSERT_TRUE(Pump([this] { return engine->LinesLeft() == 41 - 5; }));
    engine->Shutdown();
    engine.reset();
    const std::vector<UpdateRecord> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, RecordResult::Interrupted);
    EXPECT_EQ(records[0].nLinesSent, 5);
    EXPECT_EQ(records[0].strText, "Stopped at once after line 5 of 41. The kx410 must be updated again before it is used.");
}

TEST_F(UpdateRecordTest, AnUnwritableHistoryIsSaidOnceAndTheUpdateGoesOn)
{
    // The history's folder is a file: nothing can be created under it.
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CUpdateHistory blocked(dir.filePath("blocked/kestova/history.jsonl").toStdString());
    std::vector<std::string> said;
    blocked.SetUnwritableHandler([&said](const std::string& text) { said.push_back(text); });
    engine->SetUpdateHistory(&blocked, "kestova-flash");
    StartRun();
    ASSERT_TRUE(Pump([this] { return face.nEnded == 1; }));
    engine->StartProgramming();
    ASSERT_TRUE(Pump([this] { return face.nEnded == 2; }));
    engine.reset();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("history"), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("Not a directory"), std::string::npos) << said[0];
}

TEST(UpdateHistoryFile, ARecordAfterACutLineStartsALineOfItsOwn)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("history.jsonl").toStdString();
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\"time\":\"2024-01-01T00:00:00Z\",\"res");
    }
    CUpdateHistory history(path);
    UpdateRecord record;
    record.strSerial = "12345";
    record.result = RecordResult::Verified;
    ASSERT_TRUE(history.Append(RecordJson(record)));
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(history.ReadLines(lines, error));
    ASSERT_EQ(lines.size(), 2u);
    UpdateRecord back;
    EXPECT_FALSE(ParseRecordJson(lines[0], back));
    ASSERT_TRUE(ParseRecordJson(lines[1], back));
    EXPECT_EQ(back, record);
}

} // namespace
