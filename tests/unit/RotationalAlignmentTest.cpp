// tests/unit/RotationalAlignmentTest.cpp: the rotational search against hand
// computations with injected measures, the rectangle-limited trial against
// turning the whole image, a star field turned by a known angle, the
// threshold refusal and the rotation nudges.
#include "engine/RotationalAlignment.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/Rotation.h"
#include "tests/unit/AlignClipsFixture.h"

namespace {

// ---------------------------------------------------------------- search core

struct RecordingClip {
    int truth = 0; // the turn at which the clip matches best
    std::vector<int> measured;
    RotationSearchClip Hooks()
    {
        RotationSearchClip c;
        c.measure = [this](int a) {
            measured.push_back(a);
            return std::abs(a - truth) / 1000.0;
        };
        c.runStatus = [] { return 0; };
        return c;
    }
};

std::vector<bool> Redo(int s, int step)
{
    bool skip[kRotationSkipEntries];
    SetRedoArray(skip, s, step);
    const int used = step == 9 ? 3 : step == 3 ? 5 : 7;
    return std::vector<bool>(skip, skip + used);
}

TEST(RotationSearch, RedoListsByHand)
{
    const bool T = true, F = false;
    EXPECT_EQ(Redo(3, 1), (std::vector<bool>{F, F, F, F, T, T, T}));
    EXPECT_EQ(Redo(-3, 1), (std::vector<bool>{T, T, T, F, F, F, F}));
    EXPECT_EQ(Redo(6, 3), (std::vector<bool>{F, F, T, T, T}));
    EXPECT_EQ(Redo(-6, 3), (std::vector<bool>{T, T, T, F, F}));
    EXPECT_EQ(Redo(9, 9), (std::vector<bool>{F, F, T}));
    EXPECT_EQ(Redo(-9, 9), (std::vector<bool>{T, F, F}));
}

TEST(RotationSearch, TwelveIncrementsAtSizeZero)
{
    RecordingClip clip;
    clip.truth = 12;
    int turned = -1;
    EXPECT_EQ(RotationalAlignmentSearch(clip.Hooks(), 9, turned), 0);
    EXPECT_EQ(turned, 12);
    // By hand: -9, 0, 9 | 18 | 3, 6, 9, 12, 15 | 9 .. 15.
    const std::vector<int> expected = {-9, 0, 9, 18, 3, 6, 9, 12, 15, 9, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(clip.measured, expected);
}

TEST(RotationSearch, NegativeTurnsAndIdentity)
{
    for (int truth : {-12, -1, 0, 5, 40, -33})
        for (int size : {0, 1, 2}) {
            RecordingClip clip;
            clip.truth = truth;
            int turned = 0;
            EXPECT_EQ(RotationalAlignmentSearch(clip.Hooks(), DifferenceSearchStartStep(size), turned), 0);
            EXPECT_EQ(turned, truth) << "size " << size;
        }
}

TEST(RotationSearch, FiftyPassesAtMost)
{
    RotationSearchClip c;
    c.measure = [](int a) { return 1.0 / (1000.0 + a); }; // better ever further on
    c.runStatus = [] { return 0; };
    int turned = 0;
    EXPECT_EQ(RotationalAlignmentSearch(c, 1, turned), 0);
    EXPECT_EQ(turned, 3 * kMaxRotationPassesPerStep);
}

TEST(RotationSearch, TiesGoToTheMostNegativeOffset)
{
    bool all[kRotationSkipEntries] = {true, true, true, true, true, true, true};
    RotationSearchClip c;
    c.measure = [](int) { return 0.25; };
    int best = 99;
    EXPECT_EQ(RotateAtOneResolutionByDifference(c, 3, 10, all, best), 0.25);
    EXPECT_EQ(best, -6);
    c.measure = [](int a) { return a == 2 || a == -2 ? 0.1 : 0.2; };
    EXPECT_EQ(RotateAtOneResolutionByDifference(c, 1, 0, all, best), 0.1);
    EXPECT_EQ(best, -2);
    // Nothing measurable: best 0, value 1.0.
    c.measure = [](int) { return -1.0; };
    EXPECT_EQ(RotateAtOneResolutionByDifference(c, 9, 0, all, best), 1.0);
    EXPECT_EQ(best, 0);
}

TEST(RotationSearch, CancelKeepsWhatWasReached)
{
    RecordingClip clip;
    clip.truth = 30;
    RotationSearchClip c = clip.Hooks();
    int calls = 0;
    c.runStatus = [&calls] { return ++calls == 2 ? 2 : 0; };
    int turned = 0;
    EXPECT_EQ(RotationalAlignmentSearch(c, 9, turned), 2);
    EXPECT_EQ(turned, 9); // the first pass only
}

TEST(RotationSearch, NudgeIncrements)
{
    EXPECT_EQ(RotationNudgeIncrements(true, false, 0), -1);
    EXPECT_EQ(RotationNudgeIncrements(false, false, 0), 1);
    EXPECT_EQ(RotationNudgeIncrements(true, false, 1), -10);
    EXPECT_EQ(RotationNudgeIncrements(false, false, 1), 10);
    EXPECT_EQ(RotationNudgeIncrements(true, true, 0), -2);
    EXPECT_EQ(RotationNudgeIncrements(false, true, 0), 2);
    EXPECT_EQ(RotationNudgeIncrements(true, true, 1), -20);
    EXPECT_EQ(RotationNudgeIncrements(false, true, 1), 20);
}

// ---------------------------------------------------------------- trials

TEST(RotationTrial, RectOnlyEqualsTurningTheWholeImage)
{
    std::mt19937 rng(99);
    const int sizes[][2] = {{61, 47}, {64, 64}, {1, 9}, {9, 1}, {33, 80}};
    for (auto [w, h] : sizes) {
        auto source = MakeImage(w, h);
        FillNoise(*source, static_cast<uint32_t>(rng()));
        const Rect r = MakeRect(static_cast<int16_t>(h / 4), static_cast<int16_t>(w / 5), static_cast<int16_t>(h - h / 5),
                                static_cast<int16_t>(w - w / 4));
        for (int k : {1, 7, 250, 500, 999}) {
            const double angle = k * kRotationIncrementRads;
            auto whole = MakeImage(w, h);
            *whole = *source;
            ASSERT_TRUE(RotateImageNearestNeighbor(*whole, angle));
            auto part = MakeImage(w, h);
            FillFlat(*part, 1, 2, 3);
            ASSERT_TRUE(RotateImageNearestNeighborInRect(*source, *part, angle, r));
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    for (int c = 1; c <= 3; ++c)
                        ASSERT_EQ(part->PixelRow(y)[4 * x + c], whole->PixelRow(y)[4 * x + c])
                            << w << "x" << h << " k " << k << " at " << x << "," << y;
        }
    }
}

TEST(RotationTrial, HalfTurnByHand)
{
    // Turning by pi takes (y, x) from (H - y, W - x); row 0 and column 0 come
    // from outside and are black.
    const int w = 13, h = 8;
    auto source = MakeImage(w, h);
    FillNoise(*source, 5u);
    auto dest = MakeImage(w, h);
    FillFlat(*dest, 7, 7, 7);
    ASSERT_TRUE(RotateImageNearestNeighborInRect(*source, *dest, 500 * kRotationIncrementRads, MakeRect(0, 0, h, w)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 1; c <= 3; ++c) {
                const int expected = (y == 0 || x == 0) ? 0 : source->PixelRow(h - y)[4 * (w - x) + c];
                ASSERT_EQ(dest->PixelRow(y)[4 * x + c], expected) << x << "," << y;
            }
}

// ---------------------------------------------------------------- jobs on clips

constexpr int kW = 120;
constexpr int kH = 100;

std::vector<GaussianStar> Field()
{
    return {{45, 35, 2.5, 230}, {75, 40, 2.0, 180}, {60, 62, 3.0, 250}, {38, 58, 2.0, 140}, {82, 66, 2.2, 200}};
}

// The field as a clip that needs turning by k more increments to match it.
std::vector<GaussianStar> FieldNeedingTurn(int k)
{
    const double a = k * kRotationIncrementRads, cx = kW * 0.5, cy = kH * 0.5;
    std::vector<GaussianStar> stars = Field();
    for (GaussianStar& s : stars) {
        const double dx = s.x - cx, dy = s.y - cy;
        s.x = cx + dx * std::cos(a) + dy * std::sin(a);
        s.y = cy - dx * std::sin(a) + dy * std::cos(a);
    }
    return stars;
}

class RotationJobTest : public AlignClipsFixture {};

TEST_F(RotationJobTest, StarFieldTurnedTwelveIncrementsIsRecovered)
{
    for (int size : {0, 1}) {
        gFrames.clear();
        AddImage(StarFieldImage(kW, kH, Field(), Point{}, Point{}, Point{}));
        AddImage(StarFieldImage(kW, kH, FieldNeedingTurn(12), Point{}, Point{}, Point{}));
        AddImage(StarFieldImage(kW, kH, FieldNeedingTurn(-7), Point{}, Point{}, Point{}));
        gOperationBoundsRect = MakeRect(20, 25, 80, 95);
        SelectAll();
        SetAlignmentModes(AlignmentModes{-1, false, false, size});
        RunJob([] { AutoRotationallyAlignFramesByDifference(); });
        EXPECT_NEAR(gFrames[1]->GetRotation(), 12, 1) << "size " << size;
        EXPECT_NEAR(gFrames[2]->GetRotation(), 1000 - 7, 1) << "size " << size;
        EXPECT_EQ(gFrames[0]->GetRotation(), 0);
        EXPECT_FALSE(gFrames[1]->IsDirty()); // rendered at the end
    }
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(RotationJobTest, ThresholdAboveEveryPixelBeeps)
{
    AddImage(StarFieldImage(kW, kH, Field(), Point{}, Point{}, Point{}));
    AddImage(StarFieldImage(kW, kH, FieldNeedingTurn(12), Point{}, Point{}, Point{}));
    gOperationBoundsRect = MakeRect(20, 25, 80, 95);
    gTempSelectionIndex = 1;
    gAlignmentBrightnessThreshold = 256;
    AutoRotationallyAlignFramesByDifference();
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.BeepCount(), 1);
    EXPECT_EQ(gFrames[1]->GetRotation(), 0);

    gAlignmentBrightnessThreshold = 0;
    gOperationBoundsRect = kNoBoundsRect;
    AutoRotationallyAlignFramesByDifference();
    EXPECT_EQ(mUser.BeepCount(), 2);
    gOperationBoundsRect = MakeRect(20, 25, 80, 95);
    gTempSelectionIndex = 0;
    AutoRotationallyAlignFramesByDifference();
    EXPECT_EQ(mUser.BeepCount(), 3);
    EXPECT_FALSE(IsJobActive());
}

TEST_F(RotationJobTest, NudgesTurnTheSelectedClipsAndWrap)
{
    AddClip(24, 17, 1u);
    AddClip(24, 17, 2u);
    AddClip(24, 17, 3u);
    gImageDim = MakeRect(0, 0, 17, 24);
    NudgeFrameRotation(true, false, 0); // nothing selected
    EXPECT_EQ(mUser.BeepCount(), 1);
    EXPECT_FALSE(IsJobActive());

    gPersistantSelectionIndices = {0, 2};
    RunJob([] { NudgeFrameRotation(true, false, 0); }); // z: 0 - 1
    EXPECT_EQ(gFrames[0]->GetRotation(), 999);
    EXPECT_EQ(gFrames[1]->GetRotation(), 0);
    EXPECT_EQ(gFrames[2]->GetRotation(), 999);
    RunJob([] { NudgeFrameRotation(false, true, 1); }); // X repeated: +20
    EXPECT_EQ(gFrames[0]->GetRotation(), 19);
    RunJob([] { NudgeFrameRotation(true, true, 1); }); // Z repeated: -20
    RunJob([] { NudgeFrameRotation(true, true, 1); });
    EXPECT_EQ(gFrames[2]->GetRotation(), 979);
    EXPECT_FALSE(gFrames[2]->IsDirty());

    // Repeated -9s from 2 stay within a turn.
    gFrames[1]->SetRotation(2);
    for (int i = 0; i < 150; ++i) {
        gFrames[1]->SetRotation(gFrames[1]->GetRotation() - 9);
        ASSERT_GE(gFrames[1]->GetRotation(), 0);
        ASSERT_LT(gFrames[1]->GetRotation(), 1000);
    }
    EXPECT_EQ(gFrames[1]->GetRotation(), ((2 - 9 * 150) % 1000 + 1000) % 1000);
}

} // namespace
