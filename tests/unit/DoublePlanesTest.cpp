// tests/unit/DoublePlanesTest.cpp: planes of doubles, their row pointers, and
// the conversions from and to sums.
#include "imaging/DoublePlanes.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

#include <gtest/gtest.h>

#include "tests/unit/SumPlaneSet.h"

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

} // namespace

TEST(DoublePlanes, ZeroedWithRowsIntoTheirPlane)
{
    for (auto [w, h] : std::vector<std::pair<int, int>>{{37, 23}, {1, 1}, {1, 7}, {7, 1}}) {
        DoublePlanes p(w, h);
        EXPECT_EQ(p.Width(), w);
        EXPECT_EQ(p.Height(), h);
        EXPECT_FALSE(p.IsEmpty());
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < h; ++y) {
                EXPECT_EQ(p.Rows(c)[y], p.Row(c, y));
                if (y > 0) {
                    EXPECT_EQ(p.Row(c, y) - p.Row(c, y - 1), w); // rows follow each other
                }
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(p.Row(c, y)[x], 0.0);
            }
        EXPECT_NE(p.Row(0, 0), p.Row(1, 0));
    }
    EXPECT_TRUE(DoublePlanes().IsEmpty());
    EXPECT_TRUE(DoublePlanes(0, 5).IsEmpty());
    EXPECT_THROW(DoublePlanes(-1, 5), std::bad_alloc);
}

TEST(DoublePlanes, MovingKeepsTheRowsValid)
{
    DoublePlanes a(5, 3);
    a.Row(2, 1)[4] = 9.5;
    DoublePlanes b(std::move(a));
    EXPECT_EQ(b.Rows(2)[1][4], 9.5);
    DoublePlanes c;
    c = std::move(b);
    EXPECT_EQ(c.Rows(2)[1][4], 9.5);
    EXPECT_EQ(c.Width(), 5);
}

TEST(DoublePlanes, SumsConvertExactlyBothWays)
{
    SumPlaneSet sums(9, 4);
    sums.FillScene(300, 4);
    sums.At(0, 0, 0) = kMax;
    sums.At(1, 8, 3) = kMin;
    sums.At(2, 3, 2) = -1;
    DoublePlanes d(9, 4);
    SumPlanesToDoubles(sums.ConstView(), d);
    EXPECT_EQ(d.Row(0, 0)[0], 2147483647.0);
    EXPECT_EQ(d.Row(1, 3)[8], -2147483648.0);
    EXPECT_EQ(d.Row(2, 2)[3], -1.0);
    SumPlaneSet back(9, 4, 5);
    DoublesToSumPlanes(d, back.View());
    EXPECT_TRUE(back == sums);
}

TEST(DoublePlanes, TruncateToSum)
{
    EXPECT_EQ(TruncateToSum(2.9), 2);
    EXPECT_EQ(TruncateToSum(-2.9), -2);
    EXPECT_EQ(TruncateToSum(-0.5), 0);
    EXPECT_EQ(TruncateToSum(0.0), 0);
    EXPECT_EQ(TruncateToSum(2147483647.0), kMax);
    EXPECT_EQ(TruncateToSum(2147483648.0), kMax);
    EXPECT_EQ(TruncateToSum(1e300), kMax);
    EXPECT_EQ(TruncateToSum(std::numeric_limits<double>::infinity()), kMax);
    EXPECT_EQ(TruncateToSum(-2147483648.0), kMin);
    EXPECT_EQ(TruncateToSum(-2147483649.5), kMin);
    EXPECT_EQ(TruncateToSum(-std::numeric_limits<double>::infinity()), kMin);
    EXPECT_EQ(TruncateToSum(std::nan("")), 0);
    // A rounding error's worth below or above a whole number is that number.
    EXPECT_EQ(TruncateToSum(254.99999999999997), 255);
    EXPECT_EQ(TruncateToSum(-254.99999999999997), -255);
    EXPECT_EQ(TruncateToSum(255.00000000000003), 255);
    EXPECT_EQ(TruncateToSum(254.999), 254);
    EXPECT_EQ(TruncateToSum(0.9999999), 0);
}
