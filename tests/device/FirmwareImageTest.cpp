// Checking firmware images: header lines out, product id and end record, the status lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/FirmwareImage.h"

namespace {

using Lines = std::vector<std::string>;

const std::string NOT_SUITABLE = "The selected firmware is not suitable for your kx410";
const std::string READY = "Ready to update your kx410. Press send.";

FirmwareImage MakeImage(const Lines& lines)
{
    FirmwareImage image;
    image.m_lines.assign(lines.begin(), lines.end());
    return image;
}

Lines DataLines(const FirmwareImage& image)
{
    return Lines(image.m_lines.begin(), image.m_lines.end());
}

TEST(CheckImage, AcceptsAWellFormedImageWithTheStatusLinesInOrder)
{
    FirmwareImage image = MakeImage({"VER:0105", "PID:0410", "INFO:Faster servo response",
                                     ":10000000AABB", ":00000001FF19"});
    const ImageVerdict verdict = CheckImage(image, "kx410");
    EXPECT_TRUE(verdict.bAccepted);
    EXPECT_EQ(verdict.logLines,
              (Lines{"The following firmware was found for your kx410: Ver 1.05",
                     "Version Notes: Faster servo response", READY}));
    EXPECT_EQ(DataLines(image), (Lines{":10000000AABB", ":00000001FF19"}));
    EXPECT_EQ(image.m_version.value_or(""), "0105");
    EXPECT_EQ(image.m_nTotalLines, 0) << "the dialog sets the total";
    EXPECT_FALSE(image.m_bFromWeb);
}

TEST(CheckImage, HeaderLinesAnywhereAreTakenOutAndDataKeepsItsOrder)
{
    FirmwareImage image = MakeImage({"D1", "INFO:notes", "D2", "xxVER:0210", "D3",
                                     "the PID:0410", "E019"});
    const ImageVerdict verdict = CheckImage(image, "kx410");
    ASSERT_TRUE(verdict.bAccepted);
    EXPECT_EQ(DataLines(image), (Lines{"D1", "D2", "D3", "E019"}));
    EXPECT_EQ(image.m_version.value_or(""), "0210");
    EXPECT_EQ(verdict.logLines.front(), "The following firmware was found for your kx410: Ver 2.10");
}

TEST(CheckImage, EmptyLinesAnywhereAreRemovedBeforeTheEndRecordIsSought)
{
    FirmwareImage image =
        MakeImage({"", "PID:0410", "", "D1", "", "D2 19", "", "", ""});
    EXPECT_TRUE(CheckImage(image, "kx410").bAccepted);
    EXPECT_EQ(DataLines(image), (Lines{"D1", "D2 19"}));

    FirmwareImage blanksOnly = MakeImage({"", "", "PID:0410", " "});
    EXPECT_FALSE(CheckImage(blanksOnly, "kx410").bAccepted) << "a blank is not an empty line";
}

TEST(CheckImage, ProductIdIsTheLastFourCharactersAndMustBe0410)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"PID:0410", true},    {"PID: 0410 ", false}, {"product PID:xx0410", true},
        {"PID:0411", false},   {"PID:", false},       {"PID:410", false},
    };
    for (const auto& [pidLine, bAccepted] : cases) {
        FirmwareImage image = MakeImage({pidLine, "D19"});
        const ImageVerdict verdict = CheckImage(image, "kx410");
        EXPECT_EQ(verdict.bAccepted, bAccepted) << pidLine;
        if (!bAccepted) {
            EXPECT_EQ(verdict.logLines, Lines{NOT_SUITABLE}) << pidLine;
        }
    }
    FirmwareImage noPid = MakeImage({"VER:0100", "D19"});
    EXPECT_EQ(CheckImage(noPid, "kx410").logLines, Lines{NOT_SUITABLE});
}

TEST(CheckImage, EndRecordNeeds19WithinTheLastFourCharacters)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {":0000001900", true}, {":00000019x", true}, {":000000xx19", true},
        {"19", true},          {"9", false},         {":0019xxx", false},
        {":00000001FF", false},
    };
    for (const auto& [lastLine, bAccepted] : cases) {
        FirmwareImage image = MakeImage({"PID:0410", ":10AA", lastLine});
        EXPECT_EQ(CheckImage(image, "kx410").bAccepted, bAccepted) << lastLine;
    }
    FirmwareImage noData = MakeImage({"PID:0410", "VER:0119", "INFO:ends in 19"});
    const ImageVerdict verdict = CheckImage(noData, "kx410");
    EXPECT_FALSE(verdict.bAccepted);
    EXPECT_EQ(verdict.logLines, Lines{NOT_SUITABLE});
    EXPECT_TRUE(noData.m_lines.empty());
}

TEST(CheckImage, WithoutVersionLineAnnounces000AndNamesNone)
{
    FirmwareImage image = MakeImage({"PID:0410", "D19"});
    image.m_version = "0307";
    const ImageVerdict verdict = CheckImage(image, "kx410");
    ASSERT_TRUE(verdict.bAccepted);
    EXPECT_EQ(verdict.logLines,
              (Lines{"The following firmware was found for your kx410: Ver 0.00", READY}));
    EXPECT_FALSE(image.m_version.has_value());
}

TEST(CheckImage, VersionDigitsAreReadAsLeadingDecimalDigits)
{
    FirmwareImage image = MakeImage({"VER:1a5x", "PID:0410", "D19"});
    EXPECT_EQ(CheckImage(image, "kx410").logLines.front(),
              "The following firmware was found for your kx410: Ver 1.05");
    EXPECT_EQ(image.m_version.value_or(""), "1a5x");
}

TEST(CheckImage, RefusedForAnotherModelAndForControlBytesInTheData)
{
    struct Case {
        Lines lines;
        std::string model;
        std::string line;           // the one status line logged
        std::size_t nControlLine;   // the line named in the support log
    };
    const std::string nul("\0", 1);
    const Case cases[] = {
        {{"PID:0410", "D19"}, "0520", "The selected firmware is not suitable for your 0520", 0},
        {{"PID:0410", ":1001" + nul + "30003", "D19"}, "kx410", NOT_SUITABLE, 2},
        {{"VER:0107", "PID:0410", "", ":10\x01", "D\t19"}, "kx410", NOT_SUITABLE, 4},
        {{"INFO:tab\there", "PID:0410", ":10\x7f", "D19"}, "kx410", NOT_SUITABLE, 3},
    };
    for (const Case& c : cases) {
        FirmwareImage image = MakeImage(c.lines);
        const ImageVerdict verdict = CheckImage(image, c.model);
        EXPECT_FALSE(verdict.bAccepted) << c.line;
        EXPECT_EQ(verdict.logLines, Lines{c.line});
        EXPECT_EQ(verdict.nControlByteLine, c.nControlLine);
    }
}

TEST(CheckImage, TagsAreCaseSensitive)
{
    FirmwareImage image = MakeImage({"pid:0410", "PID:0410", "ver:0101", "D19"});
    ASSERT_TRUE(CheckImage(image, "kx410").bAccepted);
    EXPECT_EQ(DataLines(image), (Lines{"pid:0410", "ver:0101", "D19"}));
}

TEST(CheckImageDuplicatedTags, AdjacentDuplicatesAreAllRemovedAndTheTopmostGivesTheValue)
{
    FirmwareImage image = MakeImage({"D0", "VER:0101", "VER:0202", "PID:0410", "PID:0999",
                                     "INFO:first", "INFO:second", "D19"});
    const ImageVerdict verdict = CheckImage(image, "kx410");
    ASSERT_TRUE(verdict.bAccepted);
    EXPECT_EQ(DataLines(image), (Lines{"D0", "D19"}));
    EXPECT_EQ(image.m_version.value_or(""), "0101");
    EXPECT_EQ(verdict.logLines,
              (Lines{"The following firmware was found for your kx410: Ver 1.01",
                     "Version Notes: first", READY}));
}

TEST(CheckImageDuplicatedTags, SeparatedDuplicatesAtTheTopAndThreeTimes)
{
    FirmwareImage image = MakeImage({"PID:0410", "VER:0300", "D1", "VER:0301", "D2",
                                     "PID:0410", "VER:0302", "D3", "PID:0410", "D19"});
    ASSERT_TRUE(CheckImage(image, "kx410").bAccepted);
    EXPECT_EQ(DataLines(image), (Lines{"D1", "D2", "D3", "D19"}));
    EXPECT_EQ(image.m_version.value_or(""), "0300");

    FirmwareImage topmostWrong = MakeImage({"PID:0999", "D1", "PID:0410", "D19"});
    EXPECT_FALSE(CheckImage(topmostWrong, "kx410").bAccepted);
    EXPECT_EQ(DataLines(topmostWrong), (Lines{"D1", "D19"}));
}

TEST(CheckImageDuplicatedTags, NoHeaderLineIsEverLeftAsADataLine)
{
    FirmwareImage image = MakeImage({"INFO:a", "INFO:b", "INFO:c", "PID:0410", "PID:0410",
                                     "PID:0410", "VER:0100", "VER:0100", "VER:0100", "D19"});
    ASSERT_TRUE(CheckImage(image, "kx410").bAccepted);
    EXPECT_EQ(DataLines(image), Lines{"D19"});
}

TEST(CheckImageHostileInput, BinaryJunkNulBytesAndLongLinesAreRejectedWithoutCrashing)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i) {
        junk.push_back(static_cast<char>((i * 37) & 0xFF));
    }
    const std::string nulLine("PID:\0\0\0\0", 8);
    FirmwareImage image = MakeImage({junk, nulLine, std::string(3, '\0'),
                                     std::string(1 << 20, 'x'), std::string("\xff\xfe", 2)});
    const ImageVerdict verdict = CheckImage(image, "kx410");
    EXPECT_FALSE(verdict.bAccepted);
    EXPECT_EQ(verdict.logLines, Lines{NOT_SUITABLE});
}

TEST(CheckImageHostileInput, ShortTagLinesAndAnEmptyImageAreHandled)
{
    FirmwareImage shortTags = MakeImage({"VER:", "INFO:", "PID:", "D19"});
    const ImageVerdict verdict = CheckImage(shortTags, "kx410");
    EXPECT_FALSE(verdict.bAccepted);
    EXPECT_EQ(shortTags.m_version.value_or(""), "VER:");

    FirmwareImage empty;
    EXPECT_FALSE(CheckImage(empty, "kx410").bAccepted);
}

TEST(CheckImageHostileInput, ManyTagLinesInALargeImageAreTakenOutInOnePass)
{
    FirmwareImage image;
    for (int i = 0; i < 200000; ++i) {
        image.m_lines.push_back(i % 2 == 0 ? "INFO:n" : ":10000000AABB");
    }
    image.m_lines.push_back("PID:0410");
    image.m_lines.push_back("D19");
    ASSERT_TRUE(CheckImage(image, "kx410").bAccepted);
    EXPECT_EQ(image.m_lines.size(), 100001u);
}

TEST(CheckImageNotes, LongNotesAreLoggedInPiecesAfterTheVersion)
{
    const std::string notes = "This release improves the servo timing and fixes the failsafe "
                              "so that the throttle channel holds its last position.";
    FirmwareImage image = MakeImage({"INFO:" + notes, "PID:0410", "D19"});
    const ImageVerdict verdict = CheckImage(image, "kx410");
    ASSERT_TRUE(verdict.bAccepted);
    EXPECT_EQ(verdict.logLines,
              (Lines{"The following firmware was found for your kx410: Ver 0.00",
                     "Version Notes: This release improves the servo timing and fixes the ",
                     "failsafe so that the throttle channel holds its last position.", READY}));
}

TEST(CheckImageNotes, InfoAnywhereInALineGivesTheLineWithoutItsFirstFiveCharacters)
{
    FirmwareImage image = MakeImage({"abcINFO:x", "PID:0410", "D19"});
    const ImageVerdict verdict = CheckImage(image, "kx410");
    ASSERT_TRUE(verdict.bAccepted);
    EXPECT_EQ(verdict.logLines[1], "Version Notes: FO:x");

    FirmwareImage emptyNotes = MakeImage({"INFO:", "PID:0410", "D19"});
    EXPECT_EQ(CheckImage(emptyNotes, "kx410").logLines[1], "Version Notes: ");
}

}  // namespace
