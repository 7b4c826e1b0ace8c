// tests/unit/StackPlanesTest.cpp: plane maximum, nearest-neighbour stretch and
// minimum shift, against hand-computed values.
#include "files/StackPlanes.h"

#include <climits>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

TEST(StackPlanes, LargestValueIsSignedFromZero)
{
    const std::vector<int32_t> r = {1, 5, -3}, g = {65536, 0, 2}, b = {-9, 7, 65535};
    EXPECT_EQ(LargestPlaneValue(r.data(), g.data(), b.data(), 3), 65536);
    EXPECT_EQ(LargestPlaneValue(r.data(), g.data(), b.data(), 2), 65536);
    EXPECT_EQ(LargestPlaneValue(r.data(), b.data(), b.data(), 3), 65535);
    const std::vector<int32_t> negative = {-1, INT32_MIN};
    EXPECT_EQ(LargestPlaneValue(negative.data(), negative.data(), negative.data(), 2), 0);
    EXPECT_EQ(LargestPlaneValue(r.data(), g.data(), b.data(), 0), 0);
}

TEST(StackPlanes, StretchMapsEachTargetToProportionalSource)
{
    // 4 × 2 source into 2 × 1: source (floor(y·2/1), floor(x·4/2)) = (0, 0), (0, 2).
    const std::vector<int32_t> src = {10, 11, 12, 13, 20, 21, 22, 23};
    std::vector<int32_t> dst(2, -1);
    StretchPlane(src.data(), 4, 2, dst.data(), 2, 1);
    EXPECT_EQ(dst, (std::vector<int32_t>{10, 12}));
    // 2 × 2 into 3 × 3: columns 0, 0, 1 and rows 0, 0, 1.
    const std::vector<int32_t> small = {1, 2, 3, 4};
    std::vector<int32_t> big(9, -1);
    StretchPlane(small.data(), 2, 2, big.data(), 3, 3);
    EXPECT_EQ(big, (std::vector<int32_t>{1, 1, 2, 1, 1, 2, 3, 3, 4}));
    // Equal sizes copy exactly; 1 × 1 fills everything with its value.
    std::vector<int32_t> same(8, 0);
    StretchPlane(src.data(), 4, 2, same.data(), 4, 2);
    EXPECT_EQ(same, src);
    const std::vector<int32_t> one = {-7};
    std::vector<int32_t> filled(6, 0);
    StretchPlane(one.data(), 1, 1, filled.data(), 3, 2);
    EXPECT_EQ(filled, std::vector<int32_t>(6, -7));
}

TEST(StackPlanes, NegativeMinimumShiftsToZeroWithoutOverflow)
{
    std::vector<int32_t> p = {-200, 0, 55, 1000};
    ShiftPlaneMinimumToZero(p.data(), p.size());
    EXPECT_EQ(p, (std::vector<int32_t>{0, 200, 255, 1200}));
    std::vector<int32_t> q = {0, 3, 9};
    ShiftPlaneMinimumToZero(q.data(), q.size());
    EXPECT_EQ(q, (std::vector<int32_t>{0, 3, 9}));
    std::vector<int32_t> extreme = {INT32_MIN, -1, 0, INT32_MAX};
    ShiftPlaneMinimumToZero(extreme.data(), extreme.size());
    EXPECT_EQ(extreme, (std::vector<int32_t>{0, INT32_MAX, INT32_MAX, INT32_MAX}));
}
