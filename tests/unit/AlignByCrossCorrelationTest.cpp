// tests/unit/AlignByCrossCorrelationTest.cpp: the correlation surface
// against numpy, the peak-to-shift mapping by hand, alignment of star fields
// at known integer shifts (channels together and apart), an identical clip,
// and the refusals, each leaving gNumThreads as it was.
#include "engine/AlignByCrossCorrelation.h"

#include <random>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/FFT2D.h"
#include "imaging/PixelTransfer.h"
#include "platform/core/StandardAlerts.h"
#include "tests/unit/AlignClipsFixture.h"

namespace {

TEST(CrossCorrelation, PeakToShiftOnSixtyFour)
{
    const int cases[][2] = {{0, 0}, {10, -10}, {31, -31}, {32, 32}, {33, 31}, {40, 24}, {63, 1}};
    for (auto [x, shift] : cases)
        EXPECT_EQ(CorrelationPeakToShift(x, 64), shift) << x;
}

TEST(CrossCorrelation, FirstStrictMaximumOrZero)
{
    std::vector<double> s(16, 0.0);
    int x = -1, y = -1;
    FindCorrelationPeak(s.data(), 4, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    s.assign(16, -1.0);
    FindCorrelationPeak(s.data(), 4, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    s.assign(16, 0.0);
    s[1 * 4 + 3] = 2.0;
    s[2 * 4 + 1] = 2.0; // equal, later in row order
    FindCorrelationPeak(s.data(), 4, x, y);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 1);
}

TEST(CrossCorrelation, CircularFlipByHand)
{
    // 4 × 4: element (r, c) holds 10 r + c; it must become ((4 - r) % 4, (4 - c) % 4).
    std::vector<double> v(16);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            v[static_cast<size_t>(r * 4 + c)] = 10 * r + c;
    FlipReferenceCircularly(v.data(), 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(v[static_cast<size_t>(r * 4 + c)], 10 * ((4 - r) % 4) + (4 - c) % 4) << r << "," << c;
}

TEST(CrossCorrelation, SurfaceMatchesNumpy)
{
    for (int logDim : {5, 6}) {
        const int dim = 1 << logDim;
        const size_t n = static_cast<size_t>(dim) * dim;
        std::mt19937 rng(77u + static_cast<unsigned>(logDim));
        std::uniform_real_distribution<double> u(0.0, 1.0);
        std::vector<double> ref(n), clip(n);
        for (auto& x : ref)
            x = u(rng);
        for (auto& x : clip)
            x = u(rng);
        const std::string dir = ReferenceScratchDir();
        WriteDoubles(dir + "/xc_ref.bin", ref);
        WriteDoubles(dir + "/xc_clip.bin", clip);

        std::vector<double> spectrum = ref;
        FlipReferenceCircularly(spectrum.data(), dim);
        ASSERT_EQ(fft2dInit(logDim, logDim), kFftInitOk);
        rfft2d(spectrum.data(), logDim, logDim);
        std::vector<double> work = clip;
        CorrelateWithReference(spectrum.data(), work.data(), dim, logDim);

        const std::string code = R"(
import sys, numpy as np
d = int(sys.argv[3])
ref = np.fromfile(sys.argv[1]).reshape(d, d)
clip = np.fromfile(sys.argv[2]).reshape(d, d)
s = np.fft.ifft2(np.fft.fft2(np.roll(ref[::-1, ::-1], 1, (0, 1))) * np.fft.fft2(clip)).real
s.tofile(sys.argv[4])
)";
        std::string out;
        ASSERT_TRUE(RunPython(code, {dir + "/xc_ref.bin", dir + "/xc_clip.bin", std::to_string(dim), dir + "/xc_out.bin"}, &out))
            << out;
        const std::vector<double> expected = ReadDoubles(dir + "/xc_out.bin");
        ASSERT_EQ(expected.size(), n);
        for (size_t k = 0; k < n; ++k)
            ASSERT_NEAR(work[k], expected[k], 1e-9) << "dim " << dim << " element " << k;
    }
}

// ---------------------------------------------------------------- jobs on clips

constexpr int kW = 150;
constexpr int kH = 123;

// Stars at least 16 pixels inside a square of side 64 at (30, 40) (top, left).
std::vector<GaussianStar> Stars64()
{
    return {{58, 48, 2.0, 220}, {75, 52, 1.6, 150}, {66, 70, 2.4, 250}, {82, 74, 1.8, 120}, {61, 61, 1.5, 90}};
}
const Rect kSquare64 = MakeRect(30, 40, 93, 103);

class CorrelationJobTest : public AlignClipsFixture {
protected:
    void SetUp() override
    {
        AlignClipsFixture::SetUp();
        gNumThreads = 3;
    }
    void TearDown() override
    {
        SetCrossCorrelationFftInitForTesting(nullptr);
        AlignClipsFixture::TearDown();
    }
};

TEST_F(CorrelationJobTest, ShiftsRecoveredExactlyAndIdenticalClipStays)
{
    const Point shifts[] = {Point{}, Point{}, MakePoint(3, -5), MakePoint(-12, 12), MakePoint(12, -7), MakePoint(1, 0),
                            MakePoint(-8, -11)};
    for (Point s : shifts)
        AddImage(StarFieldImage(kW, kH, Stars64(), s, s, s));
    gOperationBoundsRect = kSquare64;
    SelectAll();
    RunJob([] { AutoAlignFramesByCrossCorrelation(); });
    for (std::size_t i = 0; i < std::size(shifts); ++i)
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(gFrames[i]->GetAlignment(c), Negated(shifts[i])) << "clip " << i << " channel " << c;
    EXPECT_EQ(gNumThreads, 3);
    EXPECT_EQ(mUser.BeepCount(), 0);
}

TEST_F(CorrelationJobTest, SquareOf128AndChannelsApart)
{
    std::vector<GaussianStar> stars;
    for (int k = 0; k < 7; ++k)
        stars.push_back({32.0 + 16 + 13 * k % 96, 10.0 + 16 + 29 * k % 96, 2.0, 100.0 + 20 * k});
    auto big = [&](Point r, Point g, Point b) { return StarFieldImage(180, 140, stars, r, g, b); };
    AddImage(big(Point{}, Point{}, Point{}));
    const Point r = MakePoint(4, -6), g = MakePoint(-3, 11), b = MakePoint(-12, 5);
    Frame* clip = AddImage(big(r, g, b));
    gOperationBoundsRect = MakeRect(10, 32, 137, 159);
    gAlignChannelsSeparately = true;
    gTempSelectionIndex = 1;
    RunJob([] { AutoAlignFramesByCrossCorrelation(); });
    EXPECT_EQ(clip->GetAlignment(1), Negated(r));
    EXPECT_EQ(clip->GetAlignment(2), Negated(g));
    EXPECT_EQ(clip->GetAlignment(3), Negated(b));
    EXPECT_EQ(gNumThreads, 3);
}

TEST_F(CorrelationJobTest, CancelKeepsTheStepsMadeAndGivesThreadsBack)
{
    const std::vector<GaussianStar> stars = Stars64();
    AddImage(StarFieldImage(kW, kH, stars, Point{}, Point{}, Point{}));
    const Point r = MakePoint(4, -6), g = MakePoint(-3, 9), b = MakePoint(7, 5);
    Frame* clip = AddImage(StarFieldImage(kW, kH, stars, r, g, b));
    AddImage(StarFieldImage(kW, kH, stars, MakePoint(2, 2), MakePoint(2, 2), MakePoint(2, 2)));
    gOperationBoundsRect = kSquare64;
    gAlignChannelsSeparately = true;
    gPersistantSelectionIndices = {0, 1, 2};
    CancelWhenGreenMoves cancel;
    cancel.Install();
    RunJob([] { AutoAlignFramesByCrossCorrelation(); });
    SetFrameRenderStepsForTesting(nullptr);
    EXPECT_EQ(clip->GetAlignment(1), Negated(r));
    EXPECT_EQ(clip->GetAlignment(2), Negated(g)); // its first step, already exact
    EXPECT_EQ(clip->GetAlignment(3), Point{});    // not reached
    EXPECT_EQ(gFrames[2]->GetAlignment(1), Point{});
    EXPECT_EQ(gNumThreads, 3);
}

TEST_F(CorrelationJobTest, WorksOnOneThreadWhileRunning)
{
    AddImage(StarFieldImage(kW, kH, Stars64(), Point{}, Point{}, Point{}));
    AddImage(StarFieldImage(kW, kH, Stars64(), MakePoint(2, 2), MakePoint(2, 2), MakePoint(2, 2)));
    gOperationBoundsRect = kSquare64;
    SelectAll();
    AutoAlignFramesByCrossCorrelation();
    ASSERT_TRUE(IsJobActive());
    EXPECT_EQ(gNumThreads, 1);
    RunJobToEnd();
    EXPECT_EQ(gNumThreads, 3);
    EXPECT_EQ(gFrames[1]->GetAlignment(1), MakePoint(-2, -2));
}

TEST_F(CorrelationJobTest, RefusalsLeaveThreadsAlone)
{
    AddImage(StarFieldImage(kW, kH, Stars64(), Point{}, Point{}, Point{}));
    AddImage(StarFieldImage(kW, kH, Stars64(), MakePoint(2, 2), MakePoint(2, 2), MakePoint(2, 2)));
    gTempSelectionIndex = 1;

    AutoAlignFramesByCrossCorrelation(); // no rectangle
    EXPECT_EQ(mUser.BeepCount(), 1);
    EXPECT_EQ(mUser.AlertCount(), 0);

    gOperationBoundsRect = MakeRect(30, 40, 92, 103); // 64 wide, 63 high
    AutoAlignFramesByCrossCorrelation();
    EXPECT_EQ(mUser.BeepCount(), 2);
    EXPECT_EQ(mUser.AlertCount(), 0);

    gOperationBoundsRect = MakeRect(10, 10, 109, 109); // 100 × 100
    AutoAlignFramesByCrossCorrelation();
    ASSERT_EQ(mUser.AlertCount(), 1);
    EXPECT_EQ(mUser.Alerts()[0].request.title, "Illegal Operation Bounds Rect");
    EXPECT_EQ(mUser.Alerts()[0].request.message,
              "Aligning by cross-correlation requires a Power-of-2 Operation Bounds Rect.");

    // Squares of 64 whose right column or bottom row lies past the image.
    const int beeps = mUser.BeepCount();
    gOperationBoundsRect = MakeRect(10, kW - 63, 73, kW); // right = width
    AutoAlignFramesByCrossCorrelation();
    gOperationBoundsRect = MakeRect(kH - 63, 10, kH, 73); // bottom = height
    AutoAlignFramesByCrossCorrelation();
    gOperationBoundsRect = MakeRect(-1, 10, 62, 73);
    AutoAlignFramesByCrossCorrelation();
    EXPECT_EQ(mUser.BeepCount(), beeps + 3);
    EXPECT_EQ(mUser.AlertCount(), 1);

    // The square flush with the right and bottom edges is fine.
    gOperationBoundsRect = MakeRect(kH - 64, kW - 64, kH - 1, kW - 1);
    RunJob([] { AutoAlignFramesByCrossCorrelation(); });
    const Point before = gFrames[1]->GetAlignment(1);

    // The FFT tables cannot be made: the out-of-memory alert, no job.
    gOperationBoundsRect = kSquare64;
    SetCrossCorrelationFftInitForTesting([](int32_t, int32_t) { return kFftInitOutOfMemory; });
    const int alerts = mUser.AlertCount();
    AutoAlignFramesByCrossCorrelation();
    EXPECT_FALSE(IsJobActive());
    ASSERT_EQ(mUser.AlertCount(), alerts + 1);
    EXPECT_EQ(mUser.Alerts().back().request.title, kOutOfMemoryTitle);
    EXPECT_EQ(gFrames[1]->GetAlignment(1), before);

    EXPECT_EQ(gNumThreads, 3);
}

} // namespace
