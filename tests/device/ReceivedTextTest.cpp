// The received-text buffer: cleaning, trimming, aligning on the identification text; numbers.
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

TEST(AlignIdentification, DropsTextBeforeTheFirstDot)
{
    std::string buffer = "junk??.abc";
    AlignIdentification(buffer);
    EXPECT_EQ(buffer, ".abc");

    std::string noDot = "no dot here";
    AlignIdentification(noDot);
    EXPECT_EQ(noDot, "no dot here");
}

TEST(AlignIdentification, DropsFiveCharactersWhenTheRestHoldsAFurtherDot)
{
    std::string seven = ".ab.cde";
    AlignIdentification(seven);
    EXPECT_EQ(seven, "de") << "rest of 6 characters with a dot loses 5 from the front";

    std::string six = ".ab.cd";
    AlignIdentification(six);
    EXPECT_EQ(six, ".ab.cd") << "rest of 5 characters is not longer than 5";

    std::string single = ".abcdefgh";
    AlignIdentification(single);
    EXPECT_EQ(single, ".abcdefgh") << "no further dot";

    std::string again = "xx.1234.6789.";
    AlignIdentification(again);
    EXPECT_EQ(again, ".6789.");
    AlignIdentification(again);
    EXPECT_EQ(again, ".6789.") << "rest of 5 characters stays";
    again += "x";
    AlignIdentification(again);
    EXPECT_EQ(again, ".x") << "each arrival may drop 5 more";
}

TEST(IdentificationComplete, NeedsADotAnd67Characters)
{
    const std::string sixtySix = "." + std::string(65, 'x');
    const std::string sixtySeven = "." + std::string(66, 'x');
    EXPECT_FALSE(IdentificationComplete(sixtySix));
    EXPECT_TRUE(IdentificationComplete(sixtySeven));
    EXPECT_FALSE(IdentificationComplete(std::string(67, 'x')));

    std::string arrived = "noise" + sixtySix;
    AlignIdentification(arrived);
    EXPECT_FALSE(IdentificationComplete(arrived)) << "66 characters from the first dot wait";
    arrived = "noise" + sixtySeven;
    AlignIdentification(arrived);
    EXPECT_TRUE(IdentificationComplete(arrived));
    EXPECT_EQ(arrived, sixtySeven);
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
