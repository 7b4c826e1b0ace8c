// tests/unit/ResampleTest.cpp: resampling and 2 x 2 binning, by hand and
// against numpy/scipy.
#include "imaging/Resample.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"
#include "tests/unit/ImageArrays.h"

namespace {

using ResampleFunction = bool (*)(GWorldWrapper*, double);

struct Method {
    const char* name;
    ResampleFunction run;
};

const Method kMethods[] = {
    {"nearest", ResampleNearestNeighbor}, {"bilinear", ResampleImageBilinear}, {"bicubic", ResampleImageBicubic}};

// Sizes the smoothing must handle, 1-pixel sides included.
const std::pair<int, int> kSizes[] = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {2, 5}, {5, 2}, {3, 3}, {37, 23}, {16, 9}};

std::unique_ptr<GWorldWrapper> Copy(const GWorldWrapper& image)
{
    auto copy = MakeImage(image.Width(), image.Height());
    *copy = image;
    return copy;
}

} // namespace

TEST(Resample, NewSizeIsTruncatedProduct)
{
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        auto image = MakeImage(101, 75);
        FillNoise(*image, 1);
        ASSERT_TRUE(m.run(image.get(), 0.5));
        EXPECT_EQ(image->Width(), 50);
        EXPECT_EQ(image->Height(), 37);
        ASSERT_TRUE(m.run(image.get(), 2.0));
        EXPECT_EQ(image->Width(), 100);
        EXPECT_EQ(image->Height(), 74);
        ASSERT_TRUE(m.run(image.get(), 0.333));
        EXPECT_EQ(image->Width(), 33);  // trunc(33.3)
        EXPECT_EQ(image->Height(), 24); // trunc(24.642)
    }
}

TEST(Resample, DoublingRepeatsEachPixel)
{
    auto image = MakeImage(5, 3);
    FillNoise(*image, 2);
    SetPixel(*image, 4, 2, {0x33, 1, 2, 3});
    auto source = Copy(*image);
    ASSERT_TRUE(ResampleNearestNeighbor(image.get(), 2.0));
    ASSERT_EQ(image->Width(), 10);
    ASSERT_EQ(image->Height(), 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(GetPixel(*image, x, y), GetPixel(*source, x / 2, y / 2)) << x << "," << y;
}

// The stretch maps destination d to source floor(d * old / new), like numpy
// index arithmetic.
TEST(Resample, NearestMatchesNumpyIndexing)
{
    const std::string dir = ReferenceScratchDir();
    for (const double scale : {0.37, 1.7, 0.5, 3.0, 1.0}) {
        for (const auto& [w, h] : {std::pair{37, 23}, {1, 9}, {9, 1}, {4, 4}}) {
            SCOPED_TRACE(std::to_string(scale) + " " + std::to_string(w) + "x" + std::to_string(h));
            auto image = MakeImage(w, h);
            FillNoise(*image, static_cast<uint32_t>(w * h));
            const int nw = static_cast<int>(w * scale), nh = static_cast<int>(h * scale);
            if (nw < 1 || nh < 1)
                continue;
            const std::string out = dir + "/out.rgb";
            ASSERT_TRUE(RunImagingReference(
                {"stretch", WriteRgb(*image, dir, "in.rgb"), Arg(h), Arg(w), Arg(nh), Arg(nw), out}));
            ASSERT_TRUE(ResampleNearestNeighbor(image.get(), scale));
            ASSERT_EQ(image->Width(), nw);
            ASSERT_EQ(image->Height(), nh);
            EXPECT_EQ(RgbBytes(*image), ReadBytes(out));
        }
    }
}

// At scale 1.0 the stretch is the identity, so each smoothing equals a
// correlation with its footprint over the count of in-image taps (scipy,
// int64 so sums of bytes cannot wrap), floor-divided.
TEST(Resample, SmoothingMatchesScipy)
{
    const std::string dir = ReferenceScratchDir();
    for (const auto& [w, h] : kSizes) {
        for (const char* shape : {"plus", "box"}) {
            SCOPED_TRACE(std::string(shape) + " " + std::to_string(w) + "x" + std::to_string(h));
            auto image = MakeImage(w, h);
            FillNoise(*image, static_cast<uint32_t>(100 + w * 31 + h));
            const std::string out = dir + "/out.rgb";
            ASSERT_TRUE(RunImagingReference({"smooth", WriteRgb(*image, dir, "in.rgb"), Arg(h), Arg(w), shape, out}));
            const bool plus = std::string(shape) == "plus";
            ASSERT_TRUE(plus ? ResampleImageBilinear(image.get(), 1.0) : ResampleImageBicubic(image.get(), 1.0));
            ASSERT_EQ(image->Width(), w);
            EXPECT_EQ(RgbBytes(*image), ReadBytes(out));
        }
    }
}

// The divisors at 3 x 3: corners 3 and 4, edges 4 and 6, centre 5 and 9.
TEST(Resample, SmoothingDivisorsByHand)
{
    auto image = MakeImage(3, 3);
    FillFlat(*image, 0, 0, 0);
    SetPixel(*image, 1, 1, {0xFF, 180, 90, 255}); // one bright centre
    auto box = Copy(*image);
    ASSERT_TRUE(ResampleImageBilinear(image.get(), 1.0));
    EXPECT_EQ(GetPixel(*image, 1, 1), (Argb{0xFF, 36, 18, 51})); // / 5
    EXPECT_EQ(GetPixel(*image, 1, 0), (Argb{0xFF, 45, 22, 63})); // edge / 4
    EXPECT_EQ(GetPixel(*image, 0, 0), (Argb{0xFF, 0, 0, 0}));    // corner: centre not a neighbour
    ASSERT_TRUE(ResampleImageBicubic(box.get(), 1.0));
    EXPECT_EQ(GetPixel(*box, 1, 1), (Argb{0xFF, 20, 10, 28})); // / 9
    EXPECT_EQ(GetPixel(*box, 0, 1), (Argb{0xFF, 30, 15, 42})); // / 6
    EXPECT_EQ(GetPixel(*box, 2, 2), (Argb{0xFF, 45, 22, 63})); // / 4
}

TEST(Resample, TooSmallFailsQuietly)
{
    ScriptedInteraction ui;
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        auto image = MakeImage(3, 3);
        FillNoise(*image, 3);
        auto before = Copy(*image);
        EXPECT_FALSE(m.run(image.get(), 0.25)); // 0 x 0
        EXPECT_FALSE(m.run(image.get(), 0.0));
        EXPECT_FALSE(m.run(image.get(), -2.0));
        EXPECT_FALSE(m.run(image.get(), std::nan("")));
        EXPECT_TRUE(SamePixels(*image, *before, true));
        auto wide = MakeImage(10, 1);
        EXPECT_FALSE(m.run(wide.get(), 0.5)); // 5 x 0
        EXPECT_EQ(wide->Height(), 1);
    }
    EXPECT_EQ(ui.AlertCount(), 0);
}

TEST(Resample, SideAbove16BitsFailsWithAlert)
{
    ScriptedInteraction ui;
    int alerts = 0;
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        auto image = MakeImage(100, 3);
        FillNoise(*image, 4);
        auto before = Copy(*image);
        EXPECT_FALSE(m.run(image.get(), 327.68)); // 32768 wide
        EXPECT_EQ(ui.AlertCount(), ++alerts);
        EXPECT_FALSE(m.run(image.get(), std::numeric_limits<double>::infinity()));
        EXPECT_EQ(ui.AlertCount(), ++alerts);
        EXPECT_TRUE(SamePixels(*image, *before, true));
    }
    // 327.67 gives exactly 32767: allowed (checked on a 1-pixel-high strip).
    auto strip = MakeImage(100, 1);
    EXPECT_TRUE(ResampleNearestNeighbor(strip.get(), 327.67));
    EXPECT_EQ(strip->Width(), 32767);
}

TEST(Resample, OutOfMemoryLeavesImage)
{
    ScriptedInteraction ui;
    int alerts = 0;
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        auto image = MakeImage(9, 7);
        FillNoise(*image, 5);
        auto before = Copy(*image);
        for (const double scale : {0.5, 2.0, 1.0}) {
            FailNextImageAllocationsForTesting(1);
            EXPECT_FALSE(m.run(image.get(), scale));
            FailNextImageAllocationsForTesting(0);
            EXPECT_TRUE(SamePixels(*image, *before, true));
            EXPECT_EQ(ui.AlertCount(), ++alerts);
        }
    }
    auto image = MakeImage(9, 7);
    FillNoise(*image, 6);
    auto before = Copy(*image);
    FailNextImageAllocationsForTesting(1);
    EXPECT_FALSE(BinFourToOne(image.get()));
    FailNextImageAllocationsForTesting(0);
    EXPECT_TRUE(SamePixels(*image, *before, true));
    EXPECT_EQ(ui.AlertCount(), ++alerts);
}

TEST(BinFourToOne, AddsAndCaps)
{
    auto image = MakeImage(2, 2);
    FillFlat(*image, 100, 10, 0);
    ASSERT_TRUE(BinFourToOne(image.get()));
    ASSERT_EQ(image->Width(), 1);
    ASSERT_EQ(image->Height(), 1);
    EXPECT_EQ(GetPixel(*image, 0, 0), (Argb{0xFF, 255, 40, 0})); // 400 capped; 4 x 10
}

TEST(BinFourToOne, DropsLastOddRowAndColumn)
{
    auto image = MakeImage(5, 5);
    FillFlat(*image, 1, 2, 3);
    // The last row and column are bright; they must not reach the result.
    for (int i = 0; i < 5; ++i) {
        SetPixel(*image, 4, i, {0xFF, 200, 200, 200});
        SetPixel(*image, i, 4, {0xFF, 200, 200, 200});
    }
    ASSERT_TRUE(BinFourToOne(image.get()));
    ASSERT_EQ(image->Width(), 2);
    ASSERT_EQ(image->Height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(GetPixel(*image, x, y), (Argb{0xFF, 4, 8, 12}));
}

TEST(BinFourToOne, UnderTwoPixelsFails)
{
    ScriptedInteraction ui;
    for (const auto& [w, h] : {std::pair{7, 1}, {1, 7}, {1, 1}}) {
        auto image = MakeImage(w, h);
        FillNoise(*image, 7);
        auto before = Copy(*image);
        EXPECT_FALSE(BinFourToOne(image.get()));
        EXPECT_TRUE(SamePixels(*image, *before, true));
    }
    EXPECT_EQ(ui.AlertCount(), 0);
}

TEST(BinFourToOne, MatchesNumpyReshapeSum)
{
    const std::string dir = ReferenceScratchDir();
    for (const auto& [w, h] : {std::pair{37, 23}, {2, 2}, {3, 2}, {2, 9}, {64, 48}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        auto image = MakeImage(w, h);
        FillNoise(*image, static_cast<uint32_t>(w + 1000 * h));
        // Darker pixels too, so sums below 255 occur as well as capped ones.
        for (int y = 0; y < h; y += 3)
            for (int x = 0; x < w; ++x) {
                Argb p = GetPixel(*image, x, y);
                p.r /= 8;
                p.g /= 4;
                SetPixel(*image, x, y, p);
            }
        const std::string out = dir + "/out.rgb";
        ASSERT_TRUE(RunImagingReference({"bin", WriteRgb(*image, dir, "in.rgb"), Arg(h), Arg(w), out}));
        ASSERT_TRUE(BinFourToOne(image.get()));
        EXPECT_EQ(RgbBytes(*image), ReadBytes(out));
    }
}

// The vector loop of the plus-shaped means gives the portable loop's pixels
// exactly, at every width remainder.
TEST(Resample, VectorLoopMatchesPortable)
{
    for (const auto& [w, h] : {std::pair{9, 5}, {10, 4}, {17, 6}, {23, 7}, {33, 3}, {41, 9}}) {
        for (const double scale : {1.0, 1.5, 2.0}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " scale " + std::to_string(scale));
            auto vector = MakeImage(w, h);
            FillNoise(*vector, static_cast<uint32_t>(w * 100 + h));
            auto portable = Copy(*vector);
            ASSERT_TRUE(ResampleImageBilinear(vector.get(), scale));
            ForcePortableResampleForTesting(true);
            ASSERT_TRUE(ResampleImageBilinear(portable.get(), scale));
            ForcePortableResampleForTesting(false);
            std::string where;
            EXPECT_TRUE(SamePixels(*vector, *portable, true, &where)) << where;
        }
    }
}

// The stretch, by its vector loop and by its portable one, gives the image
// copy's nearest-neighbour stretch exactly (alpha included), enlarging and
// reducing, at every width remainder.
TEST(Resample, NearestEqualsTheImageCopyStretch)
{
    for (const auto& [w, h] : {std::pair{37, 23}, {64, 48}, {9, 5}, {100, 7}, {13, 40}}) {
        for (const double scale : {0.3, 0.5, 0.77, 1.0, 1.3, 2.0, 3.5}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " scale " + std::to_string(scale));
            auto source = MakeImage(w, h);
            FillNoise(*source, static_cast<uint32_t>(w * 100 + h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    Argb p = GetPixel(*source, x, y);
                    p.a = static_cast<uint8_t>(p.r ^ (x * 7 + y));
                    SetPixel(*source, x, y, p);
                }
            const int newW = static_cast<int>(w * scale), newH = static_cast<int>(h * scale);
            auto expected = MakeImage(newW, newH);
            source->CopyWorldBits(source->GetDim(), expected->GetDim(), expected.get());
            for (const bool portable : {false, true}) {
                auto image = Copy(*source);
                ForcePortableResampleForTesting(portable);
                ASSERT_TRUE(ResampleNearestNeighbor(image.get(), scale));
                ForcePortableResampleForTesting(false);
                std::string where;
                EXPECT_TRUE(SamePixels(*image, *expected, true, &where)) << (portable ? "portable " : "vector ") << where;
            }
        }
    }
}

// Shrinking writes the result over the image's own pixels: a mapped image
// (over 128 KiB), with and without row padding, halved (even and odd widths,
// the vector halving loop) and reduced by other factors, gives the image
// copy's stretch exactly, alpha included, with its padding intact.
TEST(Resample, ShrinkInPlaceOfAMappedImageEqualsTheImageCopyStretch)
{
    for (const int padding : {0, 12})
        for (const auto& [w, h] : {std::pair{400, 300}, {401, 301}})
            for (const double scale : {0.5, 0.77, 0.25}) {
                SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " scale " + std::to_string(scale) +
                             " padding " + std::to_string(padding));
                SetImageRowPaddingForTesting(padding);
                auto image = MakeImage(w, h);
                SetImageRowPaddingForTesting(0);
                FillNoise(*image, static_cast<uint32_t>(w + padding));
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        Argb p = GetPixel(*image, x, y);
                        p.a = static_cast<uint8_t>(p.g ^ (x + 3 * y));
                        SetPixel(*image, x, y, p);
                    }
                auto expected = MakeImage(static_cast<int>(w * scale), static_cast<int>(h * scale));
                image->CopyWorldBits(image->GetDim(), expected->GetDim(), expected.get());
                ASSERT_TRUE(ResampleNearestNeighbor(image.get(), scale));
                std::string where;
                EXPECT_TRUE(SamePixels(*image, *expected, true, &where)) << where;
                EXPECT_TRUE(image->RowPaddingIntact());
            }
}
