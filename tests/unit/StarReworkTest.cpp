// tests/unit/StarReworkTest.cpp: dering, truncate and blur of found stars
// against hand-worked medians and a numpy model of the blur; flat areas stay
// flat up to the image's edges.
#include "imaging/StarRework.h"

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/unit/StarPlanes.h"

namespace {

// Sky whose red value tells where it is: red = 100 + x + 10 y.
OwnedPlanes LabelledSky(int w, int h)
{
    OwnedPlanes p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.Set(x, y, 100 + x + 10 * y, 200 + y, 300);
    return p;
}

} // namespace

TEST(StarDering, DarkPixelTakesTheUpperMedianOfTheNearestSkyRing)
{
    OwnedPlanes saved(11, 11);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 11; ++x)
            saved.Set(x, y, 100 + x, 200 + y, 300);
    saved.Disc(5, 5, 1.0, 1000);
    saved.SetAll(7, 5, 20); // dark, two pixels right of the centre
    saved.SetAll(0, 0, 20); // dark, beyond the radius
    const std::vector<Star> stars = FindStars(saved.ConstView(), nullptr, StarFindParams{1000, 500, 1, 4096});
    ASSERT_EQ(stars.size(), 1u);
    OwnedPlanes live(11, 11, -1);
    StarReworkParams params;
    params.deringRadius = 3;
    params.deringThreshold = 50;
    params.spread = 500;
    DeringStars(saved.ConstView(), live.View(), stars, params);
    // Ring 1 around (7, 5) without the star pixel (6, 5): reds 106 106 107
    // 107 108 108 108, greens 204 204 204 205 206 206 206: element 3 of each.
    const std::size_t i = saved.Index(7, 5);
    EXPECT_EQ(live.red[i], 107);
    EXPECT_EQ(live.green[i], 205);
    EXPECT_EQ(live.blue[i], 300);
    // Everything else is a copy of the saved planes.
    live.Set(7, 5, 20, 20, 20);
    EXPECT_EQ(live, saved);
}

TEST(StarDering, ThresholdZeroCopiesAndNoSkyKeepsTheValue)
{
    OwnedPlanes saved(50, 50, 10); // dark everywhere
    saved.Disc(25, 25, 2.0, 1000);
    const std::vector<Star> stars = FindStars(saved.ConstView(), nullptr, StarFindParams{1000, 500, 1, 4096});
    OwnedPlanes live(50, 50, -1);
    StarReworkParams params;
    params.deringRadius = 10;
    params.deringThreshold = 0;
    params.spread = 500;
    DeringStars(saved.ConstView(), live.View(), stars, params);
    EXPECT_EQ(live, saved);
    // Dark pixels whose rings hold only dark or star pixels out to ring 19
    // keep their values.
    params.deringThreshold = 50;
    DeringStars(saved.ConstView(), live.View(), stars, params);
    EXPECT_EQ(live, saved);
}

TEST(StarTruncate, PixelsBeyondTheRadiusTakeRingMediansInScanOrder)
{
    OwnedPlanes p = LabelledSky(30, 20);
    p.Disc(10, 10, 1.0, 600);
    for (int x = 11; x <= 15; ++x)
        p.SetAll(x, 10, 600);
    const std::vector<Star> stars = FindStars(p.ConstView(), nullptr, StarFindParams{600, 500, 1, 4096});
    ASSERT_EQ(stars.size(), 1u);
    ASSERT_EQ(stars[0].bounds, MakeRect(9, 9, 11, 15));
    ASSERT_EQ(stars[0].centre, MakePoint(10, 12));
    OwnedPlanes live = p;
    StarReworkParams params;
    params.truncateRadius = 2;
    params.spread = 500;
    TruncateStars(live.View(), stars, params);
    // Worked by hand (reds; sky red = 100 + x + 10 y):
    // (10, 9): ring 189 190 191 199 201 -> 191.
    // (9, 10): ring 198 199 191(new) 218 219 208 -> 208.
    // (15, 10): ring 204 205 206 224 225 226 216 -> 216.
    // (10, 11): ring 208(new) 229 230 231 219 221 -> 229.
    EXPECT_EQ(live.red[p.Index(10, 9)], 191);
    EXPECT_EQ(live.red[p.Index(9, 10)], 208);
    EXPECT_EQ(live.red[p.Index(15, 10)], 216);
    EXPECT_EQ(live.red[p.Index(10, 11)], 229);
    // The pixels inside the disc keep the star.
    for (int x = 10; x <= 14; ++x)
        EXPECT_EQ(live.red[p.Index(x, 10)], 600) << x;
    // Nothing outside the star changed.
    int changed = 0;
    for (std::size_t i = 0; i < live.red.size(); ++i)
        changed += live.red[i] != p.red[i] || live.green[i] != p.green[i] || live.blue[i] != p.blue[i];
    EXPECT_EQ(changed, 4);
}

TEST(StarBlur, FlatAreaStaysFlatAtTheEdgesAndRadiusZeroChangesNothing)
{
    OwnedPlanes p(9, 7, 1234);
    p.Disc(0, 0, 1.0, 1234); // a "star" in the corner of a flat picture
    std::vector<Star> stars;
    stars.emplace_back(MakeRect(0, 0, 1, 1));
    stars.back().mask.assign(4, 1);
    stars.emplace_back(MakeRect(6, 8, 6, 8)); // the opposite corner
    stars.back().mask.assign(1, 1);
    OwnedPlanes live = p;
    StarReworkParams params;
    for (double radius : {0.5, 1.0, 3.0, 20.0}) {
        params.blurRadius = radius;
        BlurStars(live.View(), stars, params);
        EXPECT_EQ(live, p) << radius;
    }
    params.blurRadius = 0.0;
    live.SetAll(0, 0, 5000);
    const OwnedPlanes before = live;
    BlurStars(live.View(), stars, params);
    EXPECT_EQ(live, before);
}

TEST(StarBlur, MatchesNumpyModelOverWidenedRectangles)
{
    OwnedPlanes p(23, 17);
    p.Noise(5, 0, 400);
    std::vector<Star> stars;
    stars.emplace_back(MakeRect(2, 3, 4, 6));     // near the top-left
    stars.emplace_back(MakeRect(10, 15, 16, 22)); // touching the bottom-right
    stars.emplace_back(MakeRect(7, 8, 9, 10));    // overlapping the others' reach
    for (Star& s : stars)
        std::fill(s.mask.begin(), s.mask.end(), 1);
    for (double radius : {1.0, 2.5, 4.0}) {
        OwnedPlanes live = p;
        StarReworkParams params;
        params.blurRadius = radius;
        BlurStars(live.View(), stars, params);

        const std::string dir = ReferenceScratchDir();
        ASSERT_FALSE(dir.empty());
        std::vector<double> in;
        for (const auto* plane : {&p.red, &p.green, &p.blue})
            in.insert(in.end(), plane->begin(), plane->end());
        WriteDoubles(dir + "/in.f64", in);
        std::ostringstream rects;
        for (const Star& s : stars)
            rects << s.bounds.top << "," << s.bounds.left << "," << s.bounds.bottom << "," << s.bounds.right << ";";
        const std::string code = R"(
import sys, numpy as np
d, W, H, radius, rects = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
x = np.fromfile(d + '/in.f64').reshape(3, H, W)
size = 2 * int(radius + 1.0) - 1
if size == 1: size = 3
c = size // 2
ax = np.array([np.exp(-(2.0 * (i - c) / radius) ** 2) for i in range(size)])
if size >= 4 and ax[0] <= 0.2:
    k = next(i for i in range(1, c + 1) if ax[i] > 0.2)
    ax = ax[k:size - k]
K = np.outer(ax, ax)
h = K.shape[0] // 2
out = x.copy()
for r in rects.strip(';').split(';'):
    t, l, b, rr = map(int, r.split(','))
    for y in range(max(0, t - h), min(H - 1, b + h) + 1):
        for xx in range(max(0, l - h), min(W - 1, rr + h) + 1):
            y0, y1, x0, x1 = max(0, y - h), min(H, y + h + 1), max(0, xx - h), min(W, xx + h + 1)
            w = K[y0 - y + h:y1 - y + h, x0 - xx + h:x1 - xx + h]
            for ch in range(3):
                out[ch, y, xx] = np.trunc((x[ch, y0:y1, x0:x1] * w).sum() / w.sum() + 1e-9)
out.tofile(d + '/out.f64')
)";
        std::string output;
        ASSERT_TRUE(RunPython(
            code, {dir, std::to_string(p.width), std::to_string(p.height), std::to_string(radius), rects.str()},
            &output))
            << output;
        const std::vector<double> expected = ReadDoubles(dir + "/out.f64");
        ASSERT_EQ(expected.size(), 3 * p.red.size());
        const std::vector<int32_t>* planes[3] = {&live.red, &live.green, &live.blue};
        int differences = 0;
        for (int c = 0; c < 3; ++c)
            for (std::size_t i = 0; i < p.red.size(); ++i)
                differences += (*planes[c])[i] != static_cast<int32_t>(expected[c * p.red.size() + i]);
        EXPECT_EQ(differences, 0) << "radius " << radius;
    }
}

TEST(StarRework, NoStarsLeaveTheSavedPlanes)
{
    OwnedPlanes saved(13, 11);
    saved.Noise(3, 0, 1000);
    OwnedPlanes live(13, 11, 77);
    StarReworkParams params;
    params.deringThreshold = 500;
    params.spread = 900;
    params.blurRadius = 5.0;
    ReworkStars(saved.ConstView(), live.View(), {}, params);
    EXPECT_EQ(live, saved);
}
