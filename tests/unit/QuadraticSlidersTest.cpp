// tests/unit/QuadraticSlidersTest.cpp: the radius and intensity sliders
// without a window: the value rule, both mappings, the text, the nudges and
// the drag loop driven by a scripted pointer.
#include "tools/QuadraticSliders.h"

#include <cmath>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "shell/PointerInput.h"
#include "tools/LiveSliderOwner.h"

namespace {

// Where the dialogs put them; any position works the same.
const Point kRadiusAt = MakePoint(250, 25);
const Point kIntensityAt = MakePoint(310, 25);

// Pointer x for a pointer offset d along the track of a slider at p.
int TrackX(Point p, int d)
{
    return p.h + 5 + d;
}

// Records every live update with the value the slider had at that moment.
class RecordingOwner final : public LiveSliderOwner {
public:
    explicit RecordingOwner(const QuadraticSlider* slider) : mSlider(slider) {}
    void ProcessLiveSliderUpdate(int index) override
    {
        indices.push_back(index);
        values.push_back(mSlider->GetValue());
    }
    std::vector<int> indices;
    std::vector<double> values;

private:
    const QuadraticSlider* mSlider;
};

// A scripted pointer: pressed at press, then moved along path and released
// at its last point (at press when the path is empty).
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

QPoint ThumbCentre(const QuadraticSlider& s)
{
    const Rect r = s.ThumbRect();
    return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

} // namespace

TEST(QuadraticSliders, ConstructionStoresValuesUnchanged)
{
    const GaussianBlurSlider radius(kRadiusAt, 0.05);
    EXPECT_EQ(radius.GetValue(), 0.05);
    EXPECT_EQ(radius.GetPosition(), kRadiusAt);
    const MaskIntensitySlider none;
    EXPECT_EQ(none.GetValue(), 0.0);
    EXPECT_EQ(none.GetPosition(), MakePoint(0, 0));
    MaskIntensitySlider layer;
    layer.SetParameters(MakePoint(270, 55), 171.234);
    EXPECT_EQ(layer.GetValue(), 171.234);
    EXPECT_EQ(layer.GetPosition(), MakePoint(270, 55));
}

TEST(QuadraticSliders, ValueRuleClampsAndRoundsByTheHundredthsDigit)
{
    GaussianBlurSlider radius(kRadiusAt, 1.0);
    const struct {
        double in, out;
    } radiusCases[] = {{0.05, 0.1}, {25.0, 20.0}, {2.345, 2.3}, {2.35, 2.4},   {1.049, 1.0}, {1.05, 1.1},
                       {0.1, 0.1},  {20.0, 20.0}, {-7.0, 0.1},  {19.96, 20.0}, {7.0, 7.0}};
    for (const auto& c : radiusCases) {
        radius.SetValue(c.in);
        EXPECT_DOUBLE_EQ(radius.GetValue(), c.out) << c.in;
    }
    MaskIntensitySlider intensity(kIntensityAt, 1.0);
    const struct {
        double in, out;
    } intensityCases[] = {{-3.0, 0.0}, {200.0, 160.0}, {0.04, 0.0}, {0.05, 0.1}, {159.99, 160.0}, {40.0, 40.0}};
    for (const auto& c : intensityCases) {
        intensity.SetValue(c.in);
        EXPECT_DOUBLE_EQ(intensity.GetValue(), c.out) << c.in;
    }
    // A value of one decimal stays itself; computed literally in doubles,
    // 5.1 × 100 = 509.99999999999994 would round 5.1 up to 5.2.
    for (int tenths = 1; tenths <= 200; ++tenths) {
        radius.SetValue(tenths / 10.0);
        ASSERT_EQ(radius.GetValue(), tenths / 10.0) << tenths;
    }
    for (int tenths = 0; tenths <= 1600; ++tenths) {
        intensity.SetValue(tenths / 10.0);
        ASSERT_EQ(intensity.GetValue(), tenths / 10.0) << tenths;
    }
    // Not a number is treated as below the range, never stored.
    intensity.SetValue(std::nan(""));
    EXPECT_EQ(intensity.GetValue(), 0.0);
    radius.SetValue(std::nan(""));
    EXPECT_EQ(radius.GetValue(), 0.1);
}

TEST(QuadraticSliders, TextTruncatesToOneDecimal)
{
    GaussianBlurSlider radius(kRadiusAt, 2.39);
    EXPECT_EQ(radius.ValueText(), "2.3");
    radius.SetValue(20.0);
    EXPECT_EQ(radius.ValueText(), "20.0");
    radius.SetValue(0.1);
    EXPECT_EQ(radius.ValueText(), "0.1");
    MaskIntensitySlider intensity(kIntensityAt, 160.0);
    EXPECT_EQ(intensity.ValueText(), "160.0");
    intensity.SetParameters(kIntensityAt, 0.0);
    EXPECT_EQ(intensity.ValueText(), "0.0");
    intensity.SetParameters(kIntensityAt, 12.96);
    EXPECT_EQ(intensity.ValueText(), "12.9");
}

TEST(QuadraticSliders, ThumbOffsetsAndRectangles)
{
    // t = sqrt((value - 0.1) × 2000) and sqrt(250 × value); the thumb spans
    // trunc(h + 2 + t) .. trunc(h + 8 + t) and v .. v + 11.
    GaussianBlurSlider radius(kRadiusAt, 0.1);
    EXPECT_EQ(radius.ThumbOffset(), 0.0);
    EXPECT_EQ(radius.ThumbRect(), MakeRect(250, 27, 261, 33));
    radius.SetValue(20.0);
    EXPECT_NEAR(radius.ThumbOffset(), 199.4993734, 1e-6);
    EXPECT_EQ(radius.ThumbRect(), MakeRect(250, 226, 261, 232));
    radius.SetValue(5.1);
    EXPECT_DOUBLE_EQ(radius.ThumbOffset(), 100.0);
    EXPECT_EQ(radius.ThumbRect(), MakeRect(250, 127, 261, 133));
    MaskIntensitySlider intensity(kIntensityAt, 40.0);
    EXPECT_DOUBLE_EQ(intensity.ThumbOffset(), 100.0);
    EXPECT_EQ(intensity.ThumbRect(), MakeRect(310, 127, 321, 133));
    intensity.SetValue(160.0);
    EXPECT_DOUBLE_EQ(intensity.ThumbOffset(), 200.0);
}

TEST(QuadraticSliders, ValuesStoredOutOfRangeKeepTheThumbOnTheTrack)
{
    // A remembered value below the radius range would take the square root
    // of a negative number; one above either range would draw the thumb
    // over the value's text.
    const GaussianBlurSlider low(kRadiusAt, 0.05);
    EXPECT_EQ(low.ThumbOffset(), 0.0);
    const GaussianBlurSlider high(kRadiusAt, 50.0);
    EXPECT_EQ(high.ThumbOffset(), 200.0);
    const GaussianBlurSlider nan(kRadiusAt, std::nan(""));
    EXPECT_EQ(nan.ThumbOffset(), 0.0);
    EXPECT_EQ(nan.ValueText(), "0.1");
    const MaskIntensitySlider negative(kIntensityAt, -4.0);
    EXPECT_EQ(negative.ThumbOffset(), 0.0);
    EXPECT_EQ(negative.ValueText(), "-4.0");
}

TEST(QuadraticSliders, PointerMappingClampsToTheTrack)
{
    const GaussianBlurSlider radius(kRadiusAt, 1.0);
    EXPECT_EQ(radius.ValueForPointer(TrackX(kRadiusAt, 0)), 0.0);
    EXPECT_EQ(radius.ValueForPointer(TrackX(kRadiusAt, 200)), 20.0);
    EXPECT_EQ(radius.ValueForPointer(TrackX(kRadiusAt, 100)), 5.0);
    EXPECT_EQ(radius.ValueForPointer(-1000), 0.0);
    EXPECT_EQ(radius.ValueForPointer(5000), 20.0);
    const MaskIntensitySlider intensity(kIntensityAt, 1.0);
    EXPECT_EQ(intensity.ValueForPointer(TrackX(kIntensityAt, 100)), 40.0);
    EXPECT_EQ(intensity.ValueForPointer(TrackX(kIntensityAt, 200)), 160.0);
    EXPECT_EQ(intensity.ValueForPointer(TrackX(kIntensityAt, 250)), 160.0);
    EXPECT_EQ(intensity.ValueForPointer(TrackX(kIntensityAt, -9)), 0.0);
}

TEST(QuadraticSliders, DroppedThumbIsDrawnNearThePointer)
{
    // Intensity: the value rule moves d² / 250 by at most 0.05, so the thumb
    // drawn lands within |t² - d²| / (t + d) <= 12.5 / d pixels of d.
    MaskIntensitySlider intensity(kIntensityAt, 0.0);
    double previous = -1.0;
    for (int d = 0; d <= 200; ++d) {
        intensity.SetValue(intensity.ValueForPointer(TrackX(kIntensityAt, d)));
        EXPECT_GE(intensity.GetValue(), previous) << d; // monotone
        previous = intensity.GetValue();
        EXPECT_LE(std::abs(intensity.ThumbOffset() - d), d == 0 ? 0.0 : 12.5 / d) << d;
    }
    // Radius: the drag lacks the drawing's 0.1 offset, so the thumb lands at
    // about e = sqrt(d² - 200) (the rule's 0.05 moves t² by up to 100, so t
    // is within 100 / e of e), short of the pointer by up to 15 pixels near
    // the left end and by half a pixel at the right end.
    GaussianBlurSlider radius(kRadiusAt, 0.1);
    for (int d = 0; d <= 200; ++d) {
        radius.SetValue(radius.ValueForPointer(TrackX(kRadiusAt, d)));
        const double expected = std::sqrt(std::max(0.0, double(d) * d - 200.0));
        EXPECT_LE(std::abs(radius.ThumbOffset() - expected), d <= 15 ? 15.0 : 100.0 / expected) << d;
    }
}

TEST(QuadraticSliders, NudgesStepWithoutRounding)
{
    GaussianBlurSlider radius(kRadiusAt, 0.2);
    EXPECT_TRUE(radius.NudgeSlider(false, false));
    EXPECT_DOUBLE_EQ(radius.GetValue(), 0.15);
    EXPECT_EQ(radius.ValueText(), "0.1");
    EXPECT_FALSE(radius.NudgeSlider(false, false));
    EXPECT_DOUBLE_EQ(radius.GetValue(), 0.15);
    EXPECT_FALSE(radius.NudgeSlider(false, true));

    radius.SetValue(19.5);
    EXPECT_TRUE(radius.NudgeSlider(true, true));
    EXPECT_EQ(radius.GetValue(), 20.0);
    EXPECT_FALSE(radius.NudgeSlider(true, false));
    EXPECT_EQ(radius.GetValue(), 20.0);

    radius.SetValue(0.1);
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(radius.NudgeSlider(true, false));
    EXPECT_EQ(radius.GetValue(), 0.1 + 0.1 + 0.1 + 0.1 + 0.1 + 0.1 + 0.1 + 0.1);
    EXPECT_EQ(radius.GetValue(), 0.7999999999999999);
    EXPECT_EQ(radius.ValueText(), "0.7");

    radius.SetValue(3.0);
    EXPECT_TRUE(radius.NudgeSlider(false, true));
    EXPECT_EQ(radius.GetValue(), 2.0);

    MaskIntensitySlider intensity(kIntensityAt, 0.5);
    EXPECT_TRUE(intensity.NudgeSlider(false, true));
    EXPECT_EQ(intensity.GetValue(), 0.0);
    EXPECT_FALSE(intensity.NudgeSlider(false, false));
    intensity.SetValue(160.0);
    EXPECT_FALSE(intensity.NudgeSlider(true, false));
    EXPECT_FALSE(intensity.NudgeSlider(true, true));
    intensity.SetValue(159.5);
    EXPECT_TRUE(intensity.NudgeSlider(true, false));
    EXPECT_DOUBLE_EQ(intensity.GetValue(), 159.6);
    EXPECT_TRUE(intensity.NudgeSlider(true, true));
    EXPECT_EQ(intensity.GetValue(), 160.0);
}

TEST(QuadraticSliders, PressBesideTheThumbDoesNothing)
{
    GaussianBlurSlider radius(kRadiusAt, 5.1); // thumb at 127 .. 133
    for (QPoint press : {QPoint(126, 255), QPoint(133, 255), QPoint(130, 249), QPoint(130, 261), QPoint(60, 255)}) {
        ScriptedDrag drag(press, {QPoint(300, 255)});
        bool hit = true;
        EXPECT_FALSE(radius.ProcessMouse(drag.at, hit));
        EXPECT_FALSE(hit);
        EXPECT_EQ(radius.GetValue(), 5.1);
    }
}

TEST(QuadraticSliders, ClickOnTheThumbWithoutMovingChangesNothing)
{
    GaussianBlurSlider radius(kRadiusAt, 5.1);
    ScriptedDrag drag(ThumbCentre(radius), {});
    bool hit = false;
    // The thumb's centre maps back to 5.0 (5.1 is drawn at t = 100 and the
    // centre is at d = 100): a click that recomputed blurred again.
    EXPECT_FALSE(radius.ProcessMouse(drag.at, hit));
    EXPECT_TRUE(hit);
    EXPECT_EQ(radius.GetValue(), 5.1);

    MaskIntensitySlider intensity(kIntensityAt, 40.0);
    ScriptedDrag again(ThumbCentre(intensity), {});
    RecordingOwner owner(&intensity);
    EXPECT_FALSE(intensity.ProcessMouse(again.at, hit, &owner, 3));
    EXPECT_TRUE(hit);
    EXPECT_EQ(intensity.GetValue(), 40.0);
    EXPECT_TRUE(owner.indices.empty());
}

TEST(QuadraticSliders, DragToEitherEnd)
{
    GaussianBlurSlider radius(kRadiusAt, 5.1);
    {
        ScriptedDrag drag(ThumbCentre(radius), {QPoint(90, 255), QPoint(-40, 300)});
        bool hit = false;
        EXPECT_TRUE(radius.ProcessMouse(drag.at, hit));
        EXPECT_TRUE(hit);
        EXPECT_EQ(radius.GetValue(), 0.1); // 0.0 raised to the minimum
    }
    {
        ScriptedDrag drag(ThumbCentre(radius), {QPoint(400, 250)});
        bool hit = false;
        EXPECT_TRUE(radius.ProcessMouse(drag.at, hit));
        EXPECT_EQ(radius.GetValue(), 20.0);
    }
    MaskIntensitySlider intensity(kIntensityAt, 0.0);
    ScriptedDrag drag(ThumbCentre(intensity), {QPoint(TrackX(kIntensityAt, 100), 315)});
    bool hit = false;
    EXPECT_TRUE(intensity.ProcessMouse(drag.at, hit, nullptr, 0));
    EXPECT_EQ(intensity.GetValue(), 40.0);
}

TEST(QuadraticSliders, DropsOnExactTenthsKeepThem)
{
    // d = 65 gives 4225 / 250 = 16.9 and d = 130 gives 67.6 exactly; d = 130
    // on the radius track gives 8.45, half way, which rounds up.
    const struct {
        int d;
        double value;
    } intensityDrops[] = {{65, 16.9}, {130, 67.6}, {5, 0.1}, {3, 0.0}};
    for (const auto& drop : intensityDrops) {
        MaskIntensitySlider intensity(kIntensityAt, 0.0);
        ScriptedDrag drag(ThumbCentre(intensity), {QPoint(TrackX(kIntensityAt, drop.d), 315)});
        bool hit = false;
        (void)intensity.ProcessMouse(drag.at, hit, nullptr, 0); // the value is what counts here
        EXPECT_EQ(intensity.GetValue(), drop.value) << drop.d;
    }
    GaussianBlurSlider radius(kRadiusAt, 0.1);
    ScriptedDrag drag(ThumbCentre(radius), {QPoint(TrackX(kRadiusAt, 130), 255)});
    bool hit = false;
    EXPECT_TRUE(radius.ProcessMouse(drag.at, hit));
    EXPECT_EQ(radius.GetValue(), 8.5);
}

TEST(QuadraticSliders, IntensityDragTellsTheOwnerOfHorizontalStepsOnly)
{
    MaskIntensitySlider intensity(kIntensityAt, 0.0);
    RecordingOwner owner(&intensity);
    const QPoint press = ThumbCentre(intensity);                           // d = 0 .. 1 (thumb 27 .. 33)
    ScriptedDrag drag(press, {QPoint(press.x(), press.y() + 30),           // vertical: ignored
                              QPoint(TrackX(kIntensityAt, 50), press.y()), // 10.0
                              QPoint(TrackX(kIntensityAt, 50), 0),         // vertical again
                              QPoint(TrackX(kIntensityAt, 100), 0),        // 40.0
                              QPoint(TrackX(kIntensityAt, 150), 999)});    // 90.0, the release
    bool hit = false;
    EXPECT_TRUE(intensity.ProcessMouse(drag.at, hit, &owner, 6));
    EXPECT_EQ(owner.indices, (std::vector<int>{6, 6, 6}));
    EXPECT_EQ(owner.values, (std::vector<double>{10.0, 40.0, 90.0}));
    EXPECT_EQ(intensity.GetValue(), 90.0);
}

TEST(QuadraticSliders, RadiusDragCountsAnyMotion)
{
    // The radius slider recomputes on a vertical move too (there is no owner
    // to tell); a drag that comes back where it began reports no change.
    GaussianBlurSlider radius(kRadiusAt, 5.1);
    const QPoint press = ThumbCentre(radius);
    radius.SetValue(5.0); // the value a drop at the centre gives
    ScriptedDrag drag(press, {QPoint(press.x(), press.y() + 40), QPoint(200, 255), press});
    bool hit = false;
    EXPECT_FALSE(radius.ProcessMouse(drag.at, hit));
    EXPECT_TRUE(hit);
    EXPECT_EQ(radius.GetValue(), 5.0);
}
