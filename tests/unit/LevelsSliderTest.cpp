// tests/unit/LevelsSliderTest.cpp: the levels slider without a window: thumb
// placement, the drag rules and their clamping, the drag loop driven by a
// scripted pointer, nudges, labels, and a slider of no frames.
#include "tools/LevelsSlider.h"

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "shell/PointerInput.h"
#include "tools/LiveSliderOwner.h"

namespace {

// The dialog's red slider: under the histogram at (10, 100), 4 frames.
constexpr int kH = 10, kV = 100;
constexpr double kScale = 4.0;

class RecordingOwner final : public LiveSliderOwner {
public:
    explicit RecordingOwner(const LevelsSlider& slider) : mSlider(slider) {}
    void ProcessLiveSliderUpdate(int index) override
    {
        indices.push_back(index);
        blacks.push_back(mSlider.Black());
        whites.push_back(mSlider.White());
        gammas.push_back(mSlider.Gamma());
    }
    std::vector<int> indices;
    std::vector<double> blacks, whites, gammas;

private:
    const LevelsSlider& mSlider;
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

QPoint Centre(const Rect& r)
{
    return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

} // namespace

TEST(LevelsSlider, StartsNeutralWithThumbsInPlace)
{
    LevelsSlider s(kH, kV, 1, kScale);
    EXPECT_EQ(s.Black(), 0.0);
    EXPECT_EQ(s.White(), 1020.0);
    EXPECT_EQ(s.Gamma(), 1.0);
    EXPECT_EQ(s.SelectedThumb(), kLevelsNoThumb);
    double black, white, inverse;
    s.GetCutoffs(black, white, inverse);
    EXPECT_EQ(black, 0.0);
    EXPECT_EQ(white, 1020.0);
    EXPECT_EQ(inverse, 1.0);
    // Point thumbs 11 × 6 at left h - 3 + point / scale, top v + 55.
    EXPECT_EQ(s.BlackThumb(), MakeRect(155, 7, 161, 18));
    EXPECT_EQ(s.WhiteThumb(), MakeRect(155, 262, 161, 273));
    // Gamma 6 × 11 at h + 261, top trunc(v + 47 - sqrt(250)) = trunc(131.19).
    EXPECT_EQ(s.GammaThumb(), MakeRect(131, 271, 142, 277));
}

TEST(LevelsSlider, SetCutoffsPlacesThumbsAndReportsChange)
{
    LevelsSlider s(kH, kV, 0, kScale);
    EXPECT_FALSE(s.SetCutoffs(0.0, 1020.0, 1.0));
    EXPECT_TRUE(s.SetCutoffs(402.0, 803.0, 10.0));
    EXPECT_EQ(s.BlackThumb().left, 10 - 3 + 100); // 402 / 4 = 100.5, truncated
    EXPECT_EQ(s.WhiteThumb().left, 10 - 3 + 200); // 200.75
    EXPECT_EQ(s.GammaThumb().top, kV - 3);        // gamma 10 at the top
    EXPECT_TRUE(s.SetCutoffs(402.0, 803.0, 0.0));
    EXPECT_EQ(s.GammaThumb().top, kV + 47); // gamma 0 at the bottom
    double black, white, inverse;
    s.GetCutoffs(black, white, inverse);
    EXPECT_EQ(inverse, std::numeric_limits<double>::infinity());
    // Stored without checks, as the dialog hands them over.
    EXPECT_TRUE(s.SetCutoffs(900.0, 100.0, 20.0));
    EXPECT_EQ(s.Black(), 900.0);
    EXPECT_EQ(s.White(), 100.0);
}

TEST(LevelsSlider, BlackDragMapsAndClamps)
{
    LevelsSlider s(kH, kV, 1, kScale);
    EXPECT_TRUE(s.MoveBlackTo(kH + 100));
    EXPECT_EQ(s.Black(), 400.0);
    EXPECT_FALSE(s.MoveBlackTo(kH + 100)); // unchanged
    EXPECT_TRUE(s.MoveBlackTo(kH - 40));   // left of the track: 0
    EXPECT_EQ(s.Black(), 0.0);
    s.SetCutoffs(0.0, 600.0, 1.0);
    EXPECT_TRUE(s.MoveBlackTo(kH + 200)); // 800 >= white: white - 1
    EXPECT_EQ(s.Black(), 599.0);
    EXPECT_FALSE(s.MoveBlackTo(kH + 150)); // exactly white: white - 1 as well, unchanged
    EXPECT_FALSE(s.MoveBlackTo(kH + 400));
    EXPECT_EQ(s.Black(), 599.0);
    EXPECT_EQ(s.BlackThumb().left, static_cast<int>(kH - 3 + 599.0 / 4));
}

TEST(LevelsSlider, WhiteDragMapsAndClamps)
{
    LevelsSlider s(kH, kV, 2, kScale);
    s.SetCutoffs(400.0, 1020.0, 1.0);
    EXPECT_TRUE(s.MoveWhiteTo(kH + 200));
    EXPECT_EQ(s.White(), 800.0);
    EXPECT_TRUE(s.MoveWhiteTo(kH + 50)); // at or below black: black + 1
    EXPECT_EQ(s.White(), 401.0);
    EXPECT_FALSE(s.MoveWhiteTo(kH + 100)); // 400 = black: black + 1 again, unchanged
    EXPECT_EQ(s.White(), 401.0);
    EXPECT_TRUE(s.MoveWhiteTo(kH + 999)); // clamped to the track's end: 255 × 4
    EXPECT_EQ(s.White(), 1020.0);
}

TEST(LevelsSlider, GammaDragIsQuadratic)
{
    LevelsSlider s(kH, kV, 3, kScale);
    EXPECT_TRUE(s.MoveGammaTo(kV));
    EXPECT_EQ(s.Gamma(), 10.0);
    EXPECT_TRUE(s.MoveGammaTo(kV + 25)); // 25² / 250
    EXPECT_EQ(s.Gamma(), 2.5);
    EXPECT_TRUE(s.MoveGammaTo(kV + 999)); // the bottom: gamma 0
    EXPECT_EQ(s.Gamma(), 0.0);
    EXPECT_TRUE(s.MoveGammaTo(kV - 999)); // above the top: 10
    EXPECT_EQ(s.Gamma(), 10.0);
    EXPECT_TRUE(s.MoveGammaTo(kV + 34)); // 16² / 250 = 1.024, drawn 16 above the bottom
    EXPECT_DOUBLE_EQ(s.Gamma(), 1.024);
    EXPECT_EQ(s.GammaThumb().top, kV + 31);
}

TEST(LevelsSlider, DragFollowsThePointerAndTellsTheOwner)
{
    LevelsSlider s(kH, kV, 1, kScale);
    RecordingOwner owner(s);
    const QPoint press = Centre(s.BlackThumb()); // x = h + 2: black would be 8
    bool hit = false;
    {
        // Vertical motion and repeats change nothing; h + 50 gives 200,
        // h + 60 gives 240, and the release back at the press gives 8.
        ScriptedDrag drag(
            press, {press + QPoint(0, 3), QPoint(kH + 50, 150), QPoint(kH + 50, 170), QPoint(kH + 60, 158), press});
        EXPECT_TRUE(s.ProcessMouse(drag.at, hit, &owner, 1));
    }
    EXPECT_TRUE(hit);
    EXPECT_EQ(s.SelectedThumb(), kLevelsBlackThumb);
    EXPECT_EQ(owner.indices, (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(owner.blacks, (std::vector<double>{200.0, 240.0, 8.0}));
    EXPECT_EQ(s.Black(), 8.0);

    // Back to where it was pressed: no change at release.
    s.SetCutoffs(0.0, 1020.0, 1.0);
    owner.indices.clear();
    owner.blacks.clear();
    {
        const QPoint at = Centre(s.BlackThumb());
        ScriptedDrag drag(at, {QPoint(kH + 30, 158), QPoint(kH - 20, 158)});
        EXPECT_FALSE(s.ProcessMouse(drag.at, hit, &owner, 1));
    }
    EXPECT_TRUE(hit);
    // 120, then 0 from the left of the track: two live steps, no net change.
    EXPECT_EQ(owner.blacks, (std::vector<double>{120.0, 0.0}));
}

TEST(LevelsSlider, PressesFindThumbsInOrder)
{
    LevelsSlider s(kH, kV, 0, kScale);
    bool hit = true;
    {
        ScriptedDrag drag(QPoint(kH + 100, kV + 20), {QPoint(kH + 120, kV + 20)}); // on the histogram
        EXPECT_FALSE(s.ProcessMouse(drag.at, hit, nullptr, 0));
    }
    EXPECT_FALSE(hit);
    EXPECT_EQ(s.SelectedThumb(), kLevelsNoThumb);
    // White thumb, dragged to h + 128: 512.
    {
        ScriptedDrag drag(Centre(s.WhiteThumb()), {QPoint(kH + 128, kV + 58)});
        EXPECT_TRUE(s.ProcessMouse(drag.at, hit, nullptr, 0));
    }
    EXPECT_TRUE(hit);
    EXPECT_EQ(s.SelectedThumb(), kLevelsWhiteThumb);
    EXPECT_EQ(s.White(), 512.0);
    // Gamma thumb, dragged to the top.
    {
        ScriptedDrag drag(Centre(s.GammaThumb()), {QPoint(kH + 264, kV - 30)});
        EXPECT_TRUE(s.ProcessMouse(drag.at, hit, nullptr, 0));
    }
    EXPECT_EQ(s.SelectedThumb(), kLevelsGammaThumb);
    EXPECT_EQ(s.Gamma(), 10.0);
    // Black and white overlap at the same point: black is found first.
    s.SetCutoffs(400.0, 401.0, 1.0);
    {
        ScriptedDrag drag(Centre(s.BlackThumb()), {});
        EXPECT_FALSE(s.ProcessMouse(drag.at, hit, nullptr, 0));
    }
    EXPECT_EQ(s.SelectedThumb(), kLevelsBlackThumb);
}

TEST(LevelsSlider, NudgesKeepThePointsApart)
{
    LevelsSlider s(kH, kV, 1, kScale);
    EXPECT_FALSE(s.NudgeSlider(true, false)); // nothing selected
    s.SetSelectedThumb(kLevelsBlackThumb);
    EXPECT_FALSE(s.NudgeSlider(false, false)); // already 0
    EXPECT_TRUE(s.NudgeSlider(true, false));
    EXPECT_EQ(s.Black(), 1.0);
    EXPECT_TRUE(s.NudgeSlider(true, true));
    EXPECT_EQ(s.Black(), 11.0);
    EXPECT_TRUE(s.NudgeSlider(false, true));
    EXPECT_EQ(s.Black(), 1.0);
    EXPECT_TRUE(s.NudgeSlider(false, true)); // stops at 0
    EXPECT_EQ(s.Black(), 0.0);
    s.SetCutoffs(95.0, 100.0, 1.0);
    EXPECT_TRUE(s.NudgeSlider(true, true)); // at most white - 1
    EXPECT_EQ(s.Black(), 99.0);
    EXPECT_FALSE(s.NudgeSlider(true, false));

    s.SetSelectedThumb(kLevelsWhiteThumb);
    s.SetCutoffs(95.0, 120.0, 1.0);
    EXPECT_TRUE(s.NudgeSlider(false, true));
    EXPECT_EQ(s.White(), 110.0);
    EXPECT_TRUE(s.NudgeSlider(false, true));
    EXPECT_TRUE(s.NudgeSlider(false, true)); // at least black + 1
    EXPECT_EQ(s.White(), 96.0);
    EXPECT_FALSE(s.NudgeSlider(false, false));
    s.SetCutoffs(0.0, 1015.0, 1.0);
    EXPECT_TRUE(s.NudgeSlider(true, true)); // at most 255 × 4
    EXPECT_EQ(s.White(), 1020.0);
    EXPECT_FALSE(s.NudgeSlider(true, false));
    EXPECT_EQ(s.WhiteThumb().left, kH - 3 + 255);
}

TEST(LevelsSlider, GammaNudgesMultiply)
{
    LevelsSlider s(kH, kV, 1, kScale);
    s.SetSelectedThumb(kLevelsGammaThumb);
    EXPECT_TRUE(s.NudgeSlider(true, false));
    EXPECT_DOUBLE_EQ(s.Gamma(), 1.010101010101);
    EXPECT_TRUE(s.NudgeSlider(true, true));
    EXPECT_DOUBLE_EQ(s.Gamma(), 1.010101010101 * 1.25);
    s.SetCutoffs(0.0, 1020.0, 9.0);
    EXPECT_TRUE(s.NudgeSlider(true, true)); // capped at 10
    EXPECT_EQ(s.Gamma(), 10.0);
    EXPECT_FALSE(s.NudgeSlider(true, false));
    EXPECT_EQ(s.GammaThumb().top, kV - 3);
    EXPECT_TRUE(s.NudgeSlider(false, false));
    EXPECT_DOUBLE_EQ(s.Gamma(), 9.9);
    EXPECT_TRUE(s.NudgeSlider(false, true));
    EXPECT_DOUBLE_EQ(s.Gamma(), 9.9 * 0.8);
    // Down never reaches 0, however often (it ends at the smallest
    // positive double, where a step no longer changes it).
    int steps = 0;
    while (steps < 100000 && s.NudgeSlider(false, true))
        ++steps;
    EXPECT_LT(steps, 100000);
    EXPECT_GT(s.Gamma(), 0.0);
    EXPECT_FALSE(s.NudgeSlider(false, false));
    EXPECT_EQ(s.GammaThumb().top, kV + 47);
}

TEST(LevelsSlider, GammaZeroCanBeNudgedUp)
{
    LevelsSlider s(kH, kV, 1, kScale);
    s.SetSelectedThumb(kLevelsGammaThumb);
    s.SetCutoffs(0.0, 1020.0, 0.0); // dragged to the bottom
    EXPECT_FALSE(s.NudgeSlider(false, false));
    EXPECT_TRUE(s.NudgeSlider(true, false));
    EXPECT_EQ(s.Gamma(), 0.004); // the first drag step above the bottom
    EXPECT_TRUE(s.NudgeSlider(true, true));
    EXPECT_DOUBLE_EQ(s.Gamma(), 0.005);
}

TEST(LevelsSlider, LabelsAreTruncated)
{
    LevelsSlider s(kH, kV, 0, 2.5);
    EXPECT_EQ(s.BlackText(), "0");
    EXPECT_EQ(s.WhiteText(), "637"); // 637.5
    EXPECT_EQ(s.GammaText(), "1.000");
    s.SetCutoffs(12.9, 99.99, 2.3456);
    EXPECT_EQ(s.BlackText(), "12");
    EXPECT_EQ(s.WhiteText(), "99");
    EXPECT_EQ(s.GammaText(), "2.345");
    s.SetCutoffs(0, 1, 10.0);
    EXPECT_EQ(s.GammaText(), "10.000");
    s.SetCutoffs(0, 1, 0.004);
    EXPECT_EQ(s.GammaText(), "0.004");
    s.SetCutoffs(0, 1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(s.GammaText(), "0.000");
}

TEST(LevelsSlider, NoFramesKeepsThumbsAtTheLeft)
{
    // A stack whose clips were all left out has 0 frames: no division by 0
    // reaches the thumbs.
    LevelsSlider s(kH, kV, 0, 0.0);
    EXPECT_EQ(s.White(), 0.0);
    EXPECT_EQ(s.BlackThumb().left, kH - 3);
    EXPECT_EQ(s.WhiteThumb().left, kH - 3);
    EXPECT_TRUE(s.MoveWhiteTo(kH + 100)); // black 0 >= white 0: black + 1
    EXPECT_EQ(s.White(), 1.0);
    EXPECT_FALSE(s.MoveBlackTo(kH + 100)); // 0 × anything stays 0
    EXPECT_EQ(s.Black(), 0.0);
    EXPECT_EQ(s.WhiteThumb().left, kH - 3);
}
