// Breaking release notes into status-list pieces of at most 75 characters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/NotesBreaker.h"

namespace {

using Pieces = std::vector<std::string>;

std::string Joined(const Pieces& pieces)
{
    std::string text;
    for (const std::string& piece : pieces) {
        text += piece;
    }
    return text;
}

void ExpectWellFormed(const std::string& text, const Pieces& pieces)
{
    EXPECT_EQ(Joined(pieces), text) << "no character is lost or added";
    for (const std::string& piece : pieces) {
        EXPECT_LE(piece.size(), NOTES_PIECE_MAX_CHARS) << piece;
        EXPECT_FALSE(piece.empty());
    }
}

TEST(BreakNotes, ShortTextIsOnePiece)
{
    EXPECT_EQ(BreakNotes("Version Notes: fixes"), Pieces{"Version Notes: fixes"});
    const std::string seventyFour(74, 'a');
    EXPECT_EQ(BreakNotes(seventyFour), Pieces{seventyFour});
    EXPECT_TRUE(BreakNotes("").empty());
}

TEST(BreakNotes, LongTextBreaksAfterTheLastBlankWithinTheFirst75)
{
    const std::string first = std::string(60, 'a') + " " + std::string(10, 'b') + " ";  // 72
    const std::string text = first + std::string(20, 'c') + " " + std::string(70, 'd');
    const Pieces pieces = BreakNotes(text);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], first) << "the blank stays at the end of the piece";
    EXPECT_EQ(pieces[1], std::string(20, 'c') + " ");
    EXPECT_EQ(pieces[2], std::string(70, 'd'));
    ExpectWellFormed(text, pieces);
}

TEST(BreakNotes, ARunWithoutBlanksIsBrokenHardAt75)
{
    const std::string run(200, 'x');
    const Pieces pieces = BreakNotes(run);
    EXPECT_EQ(pieces, (Pieces{std::string(75, 'x'), std::string(75, 'x'), std::string(50, 'x')}));

    const std::string text = "Version Notes: " + run + " tail";
    const Pieces mixed = BreakNotes(text);
    ASSERT_GE(mixed.size(), 2u);
    EXPECT_EQ(mixed[0], "Version Notes: ");
    ExpectWellFormed(text, mixed);
}

TEST(BreakNotes, ExactlySeventyFiveCharacters)
{
    const std::string noBlank(75, 'y');
    EXPECT_EQ(BreakNotes(noBlank), Pieces{noBlank});

    const std::string endsInBlank = std::string(74, 'y') + " ";
    EXPECT_EQ(BreakNotes(endsInBlank), Pieces{endsInBlank});

    const std::string blankInside = std::string(40, 'y') + " " + std::string(34, 'z');
    EXPECT_EQ(BreakNotes(blankInside),
              (Pieces{std::string(40, 'y') + " ", std::string(34, 'z')}))
        << "75 characters are not fewer than 75, so they are broken at the blank";
}

TEST(BreakNotes, BlanksOnlyAndLeadingBlanksMakeProgress)
{
    const std::string blanks(160, ' ');
    ExpectWellFormed(blanks, BreakNotes(blanks));
    const std::string leading = " " + std::string(150, 'q');
    const Pieces pieces = BreakNotes(leading);
    EXPECT_EQ(pieces.front(), " ");
    ExpectWellFormed(leading, pieces);
}

TEST(BreakNotes, OtherWidths)
{
    EXPECT_EQ(BreakNotes("ab cd ef", 4), (Pieces{"ab ", "cd ", "ef"}));
    EXPECT_EQ(BreakNotes("abc", 0), (Pieces{"a", "b", "c"}));
}

}  // namespace
