// tests/unit/AlignByCentroidTest.cpp: centroid alignment of stars at known
// integer shifts (channels together and apart), the step cap, the refusals
// and the movie tracker at and over the image's edges.
#include "engine/AlignByCentroid.h"

#include <gtest/gtest.h>

#include "imaging/Measurements.h"
#include "tests/unit/AlignClipsFixture.h"

namespace {

constexpr int kW = 97;
constexpr int kH = 75;

TEST(CentroidSteps, StopAtTwentyAndAtZero)
{
    int applied = 0;
    CentroidSearchClip clip;
    clip.measure = [](Point d[3]) {
        d[0] = d[1] = d[2] = MakePoint(1, 0); // never converges
        return true;
    };
    clip.apply = [&applied](const Point*) { ++applied; };
    clip.runStatus = [] { return 0; };
    EXPECT_EQ(AlignByCentroidSteps(clip), 0);
    EXPECT_EQ(applied, kMaxCentroidSteps);

    // One channel still off keeps it going; all at zero stops at once.
    applied = 0;
    int remaining = 3;
    clip.measure = [&remaining](Point d[3]) {
        d[0] = d[1] = Point{};
        d[2] = remaining > 0 ? MakePoint(0, 1) : Point{};
        --remaining;
        return true;
    };
    EXPECT_EQ(AlignByCentroidSteps(clip), 0);
    EXPECT_EQ(applied, 3);

    // A cancel after the first step keeps it and stops.
    applied = 0;
    clip.measure = [](Point d[3]) {
        d[0] = d[1] = d[2] = MakePoint(1, 1);
        return true;
    };
    clip.runStatus = [&applied] { return applied >= 1 ? 2 : 0; };
    EXPECT_EQ(AlignByCentroidSteps(clip), 2);
    EXPECT_EQ(applied, 1);
}

class CentroidJobTest : public AlignClipsFixture {};

TEST_F(CentroidJobTest, SingleStarShiftsRecoveredExactly)
{
    const GaussianStar star{48, 37, 2.5, 230};
    const Point shifts[] = {Point{}, MakePoint(3, -2), MakePoint(-9, 11), MakePoint(12, -12), Point{}};
    for (Point s : shifts)
        AddImage(StarFieldImage(kW, kH, {star}, s, s, s));
    gOperationBoundsRect = MakeRect(14, 14, 62, 82);
    SelectAll();
    RunJob([] { AutoAlignFramesByCentroid(); });
    for (std::size_t i = 0; i < std::size(shifts); ++i)
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(gFrames[i]->GetAlignment(c), Negated(shifts[i])) << "clip " << i << " channel " << c;
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(CentroidJobTest, ChannelsApartEndApart)
{
    const GaussianStar star{50, 38, 2.0, 200};
    AddImage(StarFieldImage(kW, kH, {star}, Point{}, Point{}, Point{}));
    const Point r = MakePoint(4, -6), g = MakePoint(-3, 2), b = MakePoint(7, 5);
    Frame* clip = AddImage(StarFieldImage(kW, kH, {star}, r, g, b));
    gOperationBoundsRect = MakeRect(16, 20, 60, 80);
    gAlignChannelsSeparately = true;
    gTempSelectionIndex = 1;
    RunJob([] { AutoAlignFramesByCentroid(); });
    EXPECT_EQ(clip->GetAlignment(1), Negated(r));
    EXPECT_EQ(clip->GetAlignment(2), Negated(g));
    EXPECT_EQ(clip->GetAlignment(3), Negated(b));
}

TEST_F(CentroidJobTest, ThresholdLeavesFaintStarOut)
{
    // A faint star below the threshold does not pull the centroid.
    const GaussianStar bright{40, 30, 2.0, 240}, faint{60, 45, 2.0, 60};
    AddImage(StarFieldImage(kW, kH, {bright, faint}, Point{}, Point{}, Point{}));
    auto moved = StarFieldImage(kW, kH, {GaussianStar{45, 32, 2.0, 240}, faint}, Point{}, Point{}, Point{});
    Frame* clip = AddImage(std::move(moved));
    gOperationBoundsRect = MakeRect(10, 10, 65, 85);
    gAlignmentBrightnessThreshold = 100;
    gTempSelectionIndex = 1;
    RunJob([] { AutoAlignFramesByCentroid(); });
    EXPECT_EQ(clip->GetAlignment(1), MakePoint(-2, -5));
}

TEST_F(CentroidJobTest, RefusalsBeep)
{
    const GaussianStar star{48, 37, 2.5, 230};
    AddImage(StarFieldImage(kW, kH, {star}, Point{}, Point{}, Point{}));
    AddImage(StarFieldImage(kW, kH, {star}, MakePoint(1, 1), MakePoint(1, 1), MakePoint(1, 1)));
    gTempSelectionIndex = 1;
    AutoAlignFramesByCentroid(); // no bounds rectangle
    EXPECT_EQ(mUser.BeepCount(), 1);
    gOperationBoundsRect = MakeRect(14, 14, 62, 82);
    gTempSelectionIndex = 0; // the reference alone
    AutoAlignFramesByCentroid();
    EXPECT_EQ(mUser.BeepCount(), 2);
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(gFrames[1]->GetAlignment(1), Point{});
    EXPECT_EQ(mUser.AlertCount(), 0);
}

// ---------------------------------------------------------------- tracker

std::unique_ptr<GWorldWrapper> Target(int x, int y)
{
    return StarFieldImage(kW, kH, {GaussianStar{static_cast<double>(x), static_cast<double>(y), 2.0, 250}}, Point{},
                          Point{}, Point{});
}

Point FirstCentroid(const GWorldWrapper& image, Rect rect)
{
    Point c;
    CalculateValueCentroid(image, rect, 0, c);
    return c;
}

TEST(CentroidTracker, UnmovedTargetKeepsTheOffset)
{
    const Rect rect = MakeRect(20, 30, 44, 54); // the star at (42, 32) sits at its centre
    auto first = Target(42, 32);
    const Point c = FirstCentroid(*first, rect);
    EXPECT_EQ(c, MakePoint(32, 42));
    EXPECT_EQ(DetermineAlignmentByCentroid(*first, rect, c, Point{}), Point{});
    auto later = Target(47, 35);
    EXPECT_EQ(DetermineAlignmentByCentroid(*later, rect, c, MakePoint(3, 5)), MakePoint(3, 5));
}

TEST(CentroidTracker, FollowsADriftingTarget)
{
    const Rect rect = MakeRect(10, 6, 30, 26);
    auto first = Target(16, 20);
    const Point c = FirstCentroid(*first, rect);
    Point offset{};
    for (int k = 1; k <= 10; ++k) {
        auto frame = Target(16 + 5 * k, 20 + 2 * k);
        offset = DetermineAlignmentByCentroid(*frame, rect, c, offset);
        ASSERT_EQ(offset, MakePoint(static_cast<int16_t>(2 * k), static_cast<int16_t>(5 * k))) << "frame " << k;
    }
}

TEST(CentroidTracker, RectanglesAtAndOverTheEdgesStayInside)
{
    auto image = Target(kW / 2, kH / 2);
    const Rect inside = MakeRect(0, 0, kH, kW);
    auto within = [&](Rect rect, Point offset) {
        const int top = rect.top + offset.v, left = rect.left + offset.h;
        const int height = rect.bottom - rect.top, width = rect.right - rect.left;
        if (width <= kW) {
            EXPECT_GE(left, 0);
            EXPECT_LE(left + width, kW);
        }
        if (height <= kH) {
            EXPECT_GE(top, 0);
            EXPECT_LE(top + height, kH);
        }
    };
    const Rect rects[] = {MakeRect(0, 0, 20, 20),       MakeRect(kH - 20, kW - 20, kH, kW), MakeRect(-10, -10, 10, 10),
                          MakeRect(kH - 5, kW - 5, kH + 15, kW + 15), MakeRect(30, -15, 50, 5), MakeRect(-8, 40, 12, 60),
                          MakeRect(-20, -20, kH + 20, kW + 20), inside};
    const Point offsets[] = {Point{}, MakePoint(-30, -30), MakePoint(40, 40), MakePoint(0, 200), MakePoint(-200, 0)};
    for (Rect rect : rects)
        for (Point offset : offsets) {
            const Point c = MakePoint(static_cast<int16_t>((rect.top + rect.bottom) / 2),
                                      static_cast<int16_t>((rect.left + rect.right) / 2));
            const Point result = DetermineAlignmentByCentroid(*image, rect, c, offset);
            within(rect, result);
        }
}

} // namespace
