// The received-text buffer: cleaning, trimming, finding the identification text; numbers.
#include <gtest/gtest.h>

#include <string>

#include "device/ReceivedText.h"

namespace {

TEST(CleanReceivedBytes, KeepsPrintableAndWhiteSpaceAndMarksTheRest)
{
    const char bytes[] = {'A', 0x00, 0x07, 0x7F, static_cast<char>(0xE9), '\t', '\n', '\r',
                          0x0B, 0x0C, 0x08, 0x0E, 0x1F, ' ', '~', static_cast<char>(0x80)};
    const std::string text = CleanReceivedBytes(bytes, sizeof bytes);
    EXPECT_EQ(text, std::string("A????\t\n\r\v\f??? ~?"));
    EXPECT_EQ(text.size(), sizeof bytes) << "no embedded terminator shortens the text";
    EXPECT_EQ(CleanReceivedBytes(nullptr, 5), "");
    EXPECT_EQ(CleanReceivedBytes(bytes, 0), "");
}

TEST(AppendReceivedChunk, RemovesOneCharacterPerChunkFrom80On)
{
    std::string buffer(78, 'a');
    AppendReceivedChunk(buffer, "b");
    EXPECT_EQ(buffer.size(), 79u) << "79 characters are kept";
    AppendReceivedChunk(buffer, "c");
    EXPECT_EQ(buffer, std::string(77, 'a') + "bc") << "at 80 the first character goes";
    AppendReceivedChunk(buffer, std::string(100, 'd'));
    EXPECT_EQ(buffer.size(), 178u) << "only one character per chunk, whatever its length";
    EXPECT_EQ(buffer.substr(0, 3), "aaa");

    std::string empty;
    AppendReceivedChunk(empty, "");
    EXPECT_TRUE(empty.empty());
}

TEST(AppendReceivedChunk, EchoVariantTrimsFrom10)
{
    std::string buffer;
    AppendReceivedChunk(buffer, "123456789", ECHO_TRIM_CHARS);
    EXPECT_EQ(buffer, "123456789");
    AppendReceivedChunk(buffer, "0", ECHO_TRIM_CHARS);
    EXPECT_EQ(buffer, "234567890");
    std::string longChunk;
    AppendReceivedChunk(longChunk, "garbage!Echo", ECHO_TRIM_CHARS);
    EXPECT_EQ(longChunk, "arbage!Echo") << "a reply after seven other characters survives";
}

TEST(FindIdentification, FindsTheTextByItsFieldsWhateverCameBefore)
{
    // ".", 8 characters, loader and application versions, product id, serial low and high.
    const std::string id = ".KX410BL 020801050410303900003" + std::string(37, '-');
    struct Case {
        std::string text;
        bool bComplete;
        std::size_t pos;
    };
    const Case cases[] = {
        {id, true, 0},
        {"noise" + id, true, 5},
        {"??.?junk..?" + id, true, 11},     // dots in the noise before it are not fields
        {id.substr(0, 66), false, 0},       // 66 characters wait for more
        {"??" + id.substr(0, 20), false, 2}, // the fields so far fit
        {".KX410BL 0208x105", false, std::string::npos}, // a version with a letter is noise
        {".KX410BL 0208010504103039000G" + std::string(38, '-'), false, std::string::npos},
        {".KX410BL 02080105??1030390000" + std::string(38, '-'), false, std::string::npos},
        {"no dot here", false, std::string::npos},
        {"...", false, 0},
    };
    for (const Case& c : cases) {
        const IdentificationScan scan = FindIdentification(c.text);
        EXPECT_EQ(scan.bComplete, c.bComplete) << c.text;
        EXPECT_EQ(scan.pos, c.pos) << c.text;
    }
}

TEST(TextValues, DecimalValueReadsLeadingDigits)
{
    EXPECT_EQ(DecimalValue("08"), 8);
    EXPECT_EQ(DecimalValue("02"), 2);
    EXPECT_EQ(DecimalValue("1x"), 1);
    EXPECT_EQ(DecimalValue("x1"), 0);
    EXPECT_EQ(DecimalValue(""), 0);
    EXPECT_EQ(DecimalValue("-5"), 0);
    EXPECT_EQ(DecimalValue(" 5"), 0);
    EXPECT_EQ(DecimalValue("99999999999999999999"), 999999999) << "stops before overflowing";
}

TEST(TextValues, HexValueReadsLeadingHexDigitsUpTo32Bits)
{
    EXPECT_EQ(HexValue("0000FFFF"), 0xFFFFu);
    EXPECT_EQ(HexValue("deadBEEF"), 0xDEADBEEFu);
    EXPECT_EQ(HexValue("12g4"), 0x12u);
    EXPECT_EQ(HexValue("g"), 0u);
    EXPECT_EQ(HexValue(""), 0u);
    EXPECT_EQ(HexValue("123456789"), 0x12345678u);
}

TEST(TextValues, SignedDecimalText)
{
    EXPECT_EQ(SignedDecimalText(0), "0");
    EXPECT_EQ(SignedDecimalText(0x7FFFFFFFu), "2147483647");
    EXPECT_EQ(SignedDecimalText(0x80000000u), "-2147483648");
    EXPECT_EQ(SignedDecimalText(0xFFFFFFFFu), "-1");
}

}  // namespace
