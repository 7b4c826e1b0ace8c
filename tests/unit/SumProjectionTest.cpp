// tests/unit/SumProjectionTest.cpp: rows of sums shown as bytes give, for a
// whole divisor, the exact integer quotient clamped to 0 .. 255 (which is
// also the truncated double quotient), at every multiple of the divisor and
// either side of it, for negative and extreme sums; the alpha byte stays.
#include "imaging/SumProjection.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Exact: 64-bit integer quotient, truncated toward zero, clamped.
uint8_t ExactShown(int32_t s, int64_t d)
{
    const int64_t q = static_cast<int64_t>(s) / d;
    return static_cast<uint8_t>(q < 0 ? 0 : q > 255 ? 255 : q);
}

// Sums around every multiple k d for k in -2 .. 258, and the int32 extremes.
std::vector<int32_t> SumsAround(int64_t d)
{
    std::vector<int32_t> sums = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
    for (int64_t k = -2; k <= 258; ++k)
        for (int64_t e : {-2, -1, 0, 1, 2}) {
            const int64_t s = k * d + e;
            if (s >= INT32_MIN && s <= INT32_MAX)
                sums.push_back(static_cast<int32_t>(s));
        }
    return sums;
}

} // namespace

TEST(SumProjectionTest, AWholeDivisorGivesTheExactQuotient)
{
    for (const int64_t d : {1, 2, 3, 7, 200, 255, 256, 1000, 12345, 999983, 4194304}) {
        SCOPED_TRACE("d = " + std::to_string(d));
        const std::vector<int32_t> sums = SumsAround(d);
        // Each channel reads the sums at another starting point, so every
        // value meets every lane of the vector loop and its tail.
        const int n = static_cast<int>(sums.size());
        std::vector<int32_t> red(sums), green(sums.size()), blue(sums.size());
        for (int x = 0; x < n; ++x) {
            green[static_cast<std::size_t>(x)] = sums[static_cast<std::size_t>((x + 5) % n)];
            blue[static_cast<std::size_t>(x)] = sums[static_cast<std::size_t>((x + 11) % n)];
        }
        std::vector<uint8_t> out(4 * sums.size());
        for (int x = 0; x < n; ++x)
            out[static_cast<std::size_t>(4 * x)] = static_cast<uint8_t>(x * 37);
        ProjectSumRow(red.data(), green.data(), blue.data(), out.data(), n, static_cast<double>(d));
        for (int x = 0; x < n; ++x) {
            const std::size_t i = static_cast<std::size_t>(x);
            ASSERT_EQ(out[4 * i], static_cast<uint8_t>(x * 37)) << "alpha at " << x;
            ASSERT_EQ(out[4 * i + 1], ExactShown(red[i], d)) << "sum " << red[i];
            ASSERT_EQ(out[4 * i + 2], ExactShown(green[i], d)) << "sum " << green[i];
            ASSERT_EQ(out[4 * i + 3], ExactShown(blue[i], d)) << "sum " << blue[i];
            // The truncated double quotient, as the single sums are shown.
            ASSERT_EQ(ProjectedSum(red[i], static_cast<double>(d)), ExactShown(red[i], d)) << "sum " << red[i];
        }
    }
}

TEST(SumProjectionTest, AFractionalDivisorTruncatesTheTrueQuotient)
{
    // d = 2.5: 637 / 2.5 = 254.8 -> 254, 640 / 2.5 = 256 -> 255, 5 / 2.5 = 2.
    const double d = 2.5;
    const std::vector<int32_t> sums = {637, 640, 5, 4, -3, 0, 639, 2, 1000, INT32_MAX, INT32_MIN, 3};
    const std::vector<uint8_t> expected = {254, 255, 2, 1, 0, 0, 255, 0, 255, 255, 0, 1};
    const int n = static_cast<int>(sums.size());
    std::vector<uint8_t> out(4 * sums.size(), 9);
    ProjectSumRow(sums.data(), sums.data(), sums.data(), out.data(), n, d);
    for (std::size_t i = 0; i < sums.size(); ++i) {
        EXPECT_EQ(out[4 * i], 9) << "alpha";
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(out[4 * i + static_cast<std::size_t>(c)], expected[i]) << "sum " << sums[i];
    }
}
