// tests/unit/AlignByDifferenceTest.cpp: the difference search against hand
// computations with injected measures, the alignment job on synthetic
// frames of known shifts (checked also against an exhaustive numpy search),
// nudging, clearing and the refusals.
#include "engine/AlignByDifference.h"

#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "engine/FrameRenderSteps.h"
#include "engine/SummedStack.h"
#include "tests/unit/ClipJobFixture.h"

namespace {

// ---------------------------------------------------------------- search core

// A clip whose content lies `offset` from the reference; the measure grows
// with the distance of the measured point from where the content now is.
struct FakeClip {
    Point offset;    // true position of the content before alignment
    Point alignment; // applied so far
    std::vector<Point> applied;
    int statusCalls = 0;
    int cancelAtStatusCall = -1; // the status call that reports Cancel

    DifferenceSearchClip Hooks()
    {
        DifferenceSearchClip c;
        c.measure = [this](int v, int h) {
            const int dv = v - (offset.v + alignment.v), dh = h - (offset.h + alignment.h);
            return (std::abs(dv) + std::abs(dh)) / 1000.0;
        };
        c.apply = [this](Point s) {
            alignment.v = static_cast<int16_t>(alignment.v + s.v);
            alignment.h = static_cast<int16_t>(alignment.h + s.h);
            applied.push_back(alignment);
        };
        c.runStatus = [this] { return ++statusCalls == cancelAtStatusCall ? 2 : 0; };
        return c;
    }
};

std::vector<bool> Mask(Point s, int step)
{
    bool grid[kSkipGridEntries];
    SetRedoArray(grid, s, step);
    return std::vector<bool>(grid, grid + kSkipGridEntries);
}

// Expected mask from a list of skipped (ev, eh) points, written by hand.
std::vector<bool> Skipping(int step, std::initializer_list<std::pair<int, int>> skipped)
{
    std::vector<bool> m(kSkipGridEntries, true);
    const int hw = DifferenceSearchHalfWidth(step);
    const int n = 2 * hw / step + 1;
    for (auto [ev, eh] : skipped)
        m[static_cast<std::size_t>(((ev + hw) / step) * n + (eh + hw) / step)] = false;
    return m;
}

TEST(DifferenceSearch, StepsAndHalfWidths)
{
    EXPECT_EQ(DifferenceSearchStartStep(0), 9);
    EXPECT_EQ(DifferenceSearchStartStep(1), 3);
    EXPECT_EQ(DifferenceSearchStartStep(2), 1);
    EXPECT_EQ(DifferenceSearchStartStep(-1), 1);
    EXPECT_EQ(DifferenceSearchHalfWidth(9), 9);
    EXPECT_EQ(DifferenceSearchHalfWidth(3), 6);
    EXPECT_EQ(DifferenceSearchHalfWidth(1), 3);
}

TEST(DifferenceSearch, RedoMasksOfStepOne)
{
    // s = (0, 3): columns -3 .. 0 skipped in every row.
    std::vector<std::pair<int, int>> cols;
    for (int v = -3; v <= 3; ++v)
        for (int h = -3; h <= 0; ++h)
            cols.push_back({v, h});
    std::vector<bool> expected(kSkipGridEntries, true);
    for (auto [v, h] : cols)
        expected[static_cast<std::size_t>((v + 3) * 7 + (h + 3))] = false;
    EXPECT_EQ(Mask(MakePoint(0, 3), 1), expected);

    // s = (3, -3): the 16 points with e.v <= 0 and e.h >= 0.
    std::vector<bool> corner(kSkipGridEntries, true);
    int skipped = 0;
    for (int v = -3; v <= 0; ++v)
        for (int h = 0; h <= 3; ++h, ++skipped)
            corner[static_cast<std::size_t>((v + 3) * 7 + (h + 3))] = false;
    EXPECT_EQ(skipped, 16);
    EXPECT_EQ(Mask(MakePoint(3, -3), 1), corner);
}

TEST(DifferenceSearch, RedoMasksOfStepNine)
{
    EXPECT_EQ(Mask(MakePoint(0, 9), 9), Skipping(9, {{-9, -9}, {0, -9}, {9, -9}}));
    EXPECT_EQ(Mask(MakePoint(0, -9), 9), Skipping(9, {{-9, 9}, {0, 9}, {9, 9}}));
    EXPECT_EQ(Mask(MakePoint(9, 0), 9), Skipping(9, {{-9, -9}, {-9, 0}, {-9, 9}}));
    EXPECT_EQ(Mask(MakePoint(-9, 0), 9), Skipping(9, {{9, -9}, {9, 0}, {9, 9}}));
    EXPECT_EQ(Mask(MakePoint(9, 9), 9), Skipping(9, {{-9, -9}}));
    EXPECT_EQ(Mask(MakePoint(-9, -9), 9), Skipping(9, {{9, 9}}));
    EXPECT_EQ(Mask(MakePoint(9, -9), 9), Skipping(9, {{-9, 9}}));
}

TEST(DifferenceSearch, IdenticalClipStaysAtZero)
{
    for (int size : {0, 1, 2}) {
        FakeClip clip;
        EXPECT_EQ(AlignByDifferenceSearch(clip.Hooks(), DifferenceSearchStartStep(size)), 0);
        EXPECT_EQ(clip.alignment, Point{});
        // The first pass is applied (a zero shift); the next step's first pass equals it.
        ASSERT_EQ(clip.applied.size(), 1u) << size;
    }
}

TEST(DifferenceSearch, TwentyColumnsRightAtSizeZero)
{
    FakeClip clip;
    clip.offset = MakePoint(0, 20);
    EXPECT_EQ(AlignByDifferenceSearch(clip.Hooks(), 9), 0);
    // By hand: -9 (border, re-centred on 9), -18, then -21 at step 3, -20 at step 1.
    const std::vector<Point> expected = {MakePoint(0, -9), MakePoint(0, -18), MakePoint(0, -21), MakePoint(0, -20)};
    EXPECT_EQ(clip.applied, expected);
}

TEST(DifferenceSearch, SizeTwoOffsetFiveEndsShortAtMinusThree)
{
    // The step-1 re-centre on 3 measures 4, 5, 6, whose best (4, two away from
    // the content at 2) is no better than the pass before: the search stops.
    FakeClip clip;
    clip.offset = MakePoint(0, 5);
    EXPECT_EQ(AlignByDifferenceSearch(clip.Hooks(), 1), 0);
    EXPECT_EQ(clip.alignment, MakePoint(0, -3));
}

TEST(DifferenceSearch, FiftyPassesAtMost)
{
    // Content ever further to the right: every pass finds its best on the
    // border and improves, so the step stops at 50.
    DifferenceSearchClip c;
    int passesApplied = 0;
    Point total{};
    c.measure = [&total](int, int h) { return 1.0 / (1000.0 + h - total.h); };
    c.apply = [&](Point s) {
        ++passesApplied;
        total.v = static_cast<int16_t>(total.v + s.v);
        total.h = static_cast<int16_t>(total.h + s.h);
    };
    c.runStatus = [] { return 0; };
    EXPECT_EQ(AlignByDifferenceSearch(c, 1), 0);
    EXPECT_EQ(passesApplied, kMaxPassesPerStep);
    // The first pass moves 3; each later one, re-centred on the border, 6.
    EXPECT_EQ(total.h, -3 - 6 * (kMaxPassesPerStep - 1));
}

TEST(DifferenceSearch, PassTiesNegativesAndNothingBelowOne)
{
    bool all[kSkipGridEntries];
    std::fill(all, all + kSkipGridEntries, true);
    Point best;
    DifferenceSearchClip c;
    c.measure = [](int, int) { return 0.5; };
    EXPECT_EQ(AlignAtOneResolutionByDifference(c, 3, Point{}, all, best), 0.5);
    EXPECT_EQ(best, MakePoint(6, 6)); // the first point, (-6, -6), negated

    c.measure = [](int v, int h) { return v == 3 && h == 0 ? -1.0 : 1.0; };
    EXPECT_EQ(AlignAtOneResolutionByDifference(c, 3, Point{}, all, best), 1.0);
    EXPECT_EQ(best, Point{});

    // Skipped points are not measured.
    bool none[kSkipGridEntries];
    std::fill(none, none + kSkipGridEntries, false);
    int calls = 0;
    c.measure = [&calls](int, int) {
        ++calls;
        return 0.0;
    };
    EXPECT_EQ(AlignAtOneResolutionByDifference(c, 1, MakePoint(2, 2), none, best), 1.0);
    EXPECT_EQ(calls, 0);
}

TEST(DifferenceSearch, CancelLeavesThePassUnapplied)
{
    FakeClip clip;
    clip.offset = MakePoint(0, 20);
    clip.cancelAtStatusCall = 2;
    EXPECT_EQ(AlignByDifferenceSearch(clip.Hooks(), 9), 2);
    EXPECT_EQ(clip.applied, std::vector<Point>{MakePoint(0, -9)});
}

TEST(DifferenceSearch, NudgeSteps)
{
    EXPECT_EQ(NudgeOffsetForKey(28, false, 0), MakePoint(0, -1));
    EXPECT_EQ(NudgeOffsetForKey(29, false, 1), MakePoint(0, 5));
    EXPECT_EQ(NudgeOffsetForKey(30, false, 2), MakePoint(-25, 0));
    EXPECT_EQ(NudgeOffsetForKey(31, false, 3), MakePoint(125, 0));
    EXPECT_EQ(NudgeOffsetForKey(31, true, 3), MakePoint(250, 0));
    EXPECT_EQ(NudgeOffsetForKey(28, true, 2), MakePoint(0, -50));
    EXPECT_EQ(NudgeOffsetForKey('a', false, 0), Point{});
}

TEST(DifferenceSearch, NudgeClampOnFortyByThirty)
{
    // v within [5 - 30, 30 - 5], h within [5 - 40, 40 - 5].
    EXPECT_EQ(ClampedNudge(Point{}, MakePoint(125, 125), 40, 30), MakePoint(25, 35));
    EXPECT_EQ(ClampedNudge(Point{}, MakePoint(-125, -125), 40, 30), MakePoint(-25, -35));
    EXPECT_EQ(ClampedNudge(MakePoint(20, 30), MakePoint(5, 5), 40, 30), MakePoint(25, 35));
    EXPECT_EQ(ClampedNudge(MakePoint(20, 30), MakePoint(1, 1), 40, 30), MakePoint(21, 31));
    // Axes shorter than 5 pixels keep no offset.
    EXPECT_EQ(ClampedNudge(Point{}, MakePoint(1, 1), 4, 3), Point{});
}

// ---------------------------------------------------------------- jobs on clips

constexpr int kWidth = 96;
constexpr int kHeight = 80;

uint8_t Texture(int x, int y, uint32_t seed)
{
    uint32_t z = static_cast<uint32_t>(x * 73856093) ^ static_cast<uint32_t>(y * 19349663) ^ seed;
    z ^= z >> 13;
    z *= 0x5bd1e995u;
    z ^= z >> 15;
    return static_cast<uint8_t>(z & 0x7F);
}

// A disc of radius 22 whose texture moves with it, centred (dx, dy) from the
// image centre, on black; each channel may be placed on its own.
std::unique_ptr<GWorldWrapper> TexturedDisc(Point red, Point green, Point blue)
{
    auto image = MakeImage(kWidth, kHeight);
    const Point shifts[3] = {red, green, blue};
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* p = image->PixelRow(y);
        for (int x = 0; x < kWidth; ++x) {
            p[4 * x] = 0xFF;
            for (int c = 0; c < 3; ++c) {
                const int u = x - kWidth / 2 - shifts[c].h, w = y - kHeight / 2 - shifts[c].v;
                const bool inside = u * u + w * w <= 22 * 22;
                p[4 * x + 1 + c] = inside ? static_cast<uint8_t>(120 + Texture(u, w, 7u * (c + 1))) : 0;
            }
        }
    }
    return image;
}

std::unique_ptr<GWorldWrapper> StarField(Point shift)
{
    auto image = MakeImage(kWidth, kHeight);
    FillFlat(*image, 0, 0, 0);
    const double stars[][3] = {{30, 30, 200}, {50, 25, 150}, {62, 44, 230}, {40, 52, 120}, {57, 33, 90}, {35, 41, 180}};
    for (const auto& s : stars)
        AddStar(*image, s[0] + shift.h, s[1] + shift.v, 2.5, s[2]);
    return image;
}

class AlignJobTest : public ClipJobFixture {
protected:
    Frame* Add(std::unique_ptr<GWorldWrapper> image)
    {
        auto modified = MakeImage(image->Width(), image->Height());
        *modified = *image;
        gImageDim = MakeRect(0, 0, image->Height(), image->Width());
        gFrames.push_back(
            std::make_unique<Frame>(static_cast<int>(gFrames.size()), image.release(), modified.release()));
        return gFrames.back().get();
    }
    void SelectAll()
    {
        gPersistantSelectionIndices.clear();
        for (int i = 0; i < static_cast<int>(gFrames.size()); ++i)
            gPersistantSelectionIndices.push_back(i);
    }
    void Align()
    {
        AutoAlignFramesByDifference();
        ASSERT_TRUE(IsJobActive());
        RunJobToEnd();
    }
};

TEST_F(AlignJobTest, TexturedDiscShiftsRecoveredExactly)
{
    const Point shifts[] = {MakePoint(0, 0), MakePoint(3, -5), MakePoint(-7, 6), MakePoint(12, 14), MakePoint(-2, -17)};
    for (Point s : shifts)
        Add(TexturedDisc(s, s, s));
    gOperationBoundsRect = MakeRect(18, 26, 62, 70);
    SelectAll();
    SetAlignmentModes(AlignmentModes{0, false, false, -1});
    Align();
    for (std::size_t i = 1; i < std::size(shifts); ++i)
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(gFrames[i]->GetAlignment(c),
                      MakePoint(static_cast<int16_t>(-shifts[i].v), static_cast<int16_t>(-shifts[i].h)))
                << "clip " << i << " channel " << c;
    EXPECT_EQ(gFrames[0]->GetAlignment(1), Point{}); // the reference never moves
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(AlignJobTest, StarFieldShiftsRecoveredExactly)
{
    const Point shifts[] = {MakePoint(0, 0), MakePoint(2, -3), MakePoint(-4, 5), MakePoint(1, 1)};
    for (Point s : shifts)
        Add(StarField(s));
    gOperationBoundsRect = MakeRect(15, 20, 65, 76);
    SelectAll();
    SetAlignmentModes(AlignmentModes{1, false, false, -1});
    Align();
    for (std::size_t i = 1; i < std::size(shifts); ++i)
        EXPECT_EQ(gFrames[i]->GetAlignment(2),
                  MakePoint(static_cast<int16_t>(-shifts[i].v), static_cast<int16_t>(-shifts[i].h)))
            << "clip " << i;
}

TEST_F(AlignJobTest, ChannelsAlignedSeparately)
{
    Add(TexturedDisc(Point{}, Point{}, Point{}));
    const Point r = MakePoint(4, -6), g = MakePoint(-3, 2), b = MakePoint(7, 5);
    Frame* clip = Add(TexturedDisc(r, g, b));
    gOperationBoundsRect = MakeRect(18, 26, 62, 70);
    gAlignChannelsSeparately = true;
    gTempSelectionIndex = 1;
    SetAlignmentModes(AlignmentModes{0, false, false, -1});
    Align();
    EXPECT_EQ(clip->GetAlignment(1), MakePoint(-4, 6));
    EXPECT_EQ(clip->GetAlignment(2), MakePoint(3, -2));
    EXPECT_EQ(clip->GetAlignment(3), MakePoint(-7, -5));
}

// Counts finals and cancels the job the first time a render moves green.
struct CancelOnGreen {
    FrameRenderSteps steps = DefaultFrameRenderSteps();
    std::shared_ptr<std::atomic<int>> status = std::make_shared<std::atomic<int>>(0);
    CancelOnGreen()
    {
        steps.translate = [this](GWorldWrapper& image, Point red, Point green, Point blue) {
            if (green != Point{})
                status->store(2);
            DefaultFrameRenderSteps().translate(image, red, green, blue);
        };
    }
};

class FixedStatusWindow final : public JobProgressWindow {
public:
    explicit FixedStatusWindow(std::shared_ptr<std::atomic<int>> s) : mStatus(std::move(s)) {}
    std::shared_ptr<const std::atomic<int>> Status() const override { return mStatus; }
    void Step() override {}

private:
    std::shared_ptr<std::atomic<int>> mStatus;
};

TEST_F(AlignJobTest, CancelDuringGreenKeepsRedAndLeavesBlue)
{
    Add(TexturedDisc(Point{}, Point{}, Point{}));
    Frame* clip = Add(TexturedDisc(MakePoint(4, -6), MakePoint(0, 14), MakePoint(7, 5)));
    Add(TexturedDisc(MakePoint(1, 1), MakePoint(1, 1), MakePoint(1, 1)));
    gOperationBoundsRect = MakeRect(18, 26, 62, 70);
    gAlignChannelsSeparately = true;
    gNumThreads = 1;
    gPersistantSelectionIndices = {1, 2};
    SetAlignmentModes(AlignmentModes{0, false, false, -1});
    CancelOnGreen cancel;
    SetFrameRenderStepsForTesting(&cancel.steps);
    GetJobHooks().openProgressWindow = [&cancel](int) { return std::make_unique<FixedStatusWindow>(cancel.status); };
    AutoAlignFramesByDifference();
    RunJobToEnd();
    SetFrameRenderStepsForTesting(nullptr);
    EXPECT_EQ(clip->GetAlignment(1), MakePoint(-4, 6));
    // Green's first pass (the border point 9) is applied; the pass after the
    // cancel is not.
    EXPECT_EQ(clip->GetAlignment(2), MakePoint(0, -9));
    EXPECT_EQ(clip->GetAlignment(3), Point{});
    // The worker stopped its range: the next clip was not aligned.
    EXPECT_EQ(gFrames[2]->GetAlignment(1), Point{});
}

TEST_F(AlignJobTest, MatchesExhaustiveNumpySearchOfASmoothBlob)
{
    constexpr int side = 160;
    auto blob = [](Point s) {
        auto image = MakeImage(side, side);
        FillFlat(*image, 0, 0, 0);
        AddStar(*image, 80.3 + s.h, 79.6 + s.v, 20.0, 250.0);
        return image;
    };
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> d(-24, 24);
    std::vector<Point> shifts = {Point{}};
    for (int i = 0; i < 4; ++i)
        shifts.push_back(MakePoint(static_cast<int16_t>(d(rng)), static_cast<int16_t>(d(rng))));
    for (Point s : shifts)
        Add(blob(s));
    gOperationBoundsRect = MakeRect(50, 50, 110, 110);

    // The reference: the shift of smallest mean absolute difference over
    // +-30 pixels, searched exhaustively over the clips as imported.
    std::vector<unsigned char> bytes;
    for (auto& f : gFrames) {
        FrameLease image = f->GetOriginal();
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                for (int c = 1; c <= 3; ++c)
                    bytes.push_back(image->PixelRow(y)[4 * x + c]);
    }
    const std::string path = ReferenceScratchDir() + "/blobs.bin";
    WriteBytes(path, bytes);
    const std::string code = R"(
import sys, numpy as np
a = np.fromfile(sys.argv[1], dtype=np.uint8).astype(np.int64).reshape(-1, 160, 160, 3)
ref = a[0, 50:110, 50:110, :]
for k in range(1, a.shape[0]):
    best = None
    for v in range(-30, 31):
        for h in range(-30, 31):
            d = np.abs(ref - a[k, 50 + v:110 + v, 50 + h:110 + h, :]).sum()
            if best is None or d < best[0]:
                best = (d, v, h)
    print(best[1], best[2])
)";
    std::string out;
    ASSERT_TRUE(RunPython(code, {path}, &out)) << out;

    SelectAll();
    SetAlignmentModes(AlignmentModes{0, false, false, -1});
    Align();
    std::istringstream in(out);
    for (std::size_t i = 1; i < shifts.size(); ++i) {
        int v = 0, h = 0;
        in >> v >> h;
        EXPECT_EQ(gFrames[i]->GetAlignment(1), MakePoint(static_cast<int16_t>(-v), static_cast<int16_t>(-h)))
            << "clip " << i << " shifted " << shifts[i].v << "," << shifts[i].h;
    }
}

TEST_F(AlignJobTest, ThresholdAboveEveryPixelBeepsAndStartsNothing)
{
    Add(TexturedDisc(Point{}, Point{}, Point{}));
    Add(TexturedDisc(MakePoint(3, 3), MakePoint(3, 3), MakePoint(3, 3)));
    gOperationBoundsRect = MakeRect(18, 26, 62, 70);
    gTempSelectionIndex = 1;
    gAlignmentBrightnessThreshold = 256;
    AutoAlignFramesByDifference();
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.BeepCount(), 1);
    EXPECT_EQ(gFrames[1]->GetAlignment(1), Point{});
}

TEST_F(AlignJobTest, RefusalsBeep)
{
    Add(TexturedDisc(Point{}, Point{}, Point{}));
    Add(TexturedDisc(MakePoint(3, 3), MakePoint(3, 3), MakePoint(3, 3)));
    gTempSelectionIndex = 1;
    AutoAlignFramesByDifference(); // no bounds rectangle
    EXPECT_EQ(mUser.BeepCount(), 1);
    gOperationBoundsRect = MakeRect(18, 26, 62, 70);
    gTempSelectionIndex = 0; // the reference alone
    AutoAlignFramesByDifference();
    EXPECT_EQ(mUser.BeepCount(), 2);
    EXPECT_FALSE(IsJobActive());

    // A persistent selection of clip 0 alone runs a job that changes nothing
    // but still discards the summed stack.
    ASSERT_TRUE(CreateInitialStack());
    gTempSelectionIndex = -1;
    gPersistantSelectionIndices = {0};
    Align();
    EXPECT_EQ(gFrames[0]->GetAlignment(1), Point{});
    EXPECT_EQ(gFrames[1]->GetAlignment(1), Point{});
    EXPECT_FALSE(HaveSummedStack());
}

TEST_F(AlignJobTest, WidthLimitShowsTheAlertAndStartsNothing)
{
    auto wide = MakeImage(4092, 2);
    Add(std::move(wide));
    Add(MakeImage(4092, 2));
    gOperationBoundsRect = MakeRect(0, 0, 2, 10);
    gTempSelectionIndex = 1;
    AutoAlignFramesByDifference();
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.AlertCount(), 1);
    NudgeFrameAlignment(29, false, 0);
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.AlertCount(), 2);
}

TEST_F(AlignJobTest, NudgeMovesSelectedClipsAndDiscardsTheStack)
{
    Add(TexturedDisc(Point{}, Point{}, Point{}));
    Add(TexturedDisc(Point{}, Point{}, Point{}));
    gPersistantSelectionIndices = {0, 1};
    NudgeFrameAlignment(29, false, 2); // 25 right
    RunJobToEnd();
    NudgeFrameAlignment(30, true, 1); // 10 up
    RunJobToEnd();
    for (auto& f : gFrames)
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(f->GetAlignment(c), MakePoint(-10, 25));

    // Separate channels: the held digit picks the channel; none held beeps.
    gAlignChannelsSeparately = true;
    SetAlignmentModes(AlignmentModes{2, false, false, -1});
    NudgeFrameAlignment(28, false, 0);
    RunJobToEnd();
    EXPECT_EQ(gFrames[1]->GetAlignment(3), MakePoint(-10, 24));
    EXPECT_EQ(gFrames[1]->GetAlignment(2), MakePoint(-10, 25));
    SetAlignmentModes(AlignmentModes{});
    NudgeFrameAlignment(28, false, 0);
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.BeepCount(), 1);

    // No selection: silent.
    gPersistantSelectionIndices.clear();
    gAlignChannelsSeparately = false;
    NudgeFrameAlignment(28, false, 0);
    EXPECT_FALSE(IsJobActive());
    EXPECT_EQ(mUser.BeepCount(), 1);
}

TEST_F(AlignJobTest, ClearingZeroesOffsetsAndRotationAndKeepsTheStack)
{
    Add(TexturedDisc(Point{}, Point{}, Point{}));
    Add(TexturedDisc(Point{}, Point{}, Point{}));
    ASSERT_TRUE(CreateInitialStack());
    for (auto& f : gFrames) {
        f->SetAlignment(MakePoint(3, -4), 1);
        f->SetAlignment(MakePoint(1, 2), 3);
        f->SetRotation(250);
    }
    ClearFrameAlignment(); // no selection: a beep
    EXPECT_EQ(mUser.BeepCount(), 1);
    gPersistantSelectionIndices = {0, 1};
    ClearFrameAlignment();
    RunJobToEnd();
    for (auto& f : gFrames) {
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(f->GetAlignment(c), Point{});
        EXPECT_EQ(f->GetRotation(), 0);
        EXPECT_FALSE(f->IsDirty());
    }
    EXPECT_TRUE(HaveSummedStack());

    // Nudging discards it.
    NudgeFrameAlignment(29, false, 0);
    RunJobToEnd();
    EXPECT_FALSE(HaveSummedStack());
}

TEST_F(AlignJobTest, StackNudgeMovesOnePlane)
{
    Add(TexturedDisc(Point{}, Point{}, Point{}));
    gFrameStackOffsetRed = gFrameStackOffsetGreen = gFrameStackOffsetBlue = Point{};
    NudgeFrameStack(28);
    EXPECT_EQ(mUser.BeepCount(), 1); // no plane chosen
    SetAlignmentModes(AlignmentModes{1, false, false, -1});
    NudgeFrameStack(28);
    NudgeFrameStack(30);
    NudgeFrameStack(30);
    EXPECT_EQ(gFrameStackOffsetGreen, MakePoint(2, 1));
    NudgeFrameStack(29);
    NudgeFrameStack(31);
    EXPECT_EQ(gFrameStackOffsetGreen, MakePoint(1, 0));
    EXPECT_EQ(gFrameStackOffsetRed, Point{});
    gFrameStackOffsetGreen = Point{};
}

} // namespace
