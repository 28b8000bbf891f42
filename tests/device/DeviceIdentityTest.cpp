// Reading the unit's identity from its aligned identification text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/DeviceIdentity.h"
#include "device/DeviceNotices.h"

namespace {

using Lines = std::vector<std::string>;

// A 67-character identification text with the fields at their positions.
std::string IdText(const std::string& loader, const std::string& app, const std::string& pid,
                   const std::string& serialLow, const std::string& serialHigh)
{
    std::string text = ".KX-BOOT." + loader + app + pid + serialLow + serialHigh;
    text.resize(67, 'z');
    return text;
}

TEST(ParseIdentification, ReadsEveryFieldAndLogsInOrder)
{
    DeviceIdentity id;
    const Lines lines = ParseIdentification(IdText("0208", "0113", "0410", "0001", "0000"), id);
    EXPECT_EQ(lines, (Lines{"Found Device: kx410", "Boot Loader Version: 2.08",
                            "Application Version: 1.13", "Serial Number: 1"}));
    EXPECT_EQ(id.m_strModel, "kx410");
    EXPECT_EQ(id.m_strLoaderVersion, "0208");
    EXPECT_EQ(id.m_strAppVersion, "0113");
    EXPECT_EQ(id.m_strSerialNumber, "1");
}

TEST(ParseIdentification, SerialNumberHighHalfFollowsLowHalfAndIsSigned)
{
    const std::vector<std::pair<std::pair<std::string, std::string>, std::string>> cases = {
        {{"0001", "0000"}, "1"},           {{"0000", "0001"}, "65536"},
        {{"FFFF", "FFFF"}, "-1"},          {{"0000", "8000"}, "-2147483648"},
        {{"FFFF", "7FFF"}, "2147483647"},  {{"beef", "dead"}, "-559038737"},
        {{"0001", "00G0"}, "0"},
    };
    for (const auto& [halves, expected] : cases) {
        DeviceIdentity id;
        const Lines lines =
            ParseIdentification(IdText("0100", "0100", "0410", halves.first, halves.second), id);
        EXPECT_EQ(id.m_strSerialNumber, expected) << halves.first << "/" << halves.second;
        EXPECT_EQ(lines[3], "Serial Number: " + expected);
    }
}

TEST(ParseIdentification, OtherProductIdIsTheModel)
{
    DeviceIdentity id;
    const Lines lines = ParseIdentification(IdText("0100", "0100", "0520", "0001", "0000"), id);
    EXPECT_EQ(id.m_strModel, "0520");
    EXPECT_EQ(lines[0], "Found Device: 0520");
}

TEST(ParseIdentification, VersionsWithNonDigitsReadTheirLeadingDigits)
{
    DeviceIdentity id;
    const Lines lines = ParseIdentification(IdText("1?07", "??9x", "0410", "0000", "0000"), id);
    EXPECT_EQ(lines[1], "Boot Loader Version: 1.07");
    EXPECT_EQ(lines[2], "Application Version: 0.09");
    EXPECT_EQ(id.m_strAppVersion, "??9x") << "kept as received";
}

TEST(ParseIdentification, ShortTextDoesNotFail)
{
    DeviceIdentity id;
    const Lines lines = ParseIdentification(".short", id);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "Boot Loader Version: 0.00");
    EXPECT_EQ(id.m_strSerialNumber, "0");
    EXPECT_EQ(id.m_strModel, "");
}

TEST(DeviceNotices, NameTheModel)
{
    EXPECT_EQ(CorruptProgramNotice("kx410"),
              "The kx410 reported a corrupt program was sent.  Reset the kx410 and try again. "
              "\n\nPress OK");
    EXPECT_EQ(UpdateFailedNotice("kx410"),
              "An error occured whilst updating the kx410.  \nCycle the power to the kx410 and "
              "try again. \n\nPress OK");
    EXPECT_EQ(CorruptProgramNotice("0520"),
              "The 0520 reported a corrupt program was sent.  Reset the 0520 and try again. "
              "\n\nPress OK");
}

// The reason stands in its own paragraph, never between two blank lines before "Press OK".
TEST(DeviceNotices, ReasonGoesBeforePressOkOrAfterANoticeWithoutIt)
{
    const struct {
        const char* notice;
        const char* reason;
        const char* text;
    } cases[] = {
        {"Unable to open.  \n\nPress OK", "It is in use.", "Unable to open.  \n\nIt is in use.\n\nPress OK"},
        {"See the log.\n\n Press OK", "Why.", "See the log.\n\nWhy.\n\n Press OK"},
        {"Unable to find Tetherix", "Why.", "Unable to find Tetherix\n\nWhy."},
        {"Unable to open.\n\nPress OK", "", "Unable to open.\n\nPress OK"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NoticeWithReason(c.notice, c.reason), c.text) << c.notice;
}

}  // namespace
