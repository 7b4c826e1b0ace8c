// tests/unit/LinearSliderTest.cpp: the linear slider without a window: the
// mapping and its clamping, the first-decimal rounding, nudges, the drag loop
// driven by a scripted pointer, degenerate ranges, and its drawing into an
// image.
#include "tools/LinearSlider.h"

#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "shell/PointerInput.h"
#include "platform/core/DrawTarget.h"
#include "tests/support/TestImages.h"
#include "tools/LiveSliderOwner.h"

namespace {

// The editor's exposure slider: h 535, v 130, 100 pixels for 0 .. 20.
const Point kAt = MakePoint(130, 535);

class RecordingOwner final : public LiveSliderOwner {
public:
    explicit RecordingOwner(const LinearSlider* slider) : mSlider(slider) {}
    void ProcessLiveSliderUpdate(int index) override
    {
        indices.push_back(index);
        values.push_back(mSlider->GetValue());
    }
    std::vector<int> indices;
    std::vector<int> values;

private:
    const LinearSlider* mSlider;
};

class ScriptedDrag {
public:
    ScriptedDrag(QPoint press, std::vector<QPoint> path) : at(press)
    {
        PointerScript script;
        script.position = press;
        script.dragPaths = {std::move(path)};
        SetPointerScriptForTesting(script);
    }
    ~ScriptedDrag() { SetPointerScriptForTesting(std::nullopt); }
    ScriptedDrag(const ScriptedDrag&) = delete;
    ScriptedDrag& operator=(const ScriptedDrag&) = delete;
    const QPoint at; // the press, which the mouse-down carries
};

QPoint ThumbCentre(const LinearSlider& s)
{
    const Rect r = s.ThumbRect();
    return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// Pointer x that shows value v on the exposure slider (5 pixels a unit).
int ExposureX(int v)
{
    return kAt.h + 5 + 5 * v;
}

} // namespace

TEST(LinearSlider, ConstructionKeepsTheValueAndTheFirstNudgeClamps)
{
    LinearSlider high(kAt, 100, 0, 20, 25);
    EXPECT_EQ(high.GetValue(), 25);
    EXPECT_DOUBLE_EQ(high.PixelsPerUnit(), 5.0);
    EXPECT_FALSE(high.NudgeSlider(true, false)); // already above max
    EXPECT_EQ(high.GetValue(), 25);
    EXPECT_TRUE(high.NudgeSlider(false, false));
    EXPECT_EQ(high.GetValue(), 20);
    LinearSlider low(kAt, 100, 4, 64, 1);
    EXPECT_TRUE(low.NudgeSlider(true, false));
    EXPECT_EQ(low.GetValue(), 4);
}

TEST(LinearSlider, SettersClampAndRoundByTheFirstDecimal)
{
    LinearSlider s(kAt, 256, 0, 255, 0);
    s.SetValue(300);
    EXPECT_EQ(s.GetValue(), 255);
    s.SetValue(-3);
    EXPECT_EQ(s.GetValue(), 0);
    const std::vector<std::pair<double, int>> table{{2.45, 2},    {2.5, 3},  {2.49999, 2}, {2.6, 3},
                                                    {0.0, 0},     {7.0, 7},  {7.95, 8},    {254.6, 255},
                                                    {255.7, 255}, {-0.7, 0}, {1e30, 255},  {-1e30, 0}};
    for (auto [x, expected] : table) {
        s.SetValue(x);
        EXPECT_EQ(s.GetValue(), expected) << x;
    }
    s.SetValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(s.GetValue(), 0);
}

TEST(LinearSlider, ThumbGeometryAndPointerMapping)
{
    LinearSlider s(kAt, 100, 0, 20, 4);
    // p = 4 × 5 = 20: the thumb spans h + 2 + p .. h + 8 + p, v .. v + 11.
    EXPECT_EQ(s.ThumbRect(), MakeRect(130, 557, 141, 563));
    EXPECT_DOUBLE_EQ(s.ValueForPointer(ExposureX(7)), 7.0);
    // Clamped to h + 5 .. h + length + 5.
    EXPECT_DOUBLE_EQ(s.ValueForPointer(0), 0.0);
    EXPECT_DOUBLE_EQ(s.ValueForPointer(10000), 20.0);
    EXPECT_DOUBLE_EQ(s.ValueForPointer(ExposureX(3) + 2), 3.4);
    // A stored value beyond the range keeps the thumb on the track.
    LinearSlider out(kAt, 100, 0, 20, 500);
    EXPECT_EQ(out.ThumbRect(), MakeRect(130, 637, 141, 643));
}

TEST(LinearSlider, DragFollowsTheMouseAndPinsAtTheEnds)
{
    LinearSlider s(kAt, 100, 0, 20, 4);
    RecordingOwner owner(&s);
    bool hit = false;
    {
        ScriptedDrag drag(ThumbCentre(s), {QPoint(ExposureX(9), 135), QPoint(ExposureX(9) + 3, 135), QPoint(5000, 135),
                                           QPoint(ExposureX(12), 400)});
        EXPECT_TRUE(s.ProcessMouse(drag.at, hit, &owner, 0));
    }
    EXPECT_TRUE(hit);
    EXPECT_EQ(s.GetValue(), 12); // the release point, pointer height plays no part
    // Every move told the owner, with the value of that moment (9.6 rounds to 10).
    EXPECT_EQ(owner.indices, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(owner.values, (std::vector<int>{9, 10, 20, 12}));
    {
        ScriptedDrag drag(ThumbCentre(s), {QPoint(-100, 135)});
        EXPECT_TRUE(s.ProcessMouse(drag.at, hit, nullptr, 0));
    }
    EXPECT_EQ(s.GetValue(), 0);
}

TEST(LinearSlider, DragBackToTheStartReportsNoChangeAndTrackPressesMiss)
{
    LinearSlider s(kAt, 100, 0, 20, 4);
    RecordingOwner owner(&s);
    bool hit = false;
    {
        ScriptedDrag drag(ThumbCentre(s), {QPoint(ExposureX(15), 135), QPoint(ExposureX(4), 135)});
        EXPECT_FALSE(s.ProcessMouse(drag.at, hit, &owner, 3));
    }
    EXPECT_TRUE(hit);
    EXPECT_EQ(owner.values, (std::vector<int>{15, 4}));
    EXPECT_EQ(owner.indices, (std::vector<int>{3, 3}));
    // A press without motion changes nothing.
    {
        ScriptedDrag drag(ThumbCentre(s), {});
        EXPECT_FALSE(s.ProcessMouse(drag.at, hit, &owner, 0));
    }
    EXPECT_TRUE(hit);
    // Presses on the track beside the thumb, and just off its edges, miss.
    const Rect t = s.ThumbRect();
    for (QPoint p : {QPoint(ExposureX(15), 135), QPoint(t.left - 1, 135), QPoint(t.right, 135),
                     QPoint(t.left, t.bottom), QPoint(t.left, t.top - 1)}) {
        ScriptedDrag drag(p, {QPoint(ExposureX(18), 135)});
        EXPECT_FALSE(s.ProcessMouse(drag.at, hit, &owner, 0));
        EXPECT_FALSE(hit) << p.x() << "," << p.y();
    }
    EXPECT_EQ(s.GetValue(), 4);
    EXPECT_EQ(owner.values.size(), 2u);
}

TEST(LinearSlider, NudgesStepAndStopAtTheEnds)
{
    LinearSlider s(MakePoint(170, 145), 256, 1, 64, 60);
    EXPECT_TRUE(s.NudgeSlider(true, true)); // 70 clamps to 64
    EXPECT_EQ(s.GetValue(), 64);
    EXPECT_FALSE(s.NudgeSlider(true, false));
    EXPECT_TRUE(s.NudgeSlider(false, false));
    EXPECT_EQ(s.GetValue(), 63);
    s.SetValue(5);
    EXPECT_TRUE(s.NudgeSlider(false, true));
    EXPECT_EQ(s.GetValue(), 1);
    EXPECT_FALSE(s.NudgeSlider(false, true));
}

TEST(LinearSlider, CoarseTrackSkipsValuesButNudgesReachEveryOne)
{
    // 256 pixels for 0 .. 25,500 (a stack of 100 frames): about 100 values a pixel.
    LinearSlider s(MakePoint(170, 145), 256, 0, 25500, 0);
    std::set<int> byDrag;
    for (int x = 145 + 5; x <= 145 + 5 + 256; ++x) {
        s.SetValue(s.ValueForPointer(x));
        byDrag.insert(s.GetValue());
    }
    EXPECT_EQ(byDrag.size(), 257u);
    EXPECT_TRUE(byDrag.count(25500));
    EXPECT_FALSE(byDrag.count(1));
    s.SetValue(0);
    for (int i = 1; i <= 300; ++i) {
        ASSERT_TRUE(s.NudgeSlider(true, false));
        ASSERT_EQ(s.GetValue(), i);
    }
    // A click on the thumb keeps a value its pixel does not map back to.
    s.SetValue(12345);
    bool hit = false;
    ScriptedDrag drag(ThumbCentre(s), {});
    EXPECT_FALSE(s.ProcessMouse(drag.at, hit, nullptr, 0));
    EXPECT_TRUE(hit);
    EXPECT_EQ(s.GetValue(), 12345);
}

TEST(LinearSlider, NudgesNearTheIntLimitDoNotWrap)
{
    // A 32-bit FITS stack of 255 frames: the range ends near INT_MAX.
    const int top = std::numeric_limits<int>::max() - 3;
    LinearSlider s(MakePoint(170, 145), 256, 0, top, top - 5);
    EXPECT_TRUE(s.NudgeSlider(true, true));
    EXPECT_EQ(s.GetValue(), top);
    LinearSlider low(MakePoint(170, 145), 256, std::numeric_limits<int>::min() + 2, 0,
                     std::numeric_limits<int>::min() + 5);
    EXPECT_TRUE(low.NudgeSlider(false, true));
    EXPECT_EQ(low.GetValue(), std::numeric_limits<int>::min() + 2);
}

TEST(LinearSlider, EmptyRangeStaysAtItsOnlyValue)
{
    // A stack of no frames gives thresholds of 0 .. 0.
    LinearSlider s(MakePoint(170, 145), 256, 0, 0, 0);
    EXPECT_TRUE(std::isfinite(s.PixelsPerUnit()));
    EXPECT_EQ(s.ThumbRect(), MakeRect(170, 147, 181, 153));
    EXPECT_FALSE(s.NudgeSlider(true, true));
    EXPECT_FALSE(s.NudgeSlider(false, true));
    s.SetValue(12.7);
    EXPECT_EQ(s.GetValue(), 0);
    bool hit = false;
    {
        ScriptedDrag drag(ThumbCentre(s), {QPoint(400, 175)});
        EXPECT_FALSE(s.ProcessMouse(drag.at, hit, nullptr, 0));
    }
    EXPECT_TRUE(hit);
    EXPECT_EQ(s.GetValue(), 0);
    // A range given upside down behaves the same.
    LinearSlider upside(MakePoint(0, 0), 100, 10, 3, 5);
    EXPECT_EQ(upside.Maximum(), 10);
    upside.SetValue(7);
    EXPECT_EQ(upside.GetValue(), 10);
}

TEST(LinearSlider, DrawsTrackThumbAndBand)
{
    auto image = MakeImage(400, 30);
    FillFlat(*image, 0x80, 0x80, 0x80);
    LinearSlider s(MakePoint(10, 20), 50, 0, 10, 6);
    {
        PortSaver saver;
        SetPort(image.get());
        s.DrawSlider();
        // A nudge that changes nothing draws nothing.
        FillFlat(*image, 0x80, 0x80, 0x80);
        LinearSlider top(MakePoint(10, 20), 50, 0, 10, 10);
        EXPECT_FALSE(top.NudgeSlider(true, false));
        EXPECT_EQ(GetPixel(*image, 25, 15).r, 0x80);
        s.DrawSlider();
    }
    const auto isBlack = [&](int x, int y) {
        const Argb p = GetPixel(*image, x, y);
        return p.r == 0 && p.g == 0 && p.b == 0;
    };
    // The track: (h + 5, v + 5) for 50 pixels, h + 5 .. h + 54.
    EXPECT_TRUE(isBlack(25, 15));
    EXPECT_TRUE(isBlack(74, 15));
    EXPECT_FALSE(isBlack(75, 15));
    // The thumb at p = 6 × 5 = 30: columns h + 32 .. h + 37, rows v .. v + 10.
    for (int y = 10; y < 21; ++y) {
        EXPECT_TRUE(isBlack(52, y)) << y;
        EXPECT_TRUE(isBlack(57, y)) << y;
    }
    EXPECT_FALSE(isBlack(51, 10));
    EXPECT_FALSE(isBlack(58, 10));
    // The band h .. h + 300, v .. v + 11 was erased to white; beyond it not.
    EXPECT_EQ(GetPixel(*image, 20, 12).r, 0xFF);
    EXPECT_EQ(GetPixel(*image, 319, 20).r, 0xFF);
    EXPECT_EQ(GetPixel(*image, 320, 20).r, 0x80);
    EXPECT_EQ(GetPixel(*image, 20, 21).r, 0x80);
}
