// Text wrapping with the line-breaking rules (measured by a fixed-width function: 16 pixels for a
// two-byte character, 8 for a one-byte one) and the scroll-bar geometry of the load page's list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/DrawHelpers.h"
#include "app/TextWrap.h"

using namespace Qelvar;

namespace {

int FixedWidth(int, const char* character) { return std::strlen(character) == 2 ? 16 : 8; }

class TextWrapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = TextWrap_MeasureCharacter;
        TextWrap_MeasureCharacter = FixedWidth;
    }
    void TearDown() override { TextWrap_MeasureCharacter = saved_; }
    int (*saved_)(int, const char*) = nullptr;
};

}  // namespace

TEST_F(TextWrapTest, BreaksFollowTheLineBreakingRules)
{
    struct Case {
        const char* text;
        int maxWidth;
        const char* wrapped;
    } cases[] = {
        // The full stop never starts a line alone: the character before goes with it.
        {"あいう。", 48, "あい\nう。"},
        // Exactly as wide as the line: no break.
        {"あいう", 48, "あいう"},
        // A line feed starts a fresh line without an extra break.
        {"あいう\nえおか", 48, "あいう\nえおか"},
        // An opening bracket never ends a full line.
        {"あい「う", 48, "あい\n「う"},
        // Two line-start forbidden characters in a row: both and the one before them move.
        {"あいっ。", 48, "あ\nいっ。"},
        // One-byte characters: a comma is carried with the letter before it.
        {"abc,", 24, "ab\nc,"},
        {"abcdef", 24, "abc\ndef"},
        // A long text wraps into several lines.
        {"あいうえおかきく", 48, "あいう\nえおか\nきく"},
        {"", 48, ""},
        // A character wider than the whole line stays alone on its line; nothing is lost.
        {"あい", 10, "あ\nい"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WrapText(-1, c.text, c.maxWidth), c.wrapped) << c.text;
    }
}

TEST_F(TextWrapTest, LongPiecesAreKeptWhole)
{
    const std::string line(400, 'a');
    EXPECT_EQ(WrapText(-1, line + "\n", 100000), line + "\n");
}

TEST(KinsokuTest, SetsTestWholeCharacters)
{
    EXPECT_TRUE(IsKinsokuChar(LineStartForbidden, "。"));
    EXPECT_TRUE(IsKinsokuChar(LineStartForbidden, "ー"));
    EXPECT_TRUE(IsKinsokuChar(LineStartForbidden, "ｯ"));
    EXPECT_TRUE(IsKinsokuChar(LineStartForbidden, "%"));
    EXPECT_FALSE(IsKinsokuChar(LineStartForbidden, "あ"));
    EXPECT_FALSE(IsKinsokuChar(LineStartForbidden, "a"));
    EXPECT_TRUE(IsKinsokuChar(LineEndForbidden, "「"));
    EXPECT_TRUE(IsKinsokuChar(LineEndForbidden, "("));
    EXPECT_TRUE(IsKinsokuChar(LineEndForbidden, "$"));
    // "ソ" ends in the byte 0x5C, which alone is line-end forbidden; the pair is not.
    EXPECT_FALSE(IsKinsokuChar(LineEndForbidden, "ソ"));
    EXPECT_FALSE(IsKinsokuChar(LineEndForbidden, "」"));
}

TEST(ScrollBarTest, GeometryAndClamping)
{
    struct Case {
        int track, visible, content, position;
        int state, largest, clamped, thumbLength, thumbOffset;
    } cases[] = {
        {300, 300, 300, 50, -1, 0, 0, 0, 0},   // content that fits exactly
        {300, 300, 0, 0, -1, 0, 0, 0, 0},      // no content
        {300, 300, 600, -30, 0, 300, 0, 150, 0},
        {300, 300, 600, 300, 0, 300, 300, 150, 150},
        {300, 300, 600, 900, 0, 300, 300, 150, 150},
        {300, 300, 600, 150, 0, 300, 150, 150, 75},
        // The load page: 20 files of 30 pixels in a list of 490.
        {490, 490, 600, 30, 0, 110, 30, 400, 24},
    };
    for (const Case& c : cases) {
        const ScrollBarState bar = ComputeScrollBar(480, 50, c.track, c.visible, c.content, c.position, 1);
        EXPECT_EQ(bar.State, c.state) << c.content << " " << c.position;
        EXPECT_EQ(bar.Position, c.clamped) << c.content << " " << c.position;
        EXPECT_EQ(bar.X, 480);
        EXPECT_EQ(bar.Y, 50);
        EXPECT_EQ(bar.BarWidth, 20);
        EXPECT_EQ(bar.TrackLength, c.track);
        if (c.state == 0) {
            EXPECT_EQ(bar.LargestPosition, c.largest);
            EXPECT_EQ(bar.ThumbLength, c.thumbLength);
            EXPECT_EQ(bar.FreeTravel, c.track - c.thumbLength);
            EXPECT_EQ(bar.ThumbOffset, c.thumbOffset);
            EXPECT_EQ(bar.ThumbWidth, 20);
            EXPECT_EQ(bar.Flag, 1);
        }
    }
}
