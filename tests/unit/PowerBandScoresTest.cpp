// tests/unit/PowerBandScoresTest.cpp: band scores by hand and against numpy's
// FFT power spectrum binned the same way, and the sort dialog's panel layout.
#include "engine/PowerBandScores.h"

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/Measurements.h"
#include "tests/support/TestImages.h"
#include "tests/unit/BandScoreReference.h"

namespace {

// Relative agreement of two double FFTs of 64 x 64 values in [0, 1]: both
// sum a few thousand rounded magnitudes.
constexpr double kFftTolerance = 1e-9;

// Clips whose power lies at different frequencies: smooth gradients, stars of
// two widths, fine noise, and a flat grey.
std::vector<std::unique_ptr<GWorldWrapper>> SpectrumClips(int w, int h)
{
    std::vector<std::unique_ptr<GWorldWrapper>> clips;
    auto gradient = MakeImage(w, h);
    FillGradient(*gradient);
    clips.push_back(std::move(gradient));
    for (double sigma : {1.0, 4.0}) {
        auto stars = MakeImage(w, h);
        FillFlat(*stars, 10, 10, 10);
        AddStar(*stars, 20.5, 30.0, sigma, 220);
        AddStar(*stars, 50.0, 12.0, sigma, 150);
        clips.push_back(std::move(stars));
    }
    auto noise = MakeImage(w, h);
    FillNoise(*noise, 7);
    clips.push_back(std::move(noise));
    auto flat = MakeImage(w, h);
    FillFlat(*flat, 90, 40, 20);
    clips.push_back(std::move(flat));
    return clips;
}

} // namespace

TEST(BandScore, ByHand)
{
    const double s[5] = {4.0, 3.0, 2.0, 1.0, 0.0};
    EXPECT_DOUBLE_EQ(BandScore(s, 5, 0, 4), 1.0);
    EXPECT_DOUBLE_EQ(BandScore(s, 5, 1, 2), 0.5);
    EXPECT_DOUBLE_EQ(BandScore(s, 5, 3, 3), 0.1);
    EXPECT_DOUBLE_EQ(BandScore(s, 5, 4, 4), 0.0);
    // Ends outside the bins are clamped to them.
    EXPECT_DOUBLE_EQ(BandScore(s, 5, -3, 0), 0.4);
    EXPECT_DOUBLE_EQ(BandScore(s, 5, 3, 99), 0.1);
    // A clip without a spectrum, or a black clip with no power, sorts last.
    EXPECT_EQ(BandScore(nullptr, 5, 0, 4), -1.0);
    const double black[3] = {0.0, 0.0, 0.0};
    EXPECT_EQ(BandScore(black, 3, 0, 2), -1.0);
    const double inf[2] = {std::numeric_limits<double>::infinity(), 1.0};
    EXPECT_EQ(BandScore(inf, 2, 0, 0), -1.0);
    const double one[1] = {2.5};
    EXPECT_EQ(BandScore(one, 1, 0, 0), 1.0);
}

TEST(BandScore, MatchesNumpySpectra)
{
    constexpr int kSide = 64, kTop = 3, kLeft = 5;
    const int bins = 46; // a 64-pixel square's spectra
    auto clips = SpectrumClips(75, 70);
    const std::vector<std::pair<int, int>> bands = {{0, 45}, {1, 10}, {5, 20}, {20, 45}, {7, 7}, {0, 0}};
    std::vector<const GWorldWrapper*> images;
    for (const auto& c : clips)
        images.push_back(c.get());
    const auto want = NumpyBandScores(images, kTop, kLeft, kSide, bins, bands);
    ASSERT_EQ(want.size(), bands.size());
    const Rect square = MakeRect(kTop, kLeft, kTop + kSide - 1, kLeft + kSide - 1);
    for (std::size_t c = 0; c < clips.size(); ++c) {
        std::vector<double> spectrum(bins);
        ASSERT_EQ(CalculatePowerSpectrumDistributionFromFourierTransform(*clips[c], square, spectrum.data(), bins), 0);
        for (std::size_t b = 0; b < bands.size(); ++b) {
            ASSERT_EQ(want[b].size(), clips.size());
            const double got = BandScore(spectrum.data(), bins, bands[b].first, bands[b].second);
            EXPECT_NEAR(got, want[b][c], kFftTolerance) << "clip " << c << " band " << b;
        }
    }
    // The whole band scores exactly 1; a flat clip has all its power at 0.
    EXPECT_EQ(want[0][4], 1.0);
    EXPECT_NEAR(want[5][4], 1.0, 1e-12);
}

TEST(MeanSpectrum, SkipsClipsWithoutSpectra)
{
    const double a[3] = {1.0, 2.0, 3.0};
    const double b[3] = {3.0, 0.0, 5.0};
    EXPECT_EQ(MeanSpectrum({a, nullptr, b}, 3), (std::vector<double>{2.0, 1.0, 4.0}));
    EXPECT_EQ(MeanSpectrum({nullptr, nullptr}, 2), (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(MeanSpectrum({}, 0), std::vector<double>{});
    EXPECT_EQ(LargestMean({2.0, 1.0, 4.0}), 4.0);
    EXPECT_EQ(LargestMean({0.0, 0.0}), 0.0);
    EXPECT_EQ(LargestMean({}), -1.0);
}

TEST(ScoreSpread, TextAndMeasuredScores)
{
    EXPECT_EQ(ScoreSpreadText(0.4567), ".456");
    EXPECT_EQ(ScoreSpreadText(0.05), ".050");
    EXPECT_EQ(ScoreSpreadText(0.999), ".999");
    EXPECT_EQ(ScoreSpreadText(0.0009), ".000");
    EXPECT_EQ(ScoreSpreadText(0.0), ".000");
    EXPECT_EQ(ScoreSpreadText(-0.2), ".000");
    EXPECT_EQ(ScoreSpreadText(std::nan("")), ".000");
    EXPECT_EQ(ScoreSpreadText(1.0), "1.000");
    EXPECT_EQ(ScoreSpreadText(1.7), "1.000");

    EXPECT_DOUBLE_EQ(ScoreSpread({0.9, 0.5, 0.25}), 0.65);
    // Clips without a spectrum (-1, sorted last) do not widen the spread.
    EXPECT_DOUBLE_EQ(ScoreSpread({0.9, 0.5, -1.0, -1.0}), 0.4);
    EXPECT_EQ(ScoreSpread({0.7}), 0.0);
    EXPECT_EQ(ScoreSpread({}), 0.0);
    EXPECT_EQ(ScoreSpread({1.0, 1.0, 1.0}), 0.0);
}

TEST(BandSortPanels, SpectrumPanel)
{
    std::vector<double> mean(46, 0.0);
    mean[0] = 8.0;
    mean[10] = 4.0;
    mean[45] = 2.0;
    const BandSortPanels p = LayOutBandSortPanels(mean, 8.0, 3, 10, {0.5}, 1);
    EXPECT_EQ(p.spectrumPanel, MakeRect(30, 20, 234, 216));
    // s = 192 / 45: low 3 at trunc(34.8), high 10 at trunc(64.67).
    EXPECT_EQ(p.band, MakeRect(31, 34, 233, 64));
    ASSERT_EQ(p.bars.size(), 3u);
    EXPECT_EQ(p.bars[0], MakeRect(32, 22, 231, 26));    // the largest: 200 high
    EXPECT_EQ(p.bars[1], MakeRect(132, 64, 231, 68));   // half of it
    EXPECT_EQ(p.bars[2], MakeRect(182, 214, 231, 215)); // kept inside the frame
    // No power at all: no bars.
    EXPECT_TRUE(LayOutBandSortPanels(std::vector<double>(46, 0.0), 0.0, 0, 45, {0.5}, 1).bars.empty());
    // One bin: no division by zero.
    const BandSortPanels one = LayOutBandSortPanels({3.0}, 3.0, 0, 0, {1.0}, 1);
    EXPECT_EQ(one.band, MakeRect(31, 22, 233, 22));
}

TEST(BandSortPanels, ScorePanel)
{
    std::vector<double> scores = {1.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3, 0.2, 0.0};
    const std::vector<double> mean(46, 1.0);
    BandSortPanels p = LayOutBandSortPanels(mean, 1.0, 0, 45, scores, 4);
    EXPECT_EQ(p.scorePanel, MakeRect(30, 280, 234, 484));
    // m = 10, u = 10, (800 - 200) / 9 = 66.
    EXPECT_EQ(p.included, MakeRect(31, 281, 233, 359));
    EXPECT_EQ(p.excluded, MakeRect(31, 358, 233, 483));
    ASSERT_EQ(p.dots.size(), 10u);
    EXPECT_EQ(p.dots[0], MakeRect(31, 281, 34, 284));   // score 1 at v 32, 3 x 3
    EXPECT_EQ(p.dots[5], MakeRect(131, 392, 134, 395)); // h 282 + 1000 / 9
    EXPECT_EQ(p.dots[9], MakeRect(231, 481, 234, 484));
    // All included: no red part.
    p = LayOutBandSortPanels(mean, 1.0, 0, 45, scores, 10);
    EXPECT_EQ(p.included, MakeRect(31, 281, 233, 483));
    EXPECT_TRUE(p.excluded.IsEmpty());
    // N = 1 includes only the best clip's place.
    p = LayOutBandSortPanels(mean, 1.0, 0, 45, scores, 1);
    EXPECT_EQ(p.included.right, 293);
    EXPECT_EQ(p.excluded.left, 292);
    // 50 clips: 200 / 50 = 4, single pixels.
    p = LayOutBandSortPanels(mean, 1.0, 0, 45, std::vector<double>(50, 0.5), 50);
    EXPECT_EQ(p.dots[49], MakeRect(132, 482, 133, 483));
    // One clip: in the middle, the whole panel included.
    p = LayOutBandSortPanels(mean, 1.0, 0, 45, {0.25}, 1);
    EXPECT_EQ(p.included, MakeRect(31, 281, 233, 483));
    EXPECT_TRUE(p.excluded.IsEmpty());
    EXPECT_EQ(p.dots[0], MakeRect(181, 381, 184, 384));
    // Clips without a spectrum (-1) and non-numbers sit on the bottom line.
    p = LayOutBandSortPanels(mean, 1.0, 0, 45, {0.5, -1.0, std::nan("")}, 3);
    EXPECT_EQ(p.dots[1].top, 231);
    EXPECT_EQ(p.dots[2].top, 231);
    // No clips: only the frames.
    p = LayOutBandSortPanels(mean, 1.0, 0, 45, {}, 0);
    EXPECT_TRUE(p.included.IsEmpty());
    EXPECT_TRUE(p.dots.empty());
}
