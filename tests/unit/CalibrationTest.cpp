// tests/unit/CalibrationTest.cpp: dark subtraction, flat division and
// multiplication, by hand, against numpy, with trimmed rects, out of memory
// and several threads sharing one calibration image.
#include "imaging/Calibration.h"

#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"
#include "tests/unit/ImageArrays.h"

namespace {

// A channel's pairing for the reference script: image top, left, calibration
// top, left, height, width (all inside their images).
using Pairing = std::array<int, 6>;

Rect ImageRect(const Pairing& p)
{
    return MakeRect(p[0], p[1], p[0] + p[4], p[1] + p[5]);
}

Rect CalRect(const Pairing& p)
{
    return MakeRect(p[2], p[3], p[2] + p[4], p[3] + p[5]);
}

void Subtract(GWorldWrapper& image, const GWorldWrapper& dark, const Rect& imageRect, const Rect& darkRect)
{
    SubtractImage(image, dark, true, true, imageRect, imageRect, imageRect, darkRect, darkRect, darkRect);
}

void Divide(GWorldWrapper& image, const GWorldWrapper& flat, double factor, const Rect& imageRect, const Rect& flatRect)
{
    DivideMultiplyFlatFrame(image, flat, true, true, factor, imageRect, imageRect, imageRect, flatRect, flatRect,
                            flatRect);
}

// Random pixels with about one component in six forced to 0, so both 0 / f
// and a / 0 occur.
void FillNoiseWithZeros(GWorldWrapper& image, uint32_t seed)
{
    FillNoise(image, seed);
    int n = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x, ++n) {
            Argb p = GetPixel(image, x, y);
            if (n % 6 == 1)
                p.r = 0;
            if (n % 7 == 2)
                p.g = 0;
            if (n % 5 == 3)
                p.b = 0;
            SetPixel(image, x, y, p);
        }
}

// Runs kind ("subtract" or "divide") in numpy and compares every byte.
void ExpectMatchesNumpy(const char* kind, int width, int height, int calWidth, int calHeight,
                        const std::array<Pairing, 3>& pairs, double factor, uint32_t seed)
{
    SCOPED_TRACE(std::string(kind) + " " + std::to_string(width) + "x" + std::to_string(height));
    auto image = MakeImage(width, height);
    auto cal = MakeImage(calWidth, calHeight);
    FillNoiseWithZeros(*image, seed);
    FillNoiseWithZeros(*cal, seed + 100);
    const std::string dir = ReferenceScratchDir();
    std::vector<std::string> args = {kind,
                                     WriteRgb(*image, dir, "a.rgb"),
                                     Arg(height),
                                     Arg(width),
                                     WriteRgb(*cal, dir, "b.rgb"),
                                     Arg(calHeight),
                                     Arg(calWidth),
                                     Arg(factor)};
    for (const Pairing& p : pairs)
        for (int v : p)
            args.push_back(Arg(v));
    const std::string out = dir + "/out.rgb";
    args.push_back(out);
    ASSERT_TRUE(RunImagingReference(args));
    if (std::string(kind) == "subtract")
        SubtractImage(*image, *cal, true, false, ImageRect(pairs[0]), ImageRect(pairs[1]), ImageRect(pairs[2]),
                      CalRect(pairs[0]), CalRect(pairs[1]), CalRect(pairs[2]));
    else
        DivideMultiplyFlatFrame(*image, *cal, true, false, factor, ImageRect(pairs[0]), ImageRect(pairs[1]),
                                ImageRect(pairs[2]), CalRect(pairs[0]), CalRect(pairs[1]), CalRect(pairs[2]));
    EXPECT_EQ(RgbBytes(*image), ReadBytes(out));
}

} // namespace

TEST(Calibration, SubtractHandCases)
{
    auto image = MakeImage(3, 1);
    auto dark = MakeImage(3, 1);
    SetPixel(*image, 0, 0, {7, 10, 200, 0});
    SetPixel(*image, 1, 0, {8, 255, 20, 5});
    SetPixel(*image, 2, 0, {9, 0, 0, 255});
    SetPixel(*dark, 0, 0, {0, 20, 100, 0});
    SetPixel(*dark, 1, 0, {0, 255, 19, 6});
    SetPixel(*dark, 2, 0, {0, 0, 1, 255});
    Subtract(*image, *dark, image->GetDim(), dark->GetDim());
    EXPECT_EQ(GetPixel(*image, 0, 0), (Argb{7, 0, 100, 0})); // 10 - 20 is 0, not 246
    EXPECT_EQ(GetPixel(*image, 1, 0), (Argb{8, 0, 1, 0}));
    EXPECT_EQ(GetPixel(*image, 2, 0), (Argb{9, 0, 0, 0}));
}

TEST(Calibration, ZeroDarkLeavesImage)
{
    auto image = MakeImage(13, 7);
    FillNoise(*image, 1);
    auto before = MakeImage(13, 7);
    *before = *image;
    auto dark = MakeImage(13, 7);
    FillFlat(*dark, 0, 0, 0);
    Subtract(*image, *dark, image->GetDim(), dark->GetDim());
    EXPECT_TRUE(SamePixels(*image, *before, true));
}

// The image given as its own dark frame: the result comes from the
// unmodified input, so every channel is black, alpha kept.
TEST(Calibration, SubtractImageFromItselfIsBlack)
{
    auto image = MakeImage(9, 5);
    FillNoise(*image, 4);
    Subtract(*image, *image, image->GetDim(), image->GetDim());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x) {
            const Argb p = GetPixel(*image, x, y);
            ASSERT_EQ(p.r + p.g + p.b, 0);
            ASSERT_EQ(p.a, 0xFF);
        }
    // Shifted rects of the same image read the unmodified input too:
    // pixel (y, x) - pixel (y, x + 1) of the original.
    auto shifted = MakeImage(4, 1);
    for (int x = 0; x < 4; ++x)
        SetPixel(*shifted, x, 0, {0xFF, static_cast<uint8_t>(100 - 10 * x), 0, 0});
    Subtract(*shifted, *shifted, MakeRect(0, 0, 1, 3), MakeRect(0, 1, 1, 4));
    // 100-90, 90-80, 80-70; the last pixel is outside the image rect.
    EXPECT_EQ(GetPixel(*shifted, 0, 0).r, 10);
    EXPECT_EQ(GetPixel(*shifted, 1, 0).r, 10);
    EXPECT_EQ(GetPixel(*shifted, 2, 0).r, 10);
    EXPECT_EQ(GetPixel(*shifted, 3, 0).r, 70);
    // Shifted backward, each pixel's calibration value lies behind it, where
    // an in-place pass would already have written: 30-10, 60-30, 100-60.
    auto backward = MakeImage(4, 1);
    const uint8_t rising[4] = {10, 30, 60, 100};
    for (int x = 0; x < 4; ++x)
        SetPixel(*backward, x, 0, {0xFF, rising[x], 0, 0});
    Subtract(*backward, *backward, MakeRect(0, 1, 1, 4), MakeRect(0, 0, 1, 3));
    EXPECT_EQ(GetPixel(*backward, 0, 0).r, 10);
    EXPECT_EQ(GetPixel(*backward, 1, 0).r, 20);
    EXPECT_EQ(GetPixel(*backward, 2, 0).r, 30);
    EXPECT_EQ(GetPixel(*backward, 3, 0).r, 40);
}

TEST(Calibration, SubtractMatchesNumpyPerChannelRects)
{
    ExpectMatchesNumpy("subtract", 23, 17, 23, 17,
                       {Pairing{0, 0, 0, 0, 17, 23}, Pairing{2, 3, 0, 1, 13, 17}, Pairing{5, 0, 1, 9, 12, 10}}, 0.0,
                       10);
    // A dark of another size, and tiny images.
    ExpectMatchesNumpy("subtract", 11, 9, 30, 20,
                       {Pairing{1, 1, 10, 15, 8, 10}, Pairing{0, 0, 0, 0, 9, 11}, Pairing{3, 2, 19, 29, 1, 1}}, 0.0,
                       11);
    ExpectMatchesNumpy("subtract", 1, 1, 1, 1,
                       {Pairing{0, 0, 0, 0, 1, 1}, Pairing{0, 0, 0, 0, 1, 1}, Pairing{0, 0, 0, 0, 1, 1}}, 0.0, 12);
    ExpectMatchesNumpy("subtract", 1, 19, 1, 19,
                       {Pairing{0, 0, 0, 0, 19, 1}, Pairing{3, 0, 0, 0, 16, 1}, Pairing{0, 0, 2, 0, 17, 1}}, 0.0, 13);
    ExpectMatchesNumpy("subtract", 19, 1, 19, 1,
                       {Pairing{0, 0, 0, 0, 1, 19}, Pairing{0, 5, 0, 0, 1, 14}, Pairing{0, 0, 0, 6, 1, 13}}, 0.0, 14);
}

TEST(Calibration, DivideHandCases)
{
    // Factor 128: 64/128 -> 64; 200/100 -> 256 capped at 255; 100/0 -> +inf
    // -> 255; 0/0 -> NaN -> 0; 3/255 * 128 = 1.505 -> 1.
    const int a[] = {64, 200, 100, 0, 3};
    const int f[] = {128, 100, 0, 0, 255};
    const int expected[] = {64, 255, 255, 0, 1};
    auto image = MakeImage(5, 1);
    auto flat = MakeImage(5, 1);
    for (int x = 0; x < 5; ++x) {
        SetPixel(*image, x, 0, {static_cast<uint8_t>(x), static_cast<uint8_t>(a[x]), static_cast<uint8_t>(a[x]), 1});
        SetPixel(*flat, x, 0, {0, static_cast<uint8_t>(f[x]), static_cast<uint8_t>(f[x]), 1});
    }
    Divide(*image, *flat, 128.0, image->GetDim(), flat->GetDim());
    for (int x = 0; x < 5; ++x) {
        const Argb p = GetPixel(*image, x, 0);
        EXPECT_EQ(p.r, expected[x]) << a[x] << " / " << f[x];
        EXPECT_EQ(p.g, expected[x]);
        EXPECT_EQ(p.b, 128); // 1 / 1 * 128
        EXPECT_EQ(p.a, x);
    }
}

TEST(Calibration, DivideMatchesNumpy)
{
    // The flat's mean is the usual factor; other factors too, and a negative
    // one, which gives 0 (and -0.0 for 0 over f, also 0).
    for (const double factor : {127.37, 1.0, 300.0, -5.0}) {
        SCOPED_TRACE(factor);
        ExpectMatchesNumpy("divide", 23, 17, 23, 17,
                           {Pairing{0, 0, 0, 0, 17, 23}, Pairing{2, 3, 0, 1, 13, 17}, Pairing{5, 0, 1, 9, 12, 10}},
                           factor, 20);
    }
    ExpectMatchesNumpy("divide", 1, 7, 1, 7,
                       {Pairing{0, 0, 0, 0, 7, 1}, Pairing{1, 0, 0, 0, 6, 1}, Pairing{0, 0, 0, 0, 7, 1}}, 99.5, 21);
}

// Constrained rects that start below and right of (0, 0): only their inside
// changes, in place.
TEST(Calibration, OnlyInsideTheRectsChanges)
{
    auto image = MakeImage(8, 6);
    FillNoise(*image, 30);
    auto before = MakeImage(8, 6);
    *before = *image;
    auto dark = MakeImage(5, 4);
    FillFlat(*dark, 255, 255, 255);
    const Rect inside = MakeRect(2, 3, 6, 8);
    Subtract(*image, *dark, inside, MakeRect(0, 0, 4, 5));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const Argb p = GetPixel(*image, x, y);
            if (y >= 2 && x >= 3)
                ASSERT_EQ(p, (Argb{GetPixel(*before, x, y).a, 0, 0, 0})) << x << "," << y;
            else
                ASSERT_EQ(p, GetPixel(*before, x, y)) << x << "," << y;
        }
}

// A dark smaller than the image after a crop or resample, with rects past its
// edges: the pair is trimmed with its pairing kept. Image rect (2, 3)-(16, 20)
// pairs with dark rect (-1, -2)-(13, 15): image (y, x) with dark (y - 3, x - 5).
// Trimmed: dark rows 0 ... 7 and columns 0 ... 9 (its whole 10 x 8), so image
// rows 3 ... 10 and columns 5 ... 14.
TEST(Calibration, RectsPastTheDarkAreTrimmed)
{
    auto image = MakeImage(20, 16);
    FillNoise(*image, 40);
    auto before = MakeImage(20, 16);
    *before = *image;
    auto dark = MakeImage(10, 8);
    FillNoise(*dark, 41);
    Subtract(*image, *dark, MakeRect(2, 3, 16, 20), MakeRect(-1, -2, 13, 15));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 20; ++x) {
            const Argb p = GetPixel(*image, x, y), old = GetPixel(*before, x, y);
            if (y >= 3 && y <= 10 && x >= 5 && x <= 14) {
                const Argb d = GetPixel(*dark, x - 5, y - 3);
                ASSERT_EQ(p.r, old.r >= d.r ? old.r - d.r : 0) << x << "," << y;
                ASSERT_EQ(p.g, old.g >= d.g ? old.g - d.g : 0);
                ASSERT_EQ(p.b, old.b >= d.b ? old.b - d.b : 0);
            } else {
                ASSERT_EQ(p, old) << x << "," << y;
            }
        }
}

// Rects of different sizes pair from their top-left corners over the common
// size; a rect wholly outside changes nothing.
TEST(Calibration, UnequalAndOutsideRects)
{
    auto image = MakeImage(6, 6);
    FillFlat(*image, 100, 100, 100);
    auto flat = MakeImage(6, 6);
    FillFlat(*flat, 50, 50, 50);
    DivideMultiplyFlatFrame(*image, *flat, true, true, 10.0, MakeRect(0, 0, 6, 6), MakeRect(-10, -10, -4, -4),
                            MakeRect(1, 1, 3, 5), MakeRect(0, 0, 2, 3), MakeRect(0, 0, 6, 6), MakeRect(-3, -3, 10, 10));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const Argb p = GetPixel(*image, x, y);
            ASSERT_EQ(p.r, y < 2 && x < 3 ? 20 : 100) << x << "," << y;
            ASSERT_EQ(p.g, 100);
            // Blue: image (1, 1) pairs with flat (-3, -3); trimmed by 3: image rows
            // 4 ... and columns 4 ..., but the image rect ends at row 3: nothing.
            ASSERT_EQ(p.b, 100);
        }
}

TEST(Calibration, MultiplyHandCases)
{
    auto image = MakeImage(3, 1);
    SetPixel(*image, 0, 0, {1, 255, 1, 100});
    SetPixel(*image, 1, 0, {2, 0, 2, 3});
    SetPixel(*image, 2, 0, {3, 101, 128, 200});
    auto before = MakeImage(3, 1);
    *before = *image;
    const double inf = std::numeric_limits<double>::infinity();
    for (const double untouched : {1.0, -2.0, std::nan(""), inf, -inf, -0.001}) {
        MultiplyImage(*image, untouched);
        ASSERT_TRUE(SamePixels(*image, *before, true)) << untouched;
    }
    MultiplyImage(*image, 0.5);
    EXPECT_EQ(GetPixel(*image, 0, 0), (Argb{1, 127, 0, 50}));
    EXPECT_EQ(GetPixel(*image, 1, 0), (Argb{2, 0, 1, 1}));
    EXPECT_EQ(GetPixel(*image, 2, 0), (Argb{3, 50, 64, 100}));
    *image = *before;
    MultiplyImage(*image, 3.0);
    EXPECT_EQ(GetPixel(*image, 0, 0), (Argb{1, 255, 3, 255})); // 100 * 3 = 300 -> 255
    EXPECT_EQ(GetPixel(*image, 2, 0), (Argb{3, 255, 255, 255}));
    *image = *before;
    MultiplyImage(*image, 1e300); // huge but finite: saturates
    EXPECT_EQ(GetPixel(*image, 1, 0), (Argb{2, 0, 255, 255}));
    MultiplyImage(*image, 0.0);
    EXPECT_EQ(GetPixel(*image, 1, 0), (Argb{2, 0, 0, 0}));
}

TEST(Calibration, MultiplyOddSizesAndPadding)
{
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {7, 5}}) {
        auto image = MakeImage(w, h);
        FillFlat(*image, 10, 20, 30);
        MultiplyImage(*image, 2.5);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(GetPixel(*image, x, y), (Argb{0xFF, 25, 50, 75}));
    }
}

TEST(Calibration, OutOfMemoryLeavesImageAndThrows)
{
    ScriptedInteraction ui;
    auto image = MakeImage(8, 8);
    FillNoise(*image, 50);
    auto before = MakeImage(8, 8);
    *before = *image;
    auto dark = MakeImage(8, 8);
    FillNoise(*dark, 51);
    FailNextImageAllocationsForTesting(1);
    EXPECT_THROW(Subtract(*image, *dark, image->GetDim(), dark->GetDim()), std::bad_alloc);
    EXPECT_TRUE(SamePixels(*image, *before, true));
    EXPECT_EQ(ui.AlertCount(), 1);
    FailNextImageAllocationsForTesting(1);
    EXPECT_THROW(Divide(*image, *dark, 128.0, image->GetDim(), dark->GetDim()), std::bad_alloc);
    EXPECT_TRUE(SamePixels(*image, *before, true));
    EXPECT_EQ(ui.AlertCount(), 2);
    FailNextImageAllocationsForTesting(0);
}

// On a worker the alert goes to the main thread, once, and the exception
// still reaches the worker's caller.
TEST(Calibration, OutOfMemoryOnWorkerAlertsOnMainThread)
{
    ScriptedInteraction ui;
    TestMainThreadQueue queue;
    auto image = MakeImage(8, 8);
    FillNoise(*image, 52);
    auto before = MakeImage(8, 8);
    *before = *image;
    auto dark = MakeImage(8, 8);
    bool threw = false;
    std::thread worker([&] {
        FailNextImageAllocationsForTesting(1);
        try {
            Subtract(*image, *dark, image->GetDim(), dark->GetDim());
        } catch (const std::bad_alloc&) {
            threw = true;
        }
    });
    worker.join();
    EXPECT_TRUE(threw);
    EXPECT_TRUE(SamePixels(*image, *before, true));
    EXPECT_EQ(ui.AlertCount(), 0);
    EXPECT_EQ(queue.Drain(), 1);
    EXPECT_EQ(ui.AlertCount(), 1);
}

// Eight workers calibrate their own images against one shared dark and flat,
// without locking them, as a frame job does.
TEST(Calibration, ThreadsShareDarkAndFlat)
{
    constexpr int kThreads = 8;
    auto dark = MakeImage(64, 48);
    auto flat = MakeImage(64, 48);
    FillNoise(*dark, 60);
    FillNoiseWithZeros(*flat, 61);
    const Rect r = MakeRect(3, 2, 45, 60), d = MakeRect(0, 4, 42, 62);
    std::vector<std::unique_ptr<GWorldWrapper>> images, expected;
    for (int i = 0; i < kThreads; ++i) {
        images.push_back(MakeImage(64, 48));
        FillNoise(*images.back(), 70 + i);
        expected.push_back(MakeImage(64, 48));
        *expected.back() = *images.back();
        Subtract(*expected.back(), *dark, r, d);
        Divide(*expected.back(), *flat, 120.0, r, d);
    }
    std::vector<std::thread> workers;
    for (int i = 0; i < kThreads; ++i)
        workers.emplace_back([&, i] {
            SubtractImage(*images[i], *dark, true, false, r, r, r, d, d, d);
            DivideMultiplyFlatFrame(*images[i], *flat, true, false, 120.0, r, r, r, d, d, d);
        });
    for (auto& w : workers)
        w.join();
    for (int i = 0; i < kThreads; ++i)
        EXPECT_TRUE(SamePixels(*images[i], *expected[i], true)) << "thread " << i;
}
