// The bench's rows as a table of what happened on a channel and what the row then says: its
// state in words, the advice of a failed row, the sentence read aloud and the milestone told;
// the summary line and the CSV export over several rows.
#include "app/bench/BenchRow.h"
#include "app/bench/BenchCsv.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {
const DeviceIdentity UNIT{"kx410", "0208", "0100", "12345"};
const DeviceIdentity UNIT_NEW{"kx410", "0208", "0107", "12345"};
const DeviceIdentity OTHER{"kx410", "0208", "0100", "777"};

UpdateOutcome Outcome(UpdateResult result, int nSent, int nTotal = 1500)
{
    UpdateOutcome outcome;
    outcome.result = result;
    outcome.nLinesSent = nSent;
    outcome.nTotalLines = nTotal;
    outcome.strImageVersion = "0107";
    return outcome;
}

// A unit identified with a 1,500-line image for version 1.07 that suits it.
void Ready(CBenchRow& row)
{
    row.Identified(UNIT);
    row.ImageSuits("0107", 1500);
}

void Sending(CBenchRow& row, int nSent)
{
    Ready(row);
    row.RunStarted(1500);
    row.Progress(nSent);
}

struct Case {
    const char* name;
    std::function<void(CBenchRow&)> steps;
    const char* state;
    const char* milestone;
    bool bAdvice;
};

TEST(BenchRow, SaysEachStateInWords)
{
    const Case cases[] = {
        {"nothing yet", [](CBenchRow&) {}, "waiting for a unit", "", false},
        {"identified", Ready, "identified", "ttyUSB3: kx410 serial 12345 identified, runs 1.00",
         false},
        {"sending", [](CBenchRow& r) { Sending(r, 645); }, "sending 43 %",
         "ttyUSB3: kx410 serial 12345 sending", false},
        {"checking",
         [](CBenchRow& r) {
             Sending(r, 1499);
             r.RunFinished();
         },
         "checking after the reboot", "", false},
        {"verified",
         [](CBenchRow& r) {
             Sending(r, 1499);
             r.RunFinished();
             r.Identified(UNIT_NEW);
             r.RunEnded(Outcome(UpdateResult::Verified, 1500));
         },
         "verified 1.07", "ttyUSB3: kx410 serial 12345 verified, now 1.07", false},
        {"fell silent",
         [](CBenchRow& r) {
             Sending(r, 326);
             r.RunEnded(Outcome(UpdateResult::Silent, 326));
         },
         "failed at line 326 of 1500: the unit fell silent",
         "ttyUSB3: kx410 serial 12345 failed at line 326 of 1500: the unit fell silent", true},
        {"corrupt line",
         [](CBenchRow& r) {
             Sending(r, 10);
             r.RunEnded(Outcome(UpdateResult::Corrupt, 11));
         },
         "failed at line 11 of 1500: the unit reported a corrupt line",
         "ttyUSB3: kx410 serial 12345 failed at line 11 of 1500: the unit reported a corrupt line",
         true},
        {"stopped",
         [](CBenchRow& r) {
             Sending(r, 200);
             r.RunEnded(Outcome(UpdateResult::Interrupted, 201));
         },
         "stopped", "ttyUSB3: kx410 serial 12345 stopped", true},
        {"current",
         [](CBenchRow& r) {
             r.Identified(UNIT_NEW);
             r.ImageSuits("0107", 1500);
             r.SkippedAsCurrent();
         },
         "already runs 1.07", "ttyUSB3: kx410 serial 12345 already runs 1.07", false},
        {"unsuitable",
         [](CBenchRow& r) {
             r.Identified(UNIT);
             r.ImageRefused("The selected firmware is not suitable for your kx410");
         },
         "not suitable for your kx410", "ttyUSB3: kx410 serial 12345 not suitable for your kx410",
         true},
        {"came back old",
         [](CBenchRow& r) {
             Sending(r, 1499);
             r.RunFinished();
             r.Identified(UNIT);
             r.RunEnded(Outcome(UpdateResult::NotVerified, 1500));
         },
         "not verified: it runs 1.00", "ttyUSB3: kx410 serial 12345 not verified: it runs 1.00",
         true},
        {"unplugged idle",
         [](CBenchRow& r) {
             Ready(r);
             r.SetGone(true);
         },
         "gone", "ttyUSB3: gone", false},
        {"unplugged mid-run: the run's failure says so",
         [](CBenchRow& r) {
             Sending(r, 700);
             r.SetGone(true);
             r.RunEnded(Outcome(UpdateResult::Silent, 700));
         },
         "gone; failed at line 700 of 1500: the cable was unplugged",
         "ttyUSB3: gone; failed at line 700 of 1500: the cable was unplugged", true},
        {"unplugged while restarting",
         [](CBenchRow& r) {
             Sending(r, 1499);
             r.RunFinished();
             r.SetGone(true);
         },
         "gone; not verified: the cable was unplugged while it restarted",
         "ttyUSB3: gone; not verified: the cable was unplugged while it restarted", true},
        {"failed unit identified again keeps its result",
         [](CBenchRow& r) {
             Sending(r, 326);
             r.RunEnded(Outcome(UpdateResult::Silent, 326));
             r.Identified(UNIT);
         },
         "failed at line 326 of 1500: the unit fell silent", nullptr, true},
        {"another unit on the channel starts afresh",
         [](CBenchRow& r) {
             Sending(r, 326);
             r.RunEnded(Outcome(UpdateResult::Silent, 326));
             r.Identified(OTHER);
         },
         "identified", "ttyUSB3: kx410 serial 777 identified, runs 1.00", false},
        {"the same unit re-plugged starts afresh",
         [](CBenchRow& r) {
             Sending(r, 326);
             r.RunEnded(Outcome(UpdateResult::Silent, 326));
             r.SetGone(true);
             r.SetGone(false);
             r.Identified(UNIT);
         },
         "identified", nullptr, false},
    };
    for (const Case& c : cases) {
        CBenchRow row("ttyUSB3");
        c.steps(row);
        EXPECT_EQ(row.StateText(), c.state) << c.name;
        if (c.milestone != nullptr) {
            EXPECT_EQ(row.Milestone(), c.milestone) << c.name;
        }
        EXPECT_EQ(!row.Advice().empty(), c.bAdvice) << c.name << ": " << row.Advice();
        // Read aloud, the row names its port, its unit and its state in one sentence.
        EXPECT_EQ(row.Sentence().rfind("ttyUSB3: ", 0), 0u) << c.name;
        EXPECT_NE(row.Sentence().find(c.state), std::string::npos) << c.name;
    }
}

TEST(BenchRow, StartsOnlyWhatItMay)
{
    CBenchRow waiting("a");
    EXPECT_FALSE(waiting.CanStart());
    CBenchRow ready("b");
    Ready(ready);
    EXPECT_TRUE(ready.CanStart());
    // Identified for the first time: a unit to start; identified again after its failure: not
    // started again by itself.
    CBenchRow failed("c");
    EXPECT_TRUE(failed.Identified(UNIT));
    failed.ImageSuits("0107", 1500);
    failed.RunStarted(1500);
    failed.RunEnded(Outcome(UpdateResult::Silent, 3));
    EXPECT_FALSE(failed.Identified(UNIT));
    EXPECT_TRUE(failed.CanStart()) << "Update All tries a failed unit again";
    failed.SetGone(true);
    EXPECT_FALSE(failed.CanStart());
    failed.SetGone(false);
    EXPECT_TRUE(failed.Identified(UNIT)) << "re-plugged: a unit to start afresh";
    CBenchRow refused("d");
    refused.Identified(UNIT);
    refused.ImageRefused("The selected firmware is not suitable for your kx410");
    EXPECT_FALSE(refused.CanStart());
}

TEST(BenchRow, SummarisesAndExportsTheBench)
{
    std::vector<CBenchRow> rows;
    for (int i = 0; i < 9; ++i)
        rows.emplace_back("ttyUSB" + std::to_string(i));
    for (int i = 0; i < 6; ++i) {
        Sending(rows[i], 1499);
        rows[i].RunFinished();
        rows[i].Identified(UNIT_NEW);
        rows[i].RunEnded(Outcome(UpdateResult::Verified, 1500));
        rows[i].Identified(UNIT_NEW); // once more, after the check: the row keeps its "before"
    }
    Sending(rows[6], 326);
    rows[6].RunEnded(Outcome(UpdateResult::Silent, 326));
    std::vector<const CBenchRow*> view;
    for (const CBenchRow& row : rows)
        view.push_back(&row);
    EXPECT_EQ(BenchSummary(view), "6 verified, 1 failed, 2 waiting");
    EXPECT_EQ(BenchSummary({}), "no units");

    const std::string csv = BenchCsv({&rows[0], &rows[6], &rows[7]});
    EXPECT_EQ(csv,
              "port,model,serial,loader,application_before,application_after,image_version,"
              "lines_sent,lines_total,result,advice\r\n"
              "ttyUSB0,kx410,12345,2.08,1.00,1.07,1.07,1500,1500,verified 1.07,\r\n"
              "ttyUSB6,kx410,12345,2.08,1.00,,1.07,326,1500,failed at line 326 of 1500: the unit "
              "fell silent,\"Check the kx410's power and cable, then update it again; it must be "
              "updated before it is used.\"\r\n"
              "ttyUSB7,,,,,,,,,waiting for a unit,\r\n");
    EXPECT_EQ(CsvField("say \"hi\"\nthere"), "\"say \"\"hi\"\"\nthere\"");
    EXPECT_EQ(CsvField("=cmd()"), "'=cmd()");
}
} // namespace
