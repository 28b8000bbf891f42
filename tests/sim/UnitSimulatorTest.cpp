// The simulated unit's side of the conversation: its identification text read back the way
// the downloader reads it, the acknowledgement of each line, and the failure modes.
#include "unit/UnitSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace {
struct ParsedIdentity {
    std::string model;
    std::string loaderVersion;
    std::string appVersion;
    std::string serialNumber;
};

// Reads an identification text by its positions, counted from 0 at the leading ".".
ParsedIdentity ParseIdentification(const std::string& text)
{
    ParsedIdentity parsed;
    const std::string productId = text.substr(17, 4);
    parsed.model = productId == "0410" ? "kx410" : productId;
    parsed.loaderVersion = text.substr(9, 4);
    parsed.appVersion = text.substr(13, 4);
    const std::string hex = text.substr(25, 4) + text.substr(21, 4);
    const auto value = static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
    parsed.serialNumber = std::to_string(static_cast<std::int32_t>(value));
    return parsed;
}

const char* const DATA_LINE = ":100000000C9434000C9434000C9434000C943400AA";

std::vector<std::string> Texts(const std::vector<UnitSimulator::Reply>& replies)
{
    std::vector<std::string> texts;
    for (const UnitSimulator::Reply& reply : replies)
        texts.push_back(reply.text);
    return texts;
}

// A unit that has been woken and has received its first "A".
UnitSimulator ProgrammingUnit()
{
    UnitSimulator unit;
    unit.Receive("15EBaa");
    unit.Receive("16EAaa");
    unit.Receive("A");
    return unit;
}

using Texts_t = std::vector<std::string>;
} // namespace

class IdentificationSerialTest
    : public ::testing::TestWithParam<std::pair<std::uint32_t, std::string>> {};

TEST_P(IdentificationSerialTest, ReadsBackToTheChosenIdentity)
{
    UnitIdentity id;
    id.serialNumber = GetParam().first;
    const std::string text = UnitSimulator::IdentificationText(id);
    EXPECT_EQ(text.front(), '.');
    EXPECT_EQ(std::count(text.begin(), text.end(), '.'), 1);
    EXPECT_GE(text.size(), 67u);
    EXPECT_LE(text.size(), 79u);
    const ParsedIdentity parsed = ParseIdentification(text);
    EXPECT_EQ(parsed.serialNumber, GetParam().second);
    EXPECT_EQ(parsed.model, "kx410");
    EXPECT_EQ(parsed.loaderVersion, "0208");
    EXPECT_EQ(parsed.appVersion, "0100");
}

INSTANTIATE_TEST_SUITE_P(Serials, IdentificationSerialTest,
                         ::testing::Values(std::make_pair(1u, std::string("1")),
                                           std::make_pair(65536u, std::string("65536")),
                                           std::make_pair(0xFFFFFFFFu, std::string("-1")),
                                           std::make_pair(0x80000000u, std::string("-2147483648")),
                                           std::make_pair(0x12AB34CDu, std::string("313210061"))));

TEST(UnitSimulator, IdentificationCarriesVersionsAndAnotherProduct)
{
    UnitIdentity id;
    id.productId = "0999";
    id.loaderMajor = 12;
    id.loaderMinor = 34;
    id.appMajor = 3;
    id.appMinor = 7;
    const ParsedIdentity parsed = ParseIdentification(UnitSimulator::IdentificationText(id));
    EXPECT_EQ(parsed.model, "0999");
    EXPECT_EQ(parsed.loaderVersion, "1234");
    EXPECT_EQ(parsed.appVersion, "0307");
}

TEST(UnitSimulator, AnswersTheWakeUpOnlyWhenBothTextsCameInOrder)
{
    UnitSimulator unit;
    EXPECT_TRUE(unit.Receive("16EAaa").empty());
    EXPECT_TRUE(unit.Receive("15EBaa").empty());
    const auto replies = unit.Receive("16EAaa");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].text, UnitSimulator::IdentificationText({}));
    EXPECT_EQ(replies[0].delayMs, 0);

    // The two texts in one piece, or cut anywhere, are the same wake-up.
    UnitSimulator merged;
    EXPECT_EQ(merged.Receive("15EBaa16EAaa").size(), 1u);
    UnitSimulator pieces;
    EXPECT_TRUE(pieces.Receive("15E").empty());
    EXPECT_TRUE(pieces.Receive("Baa16").empty());
    EXPECT_EQ(pieces.Receive("EAaa").size(), 1u);
    EXPECT_EQ(pieces.CountReceived("15EBaa"), 1);
    EXPECT_EQ(pieces.CountReceived("16EAaa"), 1);
}

TEST(UnitSimulator, GarbageComesBeforeTheIdentification)
{
    UnitSimulator unit;
    unit.SetGarbageBeforeIdentification(true);
    const auto replies = unit.Receive("15EBaa16EAaa");
    ASSERT_EQ(replies.size(), 2u);
    const std::string& junk = replies[0].text;
    EXPECT_FALSE(junk.empty());
    EXPECT_TRUE(std::all_of(junk.begin(), junk.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte >= 0x7F;
    }));
    EXPECT_EQ(replies[1].text, UnitSimulator::IdentificationText({}));
}

TEST(UnitSimulator, KeepsTalkingWhileIdentified)
{
    UnitSimulator unit;
    EXPECT_TRUE(unit.Receive("A").empty()); // not awake yet
    unit.Receive("15EBaa16EAaa");
    for (const char* text : {"A", "AA", "B"}) {
        const auto replies = unit.Receive(text);
        ASSERT_EQ(replies.size(), 1u) << text;
        EXPECT_EQ(replies[0].text.find_first_of("./"), std::string::npos);
        EXPECT_GE(replies[0].delayMs, 50);
    }
    EXPECT_EQ(unit.CountReceived("A"), 4);
    EXPECT_EQ(unit.CountReceived("B"), 1);
}

TEST(UnitSimulator, AcknowledgesEachDataLineAtItsFinalLineEnd)
{
    UnitSimulator unit = ProgrammingUnit();
    EXPECT_EQ(Texts(unit.Receive(std::string(DATA_LINE) + "aa")), Texts_t{"."});
    // A line that itself contains and ends in "aa": it ends at the last "aa".
    EXPECT_EQ(Texts(unit.Receive(":10aa0aaaa")), Texts_t{"."});
    // A line in pieces is answered once, when its end has come.
    EXPECT_TRUE(unit.Receive(":0400").empty());
    EXPECT_TRUE(unit.Receive("00aa11").empty());
    EXPECT_EQ(Texts(unit.Receive("22aa")), Texts_t{"."});
    EXPECT_EQ(unit.DataLines(),
              (Texts_t{DATA_LINE, ":10aa0aa", ":040000aa1122"}));
    EXPECT_EQ(unit.CountReceived(DATA_LINE), 1);
}

TEST(UnitSimulator, ReportsACorruptLineWhereAsked)
{
    UnitSimulator unit = ProgrammingUnit();
    unit.ReportCorruptAtLine(2);
    EXPECT_EQ(Texts(unit.Receive(":01aa")), Texts_t{"."});
    EXPECT_EQ(Texts(unit.Receive(":02aa")), Texts_t{"/"});
    EXPECT_EQ(Texts(unit.Receive(":03aa")), Texts_t{"."});
}

TEST(UnitSimulator, FallsSilentFromTheChosenLineUntilTheNextWakeUp)
{
    UnitSimulator unit = ProgrammingUnit();
    unit.FallSilentAtLine(2);
    EXPECT_EQ(Texts(unit.Receive(":01aa")), Texts_t{"."});
    EXPECT_TRUE(unit.Receive(":02aa").empty());
    EXPECT_TRUE(unit.Receive(":03aa").empty());
    EXPECT_TRUE(unit.Receive("A").empty());
    EXPECT_TRUE(unit.Receive("C").empty());
    EXPECT_FALSE(unit.SentFinish());

    // A new wake-up starts over, and the new run counts its lines from 1 again.
    EXPECT_EQ(unit.Receive("15EBaa16EAaa").size(), 1u);
    unit.Receive("A");
    EXPECT_EQ(Texts(unit.Receive(":01aa")), Texts_t{"."});
    EXPECT_TRUE(unit.Receive(":02aa").empty());
    EXPECT_EQ(unit.DataLines().size(), 4u);
}

TEST(UnitSimulator, AnswersFinishOnceAndRecordsEverything)
{
    UnitSimulator unit = ProgrammingUnit();
    unit.Receive(":01aa");
    const auto replies = unit.Receive("C");
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].text, "C");
    EXPECT_GE(replies[0].delayMs, 50);
    EXPECT_TRUE(unit.SentFinish());
    EXPECT_TRUE(unit.Receive("C").empty());
    EXPECT_TRUE(unit.Receive("A").empty());
    EXPECT_EQ(unit.CountReceived("C"), 2);
    EXPECT_EQ(unit.ReceivedBytes(), "15EBaa16EAaaA:01aaCCA");
}

TEST(UnitSimulator, DeafToTheWakeUpInItsBootloaderWhenAsked)
{
    UnitSimulator unit;
    unit.SetWakeInLoader(false);
    ASSERT_EQ(unit.Receive("15EBaa16EAaa").size(), 1u);
    EXPECT_TRUE(unit.Receive("15EBaa16EAaa").empty()) << "identified: the wake-up goes unheard";
    ASSERT_EQ(unit.Receive("C").size(), 1u); // "C" lets it go
    EXPECT_EQ(unit.Receive("15EBaa16EAaa").size(), 1u);
    unit.Restart(); // switched off and on
    EXPECT_EQ(unit.Receive("15EBaa16EAaa").size(), 1u);
}
