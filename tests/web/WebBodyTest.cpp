// Splitting the service's answer into image lines.
#include "web/WebBody.h"

#include <gtest/gtest.h>

using Lines = std::deque<std::string>;

TEST(SplitWebBody, CrLfLinesComeOutWithoutLineEndsAndWithoutATrailingEmptyLine)
{
    EXPECT_EQ(SplitWebBody("VER:0107\r\nPID:0410\r\n"), (Lines{"VER:0107", "PID:0410"}));
    EXPECT_EQ(SplitWebBody("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
}

TEST(SplitWebBody, KeepsEveryCharacterThatIsNotPartOfALineEnd)
{
    // A bare LF ends a line without taking its last character with it.
    EXPECT_EQ(SplitWebBody(":0000000119\n:10\r\n"), (Lines{":0000000119", ":10"}));
    // A CR inside a line is data.
    EXPECT_EQ(SplitWebBody("a\rb\r\n"), (Lines{"a\rb"}));
    // The last line is kept with or without a line end, and a CR cut short of its LF is dropped.
    EXPECT_EQ(SplitWebBody("a\r\n:0000000119"), (Lines{"a", ":0000000119"}));
    EXPECT_EQ(SplitWebBody("a\r\nb\r"), (Lines{"a", "b"}));
}

TEST(SplitWebBody, AnEmptyAnswerIsOneEmptyLine)
{
    EXPECT_EQ(SplitWebBody(""), (Lines{""}));
    EXPECT_EQ(SplitWebBody("\r\n"), (Lines{""}));
}
