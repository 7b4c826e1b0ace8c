// tests/unit/LevelsTest.cpp: level tables and the remap of integer planes,
// checked against values worked out by hand from the table formula.
#include "imaging/Levels.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Remaps a single value with one plane; returns the new value and its mask.
std::pair<int32_t, char> RemapOne(int32_t value, int numLevels, double low, double high, double gamma)
{
    int32_t plane[1] = {value};
    char mask[1] = {99};
    RemapLongImageComponentsFromLevelCutoffs(plane, 1, 1, numLevels, low, high, gamma, mask);
    return {plane[0], mask[0]};
}

struct Planes {
    std::vector<int32_t> red, green, blue;
    std::vector<char> redMask, greenMask, blueMask;
    explicit Planes(std::vector<int32_t> r, std::vector<int32_t> g, std::vector<int32_t> b)
        : red(std::move(r)), green(std::move(g)), blue(std::move(b)), redMask(red.size(), 99),
          greenMask(red.size(), 99), blueMask(red.size(), 99)
    {
    }
    void Remap(int w, int h, int numLevels, const double (&low)[4], const double (&high)[4], const double (&gamma)[4])
    {
        RemapLongImageComponentsFromLevelCutoffs(red.data(), green.data(), blue.data(), w, h, numLevels, low, high,
                                                 gamma, redMask.data(), greenMask.data(), blueMask.data());
    }
};

} // namespace

TEST(Levels, IdentityLeavesPlanesAndClearsMasks)
{
    std::vector<int32_t> values(256);
    for (int i = 0; i < 256; ++i)
        values[static_cast<std::size_t>(i)] = i;
    // Single plane: entry i = trunc(i * 256 / 256) = i.
    std::vector<int32_t> plane = values;
    std::vector<char> mask(256, 99);
    RemapLongImageComponentsFromLevelCutoffs(plane.data(), 16, 16, 256, 0.0, 255.0, 1.0, mask.data());
    EXPECT_EQ(plane, values);
    EXPECT_EQ(mask, std::vector<char>(256, 0));

    Planes p(values, values, values);
    const double low[4] = {0, 0, 0, 0}, high[4] = {255, 255, 255, 255}, gamma[4] = {1, 1, 1, 1};
    p.Remap(16, 16, 256, low, high, gamma);
    EXPECT_EQ(p.red, values);
    EXPECT_EQ(p.green, values);
    EXPECT_EQ(p.blue, values);
    EXPECT_EQ(p.redMask, std::vector<char>(256, 0));
    EXPECT_EQ(p.blueMask, std::vector<char>(256, 0));
}

TEST(Levels, GammaCurveHandValues)
{
    // N 256, L 0, H 255, g 0.5: range = 255 + 1 = 256; entry 64 = sqrt(64 / 256) * 256 = 128.
    EXPECT_EQ(RemapOne(64, 256, 0, 255, 0.5).first, 128);
    // Entry 16 = sqrt(1 / 16) * 256 = 64; entry 0 stays 0.
    EXPECT_EQ(RemapOne(16, 256, 0, 255, 0.5).first, 64);
    EXPECT_EQ(RemapOne(0, 256, 0, 255, 0.5).first, 0);
}

TEST(Levels, CutoffsHandValues)
{
    // L 100, H 200, g 1: range = 100 + 1 = 101.
    // 150 (curve): 50 / 101 * 256 = 126.73 -> 126, first decimal 7 -> 127.
    EXPECT_EQ(RemapOne(150, 256, 100, 200, 1), std::make_pair(int32_t{127}, kLevelInside));
    // 200 (= H, on the line): 100 * 256 / 101 = 253.47 -> 253, first decimal 4 stays.
    EXPECT_EQ(RemapOne(200, 256, 100, 200, 1), std::make_pair(int32_t{253}, kLevelInside));
    // 201: 101 * 256 / 101 = 256 >= N -> 255, and above the high cutoff.
    EXPECT_EQ(RemapOne(201, 256, 100, 200, 1), std::make_pair(int32_t{255}, kLevelAboveHigh));
    // At or below L the line is <= 0.
    EXPECT_EQ(RemapOne(100, 256, 100, 200, 1), std::make_pair(int32_t{0}, kLevelInside));
    EXPECT_EQ(RemapOne(99, 256, 100, 200, 1), std::make_pair(int32_t{0}, kLevelBelowLow));
    EXPECT_EQ(RemapOne(0, 256, 100, 200, 1), std::make_pair(int32_t{0}, kLevelBelowLow));
}

TEST(Levels, MoreLevelsUseTheirRange)
{
    // N 512 (two clips): N / 256 = 2, so L 0, H 511 gives range 513.
    // 300 (curve, g 1): 300 / 513 * 512 = 299.42 -> 299.
    EXPECT_EQ(RemapOne(300, 512, 0, 511, 1).first, 299);
    // 511 (= H, line): 511 * 512 / 513 = 510.0039 -> 510.
    EXPECT_EQ(RemapOne(511, 512, 0, 511, 1).first, 510);
    // 257: 257 / 513 * 512 = 256.499 -> 256, first decimal 4.
    EXPECT_EQ(RemapOne(257, 512, 0, 511, 1).first, 256);
    // 258: 258 / 513 * 512 = 257.497 -> 257, first decimal 4.
    EXPECT_EQ(RemapOne(258, 512, 0, 511, 1).first, 257);
    // 1: 1 / 513 * 512 = 0.998 -> 0, first decimal 9 -> 1.
    EXPECT_EQ(RemapOne(1, 512, 0, 511, 1).first, 1);
}

// g 0.1 rounds entry 254 up to 256 = N; it must stay N - 1, also when the
// entry then indexes the master table.
TEST(Levels, RoundUpIsClampedToTopLevel)
{
    // (254 / 256) ^ 0.1 * 256 = 255.80 -> 255, first decimal 8 -> 256 -> 255.
    EXPECT_EQ(RemapOne(254, 256, 0, 255, 0.1).first, 255);
    std::vector<int32_t> values(256);
    for (int i = 0; i < 256; ++i)
        values[static_cast<std::size_t>(i)] = i;
    Planes p(values, values, values);
    const double low[4] = {0, 0, 0, 0}, high[4] = {200, 255, 255, 255}, gamma[4] = {0.7, 0.1, 0.1, 0.1};
    p.Remap(256, 1, 256, low, high, gamma);
    for (std::size_t i = 0; i < 256; ++i) {
        ASSERT_GE(p.red[i], 0);
        ASSERT_LE(p.red[i], 255);
        ASSERT_LE(p.green[i], 255);
        ASSERT_LE(p.blue[i], 255);
    }
}

TEST(Levels, MasterScalesChannelsByRatio)
{
    // Identity channels, master (0, 255, 0.5): V = 100, master[100] =
    // sqrt(100 / 256) * 256 = 160, f = 1.6; integer division would give f = 1.
    Planes p({100}, {50}, {25});
    const double low[4] = {0, 0, 0, 0}, high[4] = {255, 255, 255, 255}, gamma[4] = {0.5, 1, 1, 1};
    p.Remap(1, 1, 256, low, high, gamma);
    EXPECT_EQ(p.red[0], 160);
    EXPECT_EQ(p.green[0], 80);
    EXPECT_EQ(p.blue[0], 40);
    EXPECT_EQ(p.redMask[0], kLevelInside);
}

TEST(Levels, MasterMasksOverwriteChannelMasks)
{
    // Master low 50: pixel (10, 20, 30) has V = 30 < 50 -> all masks 1, and
    // master[30] = 0 on the line below L, so every channel becomes 0.
    // Pixel (250, 0, 0) with master high 200: V = 250 > 200 -> all masks 2;
    // master[250] = (250 - 50) * 256 / 151 = 339.07 (not clamped), f = 1.356,
    // red 250 * f = 339 -> 255.
    Planes p({10, 250}, {20, 0}, {30, 0});
    const double low[4] = {50, 0, 0, 0}, high[4] = {200, 255, 255, 255}, gamma[4] = {1, 1, 1, 1};
    p.Remap(2, 1, 256, low, high, gamma);
    EXPECT_EQ((std::vector<int32_t>{p.red[0], p.green[0], p.blue[0]}), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ((std::vector<char>{p.redMask[0], p.greenMask[0], p.blueMask[0]}), (std::vector<char>{1, 1, 1}));
    EXPECT_EQ(p.red[1], 255);
    EXPECT_EQ(p.green[1], 0);
    EXPECT_EQ((std::vector<char>{p.redMask[1], p.greenMask[1], p.blueMask[1]}), (std::vector<char>{2, 2, 2}));
}

TEST(Levels, ChannelMasksComeFromInputValues)
{
    // Red cutoffs 100 ... 200: input 50 gets mask 1 even though the table
    // maps it to 0; green 250 gets mask 2.
    Planes p({50}, {250}, {150});
    const double low[4] = {0, 100, 100, 100}, high[4] = {255, 200, 200, 200}, gamma[4] = {1, 1, 1, 1};
    p.Remap(1, 1, 256, low, high, gamma);
    EXPECT_EQ(p.redMask[0], kLevelBelowLow);
    EXPECT_EQ(p.greenMask[0], kLevelAboveHigh);
    EXPECT_EQ(p.blueMask[0], kLevelInside);
    EXPECT_EQ(p.blue[0], 127);
}

// Values outside 0 ... N - 1 come from FITS and raw imports: they are clamped
// before indexing a table, and their masks still see the raw value.
TEST(Levels, OutOfRangePlaneValuesAreClamped)
{
    Planes p({-5, 256, 10000, 255}, {-5, 256, 10000, 0}, {0, 0, 0, 0});
    const double low[4] = {0, 0, 0, 0}, high[4] = {200, 255, 255, 255}, gamma[4] = {0.5, 1, 1, 1};
    p.Remap(4, 1, 256, low, high, gamma);
    EXPECT_EQ(p.redMask[0], kLevelBelowLow);
    EXPECT_EQ(p.redMask[2], kLevelAboveHigh);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_GE(p.red[i], 0);
        EXPECT_LE(p.red[i], 255);
        EXPECT_GE(p.green[i], 0);
        EXPECT_LE(p.green[i], 255);
    }
    EXPECT_EQ(RemapOne(-5, 256, 0, 255, 1).first, 0);
    EXPECT_EQ(RemapOne(10000, 256, 0, 255, 1), std::make_pair(int32_t{255}, kLevelAboveHigh));
}

TEST(Levels, NoLevelsClearsMasksOnly)
{
    for (const int numLevels : {0, -3}) {
        Planes p({5, 6}, {7, 8}, {9, 10});
        const double low[4] = {0, 0, 0, 0}, high[4] = {255, 255, 255, 255}, gamma[4] = {0.5, 1, 1, 1};
        p.Remap(2, 1, numLevels, low, high, gamma);
        EXPECT_EQ(p.red, (std::vector<int32_t>{5, 6}));
        EXPECT_EQ(p.blue, (std::vector<int32_t>{9, 10}));
        EXPECT_EQ(p.redMask, (std::vector<char>{0, 0}));
        EXPECT_EQ(p.blueMask, (std::vector<char>{0, 0}));
        const auto one = RemapOne(42, numLevels, 0, 255, 1);
        EXPECT_EQ(one, std::make_pair(int32_t{42}, kLevelInside));
    }
}

// High at or below low leaves no range; it counts as 1 and stays finite.
TEST(Levels, EmptyRangeStaysFinite)
{
    // N 200 (< 256, so N / 256 = 0), L = H = 100: range 0 -> 1. Entry 101 = 200 -> N - 1.
    EXPECT_EQ(RemapOne(101, 200, 100, 100, 1).first, 199);
    EXPECT_EQ(RemapOne(100, 200, 100, 100, 1).first, 0);
    // L 200 > H 100: range = -100 + 1 -> 1; the line gives 0 below 200 and N - 1 above.
    EXPECT_EQ(RemapOne(150, 256, 200, 100, 2).first, 0);
    EXPECT_EQ(RemapOne(201, 256, 200, 100, 2).first, 255);
    std::vector<int32_t> values(256);
    for (int i = 0; i < 256; ++i)
        values[static_cast<std::size_t>(i)] = i;
    Planes p(values, values, values);
    const double low[4] = {200, 200, 0, 0}, high[4] = {100, 100, 255, 255}, gamma[4] = {3, 3, 1, 1};
    p.Remap(256, 1, 256, low, high, gamma);
    for (std::size_t i = 0; i < 256; ++i) {
        ASSERT_GE(p.red[i], 0);
        ASSERT_LE(p.red[i], 255);
        ASSERT_LE(p.green[i], 255);
    }
}

TEST(Levels, PerPixelCurvesAndKeptTablesGiveTheTablesValues)
{
    // 512 levels (N = 2): a 32 x 32 plane is levelled through tables; the same values sixteen at a time,
    // fewer pixels than levels, through the curves evaluated per pixel (the path of 32-bit FITS stacks).
    constexpr int kLevels = 512, kSide = 32, kPiece = 16;
    std::vector<int32_t> values(kSide * kSide);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<int32_t>((i * 37) % 560) - 20; // also below 0 and above the levels
    std::vector<int32_t> green(values.rbegin(), values.rend()), blue = values;
    std::rotate(blue.begin(), blue.begin() + 100, blue.end());
    const double low[4] = {30, 12, 40, 0}, high[4] = {480, 500, 450, 511}, gamma[4] = {0.7, 1.3, 0.5, 2.0};

    Planes whole(values, green, blue);
    whole.Remap(kSide, kSide, kLevels, low, high, gamma);
    std::vector<int32_t> single = values;
    std::vector<char> singleMask(values.size());
    RemapLongImageComponentsFromLevelCutoffs(single.data(), kSide, kSide, kLevels, low[1], high[1], gamma[1],
                                             singleMask.data());
    for (std::size_t at = 0; at < values.size(); at += kPiece) {
        auto piece = [&](const std::vector<int32_t>& v) {
            return std::vector<int32_t>(v.begin() + at, v.begin() + at + kPiece);
        };
        Planes p(piece(values), piece(green), piece(blue));
        p.Remap(kPiece, 1, kLevels, low, high, gamma);
        for (int i = 0; i < kPiece; ++i) {
            ASSERT_EQ(p.red[i], whole.red[at + i]) << at + i;
            ASSERT_EQ(p.green[i], whole.green[at + i]) << at + i;
            ASSERT_EQ(p.blue[i], whole.blue[at + i]) << at + i;
            ASSERT_EQ(p.redMask[i], whole.redMask[at + i]) << at + i;
        }
        std::vector<int32_t> one = piece(values);
        std::vector<char> mask(kPiece);
        RemapLongImageComponentsFromLevelCutoffs(one.data(), kPiece, 1, kLevels, low[1], high[1], gamma[1],
                                                 mask.data());
        for (int i = 0; i < kPiece; ++i) {
            ASSERT_EQ(one[i], single[at + i]) << at + i;
            ASSERT_EQ(mask[i], singleMask[at + i]) << at + i;
        }
    }

    // Kept tables: a second levelling with only the master curve moved rebuilds only its table, with the
    // results of a levelling from scratch.
    LevelTables kept;
    Planes first(values, green, blue);
    RemapLongImageComponentsFromLevelCutoffs(first.red.data(), first.green.data(), first.blue.data(), kSide, kSide,
                                             kLevels, low, high, gamma, first.redMask.data(), first.greenMask.data(),
                                             first.blueMask.data(), &kept);
    EXPECT_EQ(first.red, whole.red);
    const int32_t* redTable = kept.channel[0].entries.data();
    const double moved[4] = {60, 12, 40, 0};
    Planes again(values, green, blue), fresh(values, green, blue);
    RemapLongImageComponentsFromLevelCutoffs(again.red.data(), again.green.data(), again.blue.data(), kSide, kSide,
                                             kLevels, moved, high, gamma, again.redMask.data(), again.greenMask.data(),
                                             again.blueMask.data(), &kept);
    fresh.Remap(kSide, kSide, kLevels, moved, high, gamma);
    EXPECT_EQ(kept.channel[0].entries.data(), redTable);
    EXPECT_EQ(again.red, fresh.red);
    EXPECT_EQ(again.blue, fresh.blue);
    EXPECT_EQ(again.greenMask, fresh.greenMask);
}
