// tests/unit/MedianFilterTest.cpp: the selective median filter against
// scipy.ndimage.generic_filter and hand cases, out of memory and threads.
#include "imaging/MedianFilter.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"

namespace {

// Random colours with random alpha; about a third of the pixels are black, so
// threshold 1 has pixels to filter.
void FillSpeckled(GWorldWrapper& image, uint32_t seed)
{
    std::mt19937 random(seed);
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const auto byte = [&] { return static_cast<uint8_t>(random() & 0xFF); };
            Argb p{byte(), byte(), byte(), byte()};
            if (random() % 3 == 0)
                p.r = p.g = p.b = 0;
            SetPixel(image, x, y, p);
        }
}

std::vector<unsigned char> Rgb(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Argb p = GetPixel(image, x, y);
            bytes.insert(bytes.end(), {p.r, p.g, p.b});
        }
    return bytes;
}

std::vector<unsigned char> Alpha(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            bytes.push_back(GetPixel(image, x, y).a);
    return bytes;
}

// Per channel: the sorted in-image neighbours' element n // 2 (NaN marks the
// outside), only where max(RGB) < threshold.
const char* const kScipyMedian = R"(
import sys
import numpy as np
from scipy.ndimage import generic_filter
d = sys.argv[1]
def middle(v):
    v = np.sort(v[~np.isnan(v)])
    return v[len(v) // 2] if len(v) else np.nan
for line in open(d + '/cases.txt'):
    name, w, h, radius, threshold = line.split()
    w, h, radius, threshold = int(w), int(h), int(radius), int(threshold)
    img = np.fromfile(d + '/' + name + '.in', dtype=np.uint8).reshape(h, w, 3).astype(float)
    yy, xx = np.mgrid[-radius:radius + 1, -radius:radius + 1]
    footprint = (yy ** 2 + xx ** 2 <= {1: 2, 2: 5, 3: 10}[radius]) & ~((yy == 0) & (xx == 0))
    filtered = img.max(axis=2) < threshold
    out = img.copy()
    for c in range(3):
        m = generic_filter(img[:, :, c], middle, footprint=footprint, mode='constant', cval=np.nan)
        out[:, :, c] = np.where(filtered & ~np.isnan(m), m, img[:, :, c])
    out.astype(np.uint8).tofile(d + '/' + name + '.out')
)";

} // namespace

TEST(MedianFilter, MatchesScipy)
{
    struct Case {
        std::string name;
        std::unique_ptr<GWorldWrapper> image;
        std::vector<unsigned char> alpha;
    };
    const std::string dir = ReferenceScratchDir();
    std::ofstream list(dir + "/cases.txt");
    std::vector<Case> cases;
    const std::vector<std::pair<int, int>> sizes = {{20, 15}, {1, 1}, {1, 9}, {9, 1}, {2, 2}, {3, 5}, {7, 7}, {300, 9}};
    for (auto [w, h] : sizes)
        for (int radius = 1; radius <= 3; ++radius)
            for (int threshold : {1, 128, 256}) {
                Case c;
                c.name = std::to_string(w) + "x" + std::to_string(h) + "r" + std::to_string(radius) + "t" +
                         std::to_string(threshold);
                c.image = MakeImage(w, h);
                FillSpeckled(*c.image, static_cast<uint32_t>(cases.size() + 1));
                WriteBytes(dir + "/" + c.name + ".in", Rgb(*c.image));
                list << c.name << " " << w << " " << h << " " << radius << " " << threshold << "\n";
                c.alpha = Alpha(*c.image);
                MedianFilterImage(*c.image, radius, threshold);
                cases.push_back(std::move(c));
            }
    list.close();
    std::string output;
    ASSERT_TRUE(RunPython(kScipyMedian, {dir}, &output)) << output;
    for (const Case& c : cases) {
        EXPECT_EQ(Rgb(*c.image), ReadBytes(dir + "/" + c.name + ".out")) << c.name;
        EXPECT_EQ(Alpha(*c.image), c.alpha) << c.name;
    }
}

TEST(MedianFilter, ZeroThresholdOrRadiusLeavesImageUntouched)
{
    auto image = MakeImage(9, 7);
    FillSpeckled(*image, 3);
    auto original = MakeImage(9, 7);
    *original = *image;
    for (auto [radius, threshold] : std::vector<std::pair<int, int>>{{0, 256}, {-2, 256}, {2, 0}, {2, -5}}) {
        MedianFilterImage(*image, radius, threshold);
        EXPECT_TRUE(SamePixels(*image, *original, true)) << radius << " " << threshold;
    }
}

TEST(MedianFilter, RadiiAboveThreeActAsThree)
{
    auto seven = MakeImage(12, 10);
    FillSpeckled(*seven, 4);
    auto three = MakeImage(12, 10);
    *three = *seven;
    MedianFilterImage(*seven, 7, 200);
    MedianFilterImage(*three, 3, 200);
    EXPECT_TRUE(SamePixels(*seven, *three, true));
}

TEST(MedianFilter, BrightPixelOnBlackStaysBelowItsThreshold)
{
    auto image = MakeImage(5, 5);
    FillFlat(*image, 0, 0, 0);
    SetPixel(*image, 2, 2, {0xFF, 255, 255, 255});
    MedianFilterImage(*image, 1, 128); // not below 128: kept; neighbours' medians are 0
    EXPECT_EQ(GetPixel(*image, 2, 2), (Argb{0xFF, 255, 255, 255}));
    EXPECT_EQ(GetPixel(*image, 1, 1), (Argb{0xFF, 0, 0, 0}));
    EXPECT_EQ(GetPixel(*image, 2, 1), (Argb{0xFF, 0, 0, 0}));
    MedianFilterImage(*image, 1, 256);
    EXPECT_EQ(GetPixel(*image, 2, 2), (Argb{0xFF, 0, 0, 0}));
}

TEST(MedianFilter, CornerTakesTheMiddleOfItsThreeNeighbours)
{
    auto image = MakeImage(4, 3);
    FillFlat(*image, 200, 200, 200);
    SetPixel(*image, 0, 0, {0xFF, 0, 0, 0});
    SetPixel(*image, 1, 0, {0xFF, 10, 90, 40});  // right
    SetPixel(*image, 0, 1, {0xFF, 30, 20, 250}); // below
    SetPixel(*image, 1, 1, {0xFF, 20, 60, 80});  // diagonal
    MedianFilterImage(*image, 1, 1);             // only the black corner is filtered
    EXPECT_EQ(GetPixel(*image, 0, 0), (Argb{0xFF, 20, 60, 80}));
    EXPECT_EQ(GetPixel(*image, 1, 0), (Argb{0xFF, 10, 90, 40}));
}

TEST(MedianFilter, EvenCountTakesTheUpperMiddle)
{
    // A 2x2 image: each pixel has 3 neighbours; a 2x3 edge pixel with radius 1
    // has 5; a 1x3 middle pixel has 2, and takes the larger.
    auto image = MakeImage(3, 1);
    SetPixel(*image, 0, 0, {0xFF, 10, 70, 5});
    SetPixel(*image, 1, 0, {0xFF, 0, 0, 0});
    SetPixel(*image, 2, 0, {0xFF, 30, 60, 9});
    MedianFilterImage(*image, 1, 1);
    EXPECT_EQ(GetPixel(*image, 1, 0), (Argb{0xFF, 30, 70, 9}));
}

TEST(MedianFilter, OnePixelImageKeepsItsValue)
{
    auto image = MakeImage(1, 1);
    SetPixel(*image, 0, 0, {0x12, 40, 50, 60});
    for (int radius = 1; radius <= 3; ++radius)
        MedianFilterImage(*image, radius, 256);
    EXPECT_EQ(GetPixel(*image, 0, 0), (Argb{0x12, 40, 50, 60}));
}

TEST(MedianFilter, OutOfMemoryAlertsThrowsAndLeavesImage)
{
    ScriptedInteraction ui;
    auto image = MakeImage(8, 6);
    FillSpeckled(*image, 9);
    auto original = MakeImage(8, 6);
    *original = *image;
    FailNextImageAllocationsForTesting(1);
    EXPECT_THROW(MedianFilterImage(*image, 2, 256), std::bad_alloc);
    EXPECT_TRUE(SamePixels(*image, *original, true));
    EXPECT_EQ(ui.AlertCount(), 1);
}

TEST(MedianFilter, OutOfMemoryOnWorkerAlertsOnceOnMainThread)
{
    ScriptedInteraction ui;
    TestMainThreadQueue queue;
    auto image = MakeImage(8, 6);
    FillSpeckled(*image, 10);
    auto original = MakeImage(8, 6);
    *original = *image;
    bool threw = false;
    FailNextImageAllocationsForTesting(1);
    std::thread worker([&] {
        try {
            MedianFilterImage(*image, 3, 256);
        } catch (const std::bad_alloc&) {
            threw = true;
        }
    });
    worker.join();
    EXPECT_TRUE(threw);
    EXPECT_TRUE(SamePixels(*image, *original, true));
    EXPECT_EQ(ui.AlertCount(), 0);
    EXPECT_EQ(queue.Drain(), 1);
    EXPECT_EQ(ui.AlertCount(), 1);
}

TEST(MedianFilter, ThreadsFilterTheirOwnImagesAlike)
{
    constexpr int kThreads = 8;
    auto expected = MakeImage(61, 37);
    FillSpeckled(*expected, 77);
    std::vector<std::unique_ptr<GWorldWrapper>> images;
    for (int i = 0; i < kThreads; ++i) {
        images.push_back(MakeImage(61, 37));
        *images.back() = *expected;
    }
    MedianFilterImage(*expected, 2, 200);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { MedianFilterImage(*images[i], 2, 200); });
    for (auto& t : threads)
        t.join();
    for (const auto& image : images)
        EXPECT_TRUE(SamePixels(*image, *expected, true));
}

TEST(MedianFilter, TwoLevelImagesMatchSortedWindows)
{
    // Any comparator network that selects correctly on every two-level input
    // selects correctly on all inputs; wide rows cover several pixel batches.
    for (int radius = 1; radius <= 3; ++radius) {
        auto image = MakeImage(600, 11);
        std::mt19937 random(static_cast<uint32_t>(radius));
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 600; ++x) {
                const auto level = [&] { return static_cast<uint8_t>(random() % 2 ? 255 : 0); };
                SetPixel(*image, x, y, {0xFF, level(), level(), level()});
            }
        auto original = MakeImage(600, 11);
        *original = *image;
        MedianFilterImage(*image, radius, 256);
        const int reach = std::array<int, 4>{0, 2, 5, 10}[radius];
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 600; ++x) {
                std::array<std::vector<uint8_t>, 3> values;
                for (int dy = -radius; dy <= radius; ++dy)
                    for (int dx = -radius; dx <= radius; ++dx) {
                        if ((dx == 0 && dy == 0) || dx * dx + dy * dy > reach || x + dx < 0 || x + dx >= 600 ||
                            y + dy < 0 || y + dy >= 11)
                            continue;
                        const Argb p = GetPixel(*original, x + dx, y + dy);
                        values[0].push_back(p.r), values[1].push_back(p.g), values[2].push_back(p.b);
                    }
                for (auto& v : values)
                    std::sort(v.begin(), v.end());
                const Argb got = GetPixel(*image, x, y);
                const std::size_t middle = values[0].size() / 2;
                ASSERT_EQ(got, (Argb{0xFF, values[0][middle], values[1][middle], values[2][middle]}))
                    << "radius " << radius << " at (" << x << ", " << y << ")";
            }
    }
}

TEST(MedianFilter, PortableAndVectorLoopsAgree)
{
    uint32_t seed = 70;
    for (int w : {9, 15, 17, 23, 33, 101, 301})
        for (int radius = 1; radius <= 3; ++radius)
            for (int threshold : {1, 128, 256}) {
                auto vector = MakeImage(w, 7);
                FillSpeckled(*vector, seed++);
                auto portable = MakeImage(w, 7);
                *portable = *vector;
                MedianFilterImage(*vector, radius, threshold);
                ForcePortableMedianForTesting(true);
                MedianFilterImage(*portable, radius, threshold);
                ForcePortableMedianForTesting(false);
                EXPECT_TRUE(SamePixels(*vector, *portable, true)) << w << " r" << radius << " t" << threshold;
            }
}
