// tests/unit/StarDetectionTest.cpp: the class map, the fill (order, the area
// cut), masks and whole star fields with known positions, seed maps, the size
// window, degenerate sizes, and a field against scipy's labelled components.
#include "imaging/StarDetection.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/unit/StarPlanes.h"

namespace {

struct Truth {
    int x, y;
    double radius;
};

// Finds the star whose centre lies within one pixel of t.
const Star* Near(const std::vector<Star>& stars, const Truth& t)
{
    for (const Star& s : stars)
        if (std::abs(s.centre.h - t.x) <= 1 && std::abs(s.centre.v - t.y) <= 1)
            return &s;
    return nullptr;
}

int MaskCount(const Star& s)
{
    return static_cast<int>(std::count(s.mask.begin(), s.mask.end(), 1));
}

} // namespace

TEST(StarClasses, SeedSpreadAndNoneByLargestChannel)
{
    OwnedPlanes p(3, 1);
    p.Set(0, 0, 10, 200, 10); // the green channel makes it a seed
    p.Set(1, 0, 120, 0, 0);   // spread
    p.Set(2, 0, 99, 99, 99);  // below both
    std::vector<uint8_t> classes;
    ClassifyStarPixels(p.ConstView(), nullptr, 200, 100, classes);
    EXPECT_EQ(classes, (std::vector<uint8_t>{kStarClassSeed, kStarClassSpread, kStarClassNone}));
    const std::vector<uint8_t> seeds{0, 1, 1};
    ClassifyStarPixels(p.ConstView(), seeds.data(), 200, 100, classes);
    // Excluded from seeding, the bright pixel still belongs to a star.
    EXPECT_EQ(classes, (std::vector<uint8_t>{kStarClassSpread, kStarClassSpread, kStarClassNone}));
}

TEST(StarFill, CrossShapeBoundsAndArea)
{
    // A plus sign of 5 pixels at (3, 2) in a 7 x 5 map, and a lone pixel
    // diagonal to its arm (not 4-connected).
    std::vector<uint8_t> classes(7 * 5, 0);
    const auto at = [&](int x, int y) -> uint8_t& { return classes[std::size_t(y) * 7 + x]; };
    at(3, 1) = at(2, 2) = at(3, 2) = at(4, 2) = at(3, 3) = kStarClassSpread;
    at(5, 3) = kStarClassSeed;
    at(3, 1) = kStarClassNone; // the seed, claimed by the caller
    Rect bounds = MakeRect(1, 3, 1, 3);
    int area = 1;
    FindStarBoundingRect(classes, 7, 5, bounds, area);
    EXPECT_EQ(area, 5);
    EXPECT_EQ(bounds, MakeRect(1, 2, 3, 4)); // inclusive
    EXPECT_EQ(at(5, 3), kStarClassSeed);     // untouched
    EXPECT_EQ(std::count(classes.begin(), classes.end(), 0), 7 * 5 - 1);
}

TEST(StarFill, LargeRegionIsCutAt4096AndTheRestSeedsAgain)
{
    // 100 x 100 pixels all at seed level: 10,000 pixels give fills of 4096,
    // 4096 and 1808.
    OwnedPlanes p(100, 100, 500);
    StarFindParams params{500, 500, 1, kStarMaxArea};
    std::vector<Star> stars = FindStars(p.ConstView(), nullptr, params);
    ASSERT_EQ(stars.size(), 3u);
    // The first fill starts at the top-left and reaches the whole first rows.
    EXPECT_EQ(stars[0].bounds.top, 0);
    EXPECT_EQ(stars[0].bounds.left, 0);
    EXPECT_EQ(stars[0].bounds.right, 99);
    // Only a maximum of 4096 accepts a cut region.
    params.maxArea = 4095;
    stars = FindStars(p.ConstView(), nullptr, params);
    ASSERT_EQ(stars.size(), 1u);
    EXPECT_EQ(stars[0].bounds.bottom, 99);
}

TEST(StarFill, AreaOfOneFillCountsClaimedPixels)
{
    // A 64 x 64 block has 4096 pixels: one fill takes all of it.
    OwnedPlanes p(80, 70, 0);
    for (int y = 3; y < 67; ++y)
        for (int x = 5; x < 69; ++x)
            p.SetAll(x, y, 300);
    const std::vector<Star> stars = FindStars(p.ConstView(), nullptr, StarFindParams{300, 300, 4096, 4096});
    ASSERT_EQ(stars.size(), 1u);
    EXPECT_EQ(stars[0].bounds, MakeRect(3, 5, 66, 68));
    EXPECT_EQ(MaskCount(stars[0]), 4096);
}

TEST(StarField, KnownPositionsAreFound)
{
    // Odd sizes; stars of several radii on a noisy sky well below the spread.
    OwnedPlanes p(101, 77);
    p.Noise(11, 0, 60);
    const std::vector<Truth> truth{{10, 10, 2.0}, {50, 40, 3.5}, {90, 15, 1.0}, {20, 65, 4.0}, {75, 70, 2.5}};
    for (const Truth& t : truth)
        p.Disc(t.x, t.y, t.radius, 510);
    const std::vector<Star> stars = FindStars(p.ConstView(), nullptr, StarFindParams{510, 200, 1, 256});
    ASSERT_EQ(stars.size(), truth.size());
    for (const Truth& t : truth) {
        const Star* s = Near(stars, t);
        ASSERT_NE(s, nullptr) << t.x << "," << t.y;
        EXPECT_EQ(s->centre.h, t.x);
        EXPECT_EQ(s->centre.v, t.y);
        int discPixels = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                discPixels += std::hypot(x - t.x, y - t.y) <= t.radius;
        EXPECT_EQ(MaskCount(*s), discPixels);
        const int r = static_cast<int>(t.radius);
        EXPECT_EQ(s->bounds, MakeRect(t.y - r, t.x - r, t.y + r, t.x + r));
    }
    // Found in the order of their first pixels, row by row.
    for (std::size_t i = 1; i < stars.size(); ++i)
        EXPECT_LE(stars[i - 1].bounds.top, stars[i].bounds.top);
}

TEST(StarField, SizeWindowAndSeedMap)
{
    OwnedPlanes p(40, 30);
    p.Disc(8, 8, 0.0, 900);   // 1 pixel
    p.Disc(25, 12, 2.0, 900); // 13 pixels
    p.Disc(10, 22, 4.0, 900); // 49 pixels
    const auto count = [&](StarFindParams params, const std::vector<uint8_t>* seeds = nullptr) {
        return FindStars(p.ConstView(), seeds ? seeds->data() : nullptr, params).size();
    };
    EXPECT_EQ(count({900, 900, 1, 4096}), 3u);
    EXPECT_EQ(count({900, 900, 2, 4096}), 2u);
    EXPECT_EQ(count({900, 900, 13, 13}), 1u);
    EXPECT_EQ(count({900, 900, 14, 48}), 0u);
    // Seeding only in the left half keeps the stars whose seeds lie there.
    std::vector<uint8_t> seeds(40 * 30, 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 20; ++x)
            seeds[std::size_t(y) * 40 + x] = 1;
    EXPECT_EQ(count({900, 900, 1, 4096}, &seeds), 2u);
    std::fill(seeds.begin(), seeds.end(), 0);
    EXPECT_EQ(count({900, 900, 1, 4096}, &seeds), 0u);
}

TEST(StarField, SpreadJoinsAFaintHaloAndTheMaskTakesNeighbours)
{
    OwnedPlanes p(30, 20);
    p.Disc(10, 10, 3.0, 300); // halo at spread level
    p.Disc(10, 10, 1.0, 800); // core at seed level
    p.SetAll(14, 12, 400);    // bright, outside the star's rectangle (7 .. 13) and not connected
    p.SetAll(13, 13, 400);    // bright, inside the rectangle, not connected
    const std::vector<Star> stars = FindStars(p.ConstView(), nullptr, StarFindParams{800, 300, 1, 4096});
    ASSERT_EQ(stars.size(), 1u);
    const Star& s = stars[0];
    EXPECT_EQ(s.bounds, MakeRect(7, 7, 13, 13));
    EXPECT_TRUE(s.IsStarPixel(13, 13)); // a neighbour inside the rectangle is in the mask
    EXPECT_EQ(MaskCount(s), 29 + 1);
}

TEST(StarField, DegenerateSizes)
{
    OwnedPlanes one(1, 1, 7);
    std::vector<Star> stars = FindStars(one.ConstView(), nullptr, StarFindParams{7, 7, 1, 1});
    ASSERT_EQ(stars.size(), 1u);
    EXPECT_EQ(stars[0].bounds, MakeRect(0, 0, 0, 0));
    EXPECT_EQ(stars[0].centre, MakePoint(0, 0));

    OwnedPlanes row(9, 1);
    row.SetAll(2, 0, 50);
    row.SetAll(3, 0, 50);
    row.SetAll(7, 0, 50);
    stars = FindStars(row.ConstView(), nullptr, StarFindParams{50, 50, 1, 4096});
    ASSERT_EQ(stars.size(), 2u);
    EXPECT_EQ(stars[0].bounds, MakeRect(0, 2, 0, 3));
    EXPECT_EQ(stars[0].centre, MakePoint(0, 2));

    OwnedPlanes column(1, 9);
    column.SetAll(0, 8, 50);
    stars = FindStars(column.ConstView(), nullptr, StarFindParams{50, 50, 1, 4096});
    ASSERT_EQ(stars.size(), 1u);
    EXPECT_EQ(stars[0].bounds, MakeRect(8, 0, 8, 0));

    // Zero and the largest sums.
    OwnedPlanes extremes(2, 1);
    extremes.SetAll(1, 0, INT32_MAX);
    stars = FindStars(extremes.ConstView(), nullptr, StarFindParams{INT32_MAX, 0, 1, 4096});
    ASSERT_EQ(stars.size(), 1u); // spread 0 joins the zero pixel
    EXPECT_EQ(stars[0].bounds, MakeRect(0, 0, 0, 1));
}

TEST(StarField, StarsAreTheSeededComponentsScipyLabels)
{
    // A field of blobs of every kind: bright cores, faint halos joining neighbours, faint blobs without a
    // seed, single pixels, blobs at the edges; in one channel or all three. The model: scipy's 4-connected
    // components of the pixels at or above the spread (or seeds), those holding a seed pixel, kept inside
    // the size window, in the order of their first seed pixel.
    OwnedPlanes p(97, 61);
    p.Noise(23, 0, 90);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> x(0, 96), y(0, 60), peak(150, 600);
    std::uniform_real_distribution<double> radius(0.0, 4.5);
    for (int i = 0; i < 60; ++i)
        p.Disc(x(rng), y(rng), radius(rng), peak(rng), i % 3 == 0);
    const StarFindParams params{400, 180, 3, 40};
    const std::vector<Star> stars = FindStars(p.ConstView(), nullptr, params);

    const std::string dir = ReferenceScratchDir();
    ASSERT_FALSE(dir.empty());
    std::vector<double> planes;
    for (const std::vector<int32_t>* c : {&p.red, &p.green, &p.blue})
        planes.insert(planes.end(), c->begin(), c->end());
    WriteDoubles(dir + "/planes.f64", planes);
    const std::string code = R"(
import sys, numpy as np
from scipy import ndimage
d, W, H, bright, spread, lo, hi = sys.argv[1], *map(int, sys.argv[2:8])
v = np.fromfile(d + '/planes.f64').reshape(3, H, W).max(axis=0)
seed = v >= bright
labels, n = ndimage.label(seed | (v >= spread))  # the cross: 4-connected
found = []
for k in range(1, n + 1):
    part = labels == k
    seeds = np.flatnonzero(part & seed)
    area = int(part.sum())
    if len(seeds) == 0 or not (lo <= area <= hi):
        continue
    rows, cols = np.nonzero(part)
    found.append((seeds[0], rows.min(), cols.min(), rows.max(), cols.max()))
found.sort()
np.array([f[1:] for f in found], dtype='<f8').reshape(-1, 4).tofile(d + '/bounds.f64')
)";
    std::string out;
    ASSERT_TRUE(RunPython(code,
                          {dir, std::to_string(p.width), std::to_string(p.height), std::to_string(params.brightness),
                           std::to_string(params.spread), std::to_string(params.minArea),
                           std::to_string(params.maxArea)},
                          &out))
        << out;
    const std::vector<double> bounds = ReadDoubles(dir + "/bounds.f64");
    ASSERT_EQ(stars.size() * 4, bounds.size());
    ASSERT_GE(stars.size(), 8u); // the field holds stars of each kind, not a trivial answer
    for (std::size_t i = 0; i < stars.size(); ++i)
        EXPECT_EQ(stars[i].bounds, MakeRect(static_cast<int>(bounds[4 * i]), static_cast<int>(bounds[4 * i + 1]),
                                            static_cast<int>(bounds[4 * i + 2]), static_cast<int>(bounds[4 * i + 3])))
            << i;
}
