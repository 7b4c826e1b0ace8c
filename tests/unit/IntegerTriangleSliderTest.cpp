// tests/unit/IntegerTriangleSliderTest.cpp: the triangle slider's value
// mapping, thumb placement, clamping and nudging, without a window.
#include "shell/IntegerTriangleSlider.h"

#include <gtest/gtest.h>

namespace {

IntegerTriangleSlider Make(int minimum, int maximum, int value, bool reversed = false, bool line = false,
                           bool ticks = false, int length = 192, Point origin = MakePoint(235, 22))
{
    return IntegerTriangleSlider(nullptr, origin, length, minimum, maximum, value, line, ticks, reversed);
}

} // namespace

TEST(IntegerTriangleSlider, StepsOfTheBinSlider)
{
    // 46 bins on 192 pixels: dragging 191 / 45 pixels per value, drawing 192 / 45.
    const auto s = Make(0, 45, 0);
    EXPECT_DOUBLE_EQ(s.DragStep(), 191.0 / 45.0);
    EXPECT_DOUBLE_EQ(s.DrawStep(), 192.0 / 45.0);
    const auto one = Make(1, 1, 1, false, true, true, 200);
    EXPECT_DOUBLE_EQ(one.DragStep(), 200.0);
    EXPECT_DOUBLE_EQ(one.DrawStep(), 200.0);
}

TEST(IntegerTriangleSlider, ThumbPlacement)
{
    auto s = Make(0, 45, 0);
    // 11 wide, 6 high, its point (left + 5) on the value's place.
    EXPECT_EQ(s.Thumb(), MakeRect(235, 17, 241, 28));
    s.SetValue(45);
    EXPECT_EQ(s.Thumb(), MakeRect(235, 209, 241, 220)); // origin.h + length - 5
    s.SetValue(10);
    EXPECT_EQ(s.Thumb().left, 59); // trunc(17 + 10 * 4.2667) = trunc(59.67)
    // Below the line and the ticks, 2 pixels each.
    const auto counted = Make(1, 20, 5, false, true, true, 200, MakePoint(235, 282));
    EXPECT_EQ(counted.Thumb().top, 239);
    EXPECT_EQ(counted.Thumb().left, 277 + 42); // trunc(277 + 4 * 200 / 19) = trunc(319.1)
    const auto lineOnly = Make(1, 20, 1, false, true, false);
    EXPECT_EQ(lineOnly.Thumb().top, 237);
}

TEST(IntegerTriangleSlider, ReversedThumbGrowsLeftwards)
{
    auto s = Make(0, 45, 0, true);
    EXPECT_EQ(s.Thumb().left, 209);
    s.SetValue(45);
    EXPECT_EQ(s.Thumb().left, 17);
    s.SetValue(10);
    EXPECT_EQ(s.Thumb().left, 166); // trunc(22 + 192 - 5 - 42.67) = trunc(166.33)
}

TEST(IntegerTriangleSlider, MouseColumnToValue)
{
    const auto s = Make(0, 45, 0);
    // Hand values: (h - 22 + 2.1222) / 4.2444, truncated.
    EXPECT_EQ(s.ValueAtH(22), 0);
    EXPECT_EQ(s.ValueAtH(24), 0);   // 0.971
    EXPECT_EQ(s.ValueAtH(25), 1);   // 1.207
    EXPECT_EQ(s.ValueAtH(120), 23); // 23.59
    EXPECT_EQ(s.ValueAtH(213), 45); // the track's last pixel: 45.5
    // Outside the track the column is clamped.
    EXPECT_EQ(s.ValueAtH(-500), 0);
    EXPECT_EQ(s.ValueAtH(5), 0);
    EXPECT_EQ(s.ValueAtH(214), 45);
    EXPECT_EQ(s.ValueAtH(30000), 45);

    const auto r = Make(0, 45, 0, true);
    EXPECT_EQ(r.ValueAtH(22), 45);
    EXPECT_EQ(r.ValueAtH(25), 44);
    EXPECT_EQ(r.ValueAtH(213), 0);
}

TEST(IntegerTriangleSlider, EveryThumbMapsBackToItsValue)
{
    // Where the drawing step is more than twice a pixel, pointing at a
    // thumb's point gives its value back.
    for (int maximum : {1, 2, 21, 45, 94}) {
        auto s = Make(0, maximum, 0);
        for (int v = 0; v <= maximum; ++v) {
            s.SetValue(v);
            EXPECT_EQ(s.ValueAtH(s.Thumb().left + 5), v) << maximum << " " << v;
        }
    }
}

TEST(IntegerTriangleSlider, SingleValueNeverMoves)
{
    auto s = Make(1, 1, 1, false, true, true, 200, MakePoint(235, 282));
    const Rect thumb = s.Thumb();
    EXPECT_EQ(thumb.left, 277); // at the origin
    for (int h : {0, 282, 381, 382, 383, 481, 600})
        EXPECT_EQ(s.ValueAtH(h), 1) << h;
    EXPECT_FALSE(s.NudgeSlider(true));
    EXPECT_FALSE(s.NudgeSlider(false));
    EXPECT_EQ(s.Thumb(), thumb);
    auto r = Make(1, 1, 1, true);
    EXPECT_EQ(r.ValueAtH(30), 1);
    EXPECT_EQ(r.ValueAtH(200), 1);
}

TEST(IntegerTriangleSlider, ValuesAreClampedIntoTheRange)
{
    EXPECT_EQ(Make(0, 45, 99).GetValue(), 45);
    EXPECT_EQ(Make(0, 45, -3).GetValue(), 0);
    // A maximum below the minimum is the minimum.
    auto s = Make(5, 2, 3);
    EXPECT_EQ(s.Maximum(), 5);
    EXPECT_EQ(s.GetValue(), 5);
    s.SetValue(7);
    EXPECT_EQ(s.GetValue(), 5);
    auto t = Make(0, 45, 0);
    t.SetValue(46);
    EXPECT_EQ(t.GetValue(), 45);
    EXPECT_EQ(t.Thumb().left, 209);
}

TEST(IntegerTriangleSlider, NudgeSteps)
{
    auto s = Make(0, 3, 2);
    EXPECT_TRUE(s.NudgeSlider(true));
    EXPECT_EQ(s.GetValue(), 3);
    EXPECT_FALSE(s.NudgeSlider(true));
    EXPECT_EQ(s.GetValue(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(s.NudgeSlider(false));
    EXPECT_EQ(s.GetValue(), 0);
    EXPECT_FALSE(s.NudgeSlider(false));
    EXPECT_EQ(s.Thumb().left, 17);

    // Reversed: the down arrow increases the value.
    auto r = Make(0, 3, 1, true);
    EXPECT_TRUE(r.NudgeSlider(false));
    EXPECT_EQ(r.GetValue(), 2);
    EXPECT_TRUE(r.NudgeSlider(true));
    EXPECT_TRUE(r.NudgeSlider(true));
    EXPECT_EQ(r.GetValue(), 0);
    EXPECT_FALSE(r.NudgeSlider(true));
}

TEST(IntegerTriangleSlider, TicksAndErasedArea)
{
    const auto s = Make(1, 5, 1, false, true, true, 200, MakePoint(235, 282));
    EXPECT_EQ(s.TickH(1), 282);
    EXPECT_EQ(s.TickH(3), 382);
    EXPECT_EQ(s.TickH(5), 482);
    EXPECT_EQ(s.EraseRect(), MakeRect(235, 274, 255, 490));
    const auto r = Make(1, 5, 1, true, false, false, 200, MakePoint(235, 282));
    EXPECT_EQ(r.TickH(1), 482);
    EXPECT_EQ(r.TickH(5), 282);
    EXPECT_EQ(r.EraseRect(), MakeRect(235, 274, 251, 490));
}

TEST(IntegerTriangleSlider, PressesOnlyOnTheThumb)
{
    auto s = Make(0, 45, 10);
    const Rect t = s.Thumb();
    bool hit = true;
    EXPECT_FALSE(s.ProcessMouse(MakePoint(t.top, t.left - 1), hit));
    EXPECT_FALSE(hit);
    EXPECT_FALSE(s.ProcessMouse(MakePoint(t.bottom, t.left + 5), hit));
    EXPECT_FALSE(hit);
    EXPECT_EQ(s.GetValue(), 10);
    // Without a window there is no drag: the press point alone decides.
    EXPECT_FALSE(s.ProcessMouse(MakePoint(t.top, t.left + 5), hit));
    EXPECT_TRUE(hit);
    EXPECT_EQ(s.GetValue(), 10);
    EXPECT_TRUE(s.ProcessMouse(MakePoint(t.top + 5, t.right - 1), hit));
    EXPECT_TRUE(hit);
    EXPECT_EQ(s.GetValue(), 11); // h 69: (47 + 2.12) / 4.244 = 11.57
}
