// The addresses of the firmware query and the completion report.
#include "web/WebQuery.h"

#include <gtest/gtest.h>

TEST(PercentEscape, LeavesUnreservedCharactersAndEscapesEverythingElse)
{
    EXPECT_EQ(PercentEscape("0123456789"), "0123456789");
    EXPECT_EQ(PercentEscape("AZaz-._~"), "AZaz-._~");
    EXPECT_EQ(PercentEscape("1 2&fw=9#x/?%+"), "1%202%26fw%3D9%23x%2F%3F%25%2B");
    EXPECT_EQ(PercentEscape(std::string("\xC3\xA9\x01", 3)), "%C3%A9%01");
    EXPECT_EQ(PercentEscape(std::string("a\0b", 3)), "a%00b");
}

TEST(BuildFirmwareUrl, PutsTheValuesInTheirPlacesForQueryAndReport)
{
    EXPECT_EQ(BuildFirmwareUrl("http://127.0.0.1:8410", "00123456", "0105", "0102", false),
              "http://127.0.0.1:8410/firmware/kx410fw.php?sn=00123456&fw=0105&ldr=0102&done=0");
    EXPECT_EQ(BuildFirmwareUrl("https://fw.example.com/", "SN 7&done=1", "0107", "", true),
              "https://fw.example.com/firmware/kx410fw.php?sn=SN%207%26done%3D1&fw=0107&ldr=&done=1");
}
