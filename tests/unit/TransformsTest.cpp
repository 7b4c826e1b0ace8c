// tests/unit/TransformsTest.cpp: de-interlacing and per-channel translation,
// by hand and against a numpy slice shift.
#include "imaging/Transforms.h"

#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"
#include "tests/unit/ImageArrays.h"

namespace {

// Row y filled with grey level[y]; alpha y, so alpha writes show.
std::unique_ptr<GWorldWrapper> Rows(const std::vector<int>& level, int width = 3)
{
    auto image = MakeImage(width, static_cast<int>(level.size()));
    for (int y = 0; y < image->Height(); ++y)
        for (int x = 0; x < width; ++x) {
            const auto v = static_cast<uint8_t>(level[static_cast<std::size_t>(y)]);
            SetPixel(*image, x, y, {static_cast<uint8_t>(y), v, v, static_cast<uint8_t>(v / 2)});
        }
    return image;
}

// Grey level of each row (red of column 0), checking the row is uniform and
// alpha was kept.
std::vector<int> RowLevels(const GWorldWrapper& image)
{
    std::vector<int> levels;
    for (int y = 0; y < image.Height(); ++y) {
        const Argb first = GetPixel(image, 0, y);
        for (int x = 0; x < image.Width(); ++x)
            EXPECT_EQ(GetPixel(image, x, y), (Argb{static_cast<uint8_t>(y), first.r, first.g, first.b}));
        levels.push_back(first.r);
    }
    return levels;
}

} // namespace

TEST(InterpolateInterlace, BrighterMiddleRowCopiesEvenRowsDown)
{
    // h 6: m = 3; row 3 (40) brighter than row 4 (5).
    auto image = Rows({10, 20, 30, 40, 5, 60});
    InterpolateInterlaceImage(*image);
    EXPECT_EQ(RowLevels(*image), (std::vector<int>{10, 10, 30, 30, 5, 5}));
}

TEST(InterpolateInterlace, EqualSumsCopyEvenRowsDown)
{
    auto image = Rows({10, 20, 30, 40, 40, 60});
    InterpolateInterlaceImage(*image);
    EXPECT_EQ(RowLevels(*image), (std::vector<int>{10, 10, 30, 30, 40, 40}));
}

TEST(InterpolateInterlace, DarkerMiddleRowCopiesOddRowsUp)
{
    auto image = Rows({10, 20, 30, 40, 50, 60});
    InterpolateInterlaceImage(*image);
    EXPECT_EQ(RowLevels(*image), (std::vector<int>{20, 20, 40, 40, 60, 60}));
}

TEST(InterpolateInterlace, OddHeightKeepsLastRow)
{
    // h 5: m = 2, row 3 (70) brighter -> odd rows copied up; row 4 stays.
    auto image = Rows({10, 20, 30, 70, 50});
    InterpolateInterlaceImage(*image);
    EXPECT_EQ(RowLevels(*image), (std::vector<int>{20, 20, 70, 70, 50}));
    auto down = Rows({10, 20, 30, 7, 50});
    InterpolateInterlaceImage(*down);
    EXPECT_EQ(RowLevels(*down), (std::vector<int>{10, 10, 30, 30, 50}));
}

// Tiny heights compare rows inside the image: m = min(h / 2, h - 2).
TEST(InterpolateInterlace, TinyHeights)
{
    auto one = Rows({77});
    InterpolateInterlaceImage(*one);
    EXPECT_EQ(RowLevels(*one), (std::vector<int>{77}));
    // h 2: m = 0, rows 0 and 1.
    auto two = Rows({10, 90});
    InterpolateInterlaceImage(*two);
    EXPECT_EQ(RowLevels(*two), (std::vector<int>{90, 90}));
    auto twoDown = Rows({90, 10});
    InterpolateInterlaceImage(*twoDown);
    EXPECT_EQ(RowLevels(*twoDown), (std::vector<int>{90, 90}));
    // h 3: m = 1, rows 1 and 2 (row 2 is the unpaired last row).
    auto three = Rows({10, 20, 90});
    InterpolateInterlaceImage(*three);
    EXPECT_EQ(RowLevels(*three), (std::vector<int>{20, 20, 90}));
    // Width 1 and an empty-width image.
    auto narrow = Rows({1, 2, 3, 4}, 1);
    InterpolateInterlaceImage(*narrow);
    EXPECT_EQ(RowLevels(*narrow), (std::vector<int>{2, 2, 4, 4}));
    auto empty = MakeImage(0, 4);
    InterpolateInterlaceImage(*empty);
}

TEST(TranslateImage, HandExample)
{
    auto image = MakeImage(4, 4);
    FillGradient(*image); // red x, green y, blue x + y
    auto before = MakeImage(4, 4);
    *before = *image;
    TranslateImage(*image, MakePoint(2, 0), MakePoint(0, 0), MakePoint(0, -1));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const Argb p = GetPixel(*image, x, y);
            // Red two rows down with two black rows on top.
            EXPECT_EQ(p.r, y < 2 ? 0 : GetPixel(*before, x, y - 2).r) << x << "," << y;
            EXPECT_EQ(p.g, GetPixel(*before, x, y).g);
            // Blue one column left with a black last column.
            EXPECT_EQ(p.b, x == 3 ? 0 : GetPixel(*before, x + 1, y).b) << x << "," << y;
            EXPECT_EQ(p.a, 0xFF);
        }
}

TEST(TranslateImage, ZeroOffsetsLeaveImageUntouched)
{
    auto image = MakeImage(5, 3);
    FillNoise(*image, 1);
    SetPixel(*image, 2, 1, {0x12, 1, 2, 3});
    auto before = MakeImage(5, 3);
    *before = *image;
    FailNextImageAllocationsForTesting(1); // would throw if it made a copy
    TranslateImage(*image, Point{}, Point{}, Point{});
    FailNextImageAllocationsForTesting(0);
    EXPECT_TRUE(SamePixels(*image, *before, true));
}

TEST(TranslateImage, MatchesNumpySliceShift)
{
    struct Case {
        int w, h;
        Point red, green, blue;
    };
    const Case cases[] = {
        {17, 13, MakePoint(3, -2), MakePoint(-5, 7), MakePoint(0, 1)},
        {17, 13, MakePoint(13, 0), MakePoint(-13, 17), MakePoint(100, -100)}, // beyond the image
        {17, 13, MakePoint(-12, 16), MakePoint(12, -16), MakePoint(1, 1)},
        {1, 1, MakePoint(0, 1), MakePoint(0, 0), MakePoint(-1, 0)},
        {1, 9, MakePoint(4, 0), MakePoint(-2, 1), MakePoint(0, -1)},
        {9, 1, MakePoint(0, 4), MakePoint(1, -2), MakePoint(-1, 0)},
        {2, 2, MakePoint(1, 1), MakePoint(-1, -1), MakePoint(32767, -32768)},
    };
    const std::string dir = ReferenceScratchDir();
    uint32_t seed = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        auto image = MakeImage(c.w, c.h);
        FillNoise(*image, seed++);
        const std::string out = dir + "/out.rgb";
        ASSERT_TRUE(
            RunImagingReference({"translate", WriteRgb(*image, dir, "in.rgb"), Arg(c.h), Arg(c.w), Arg(c.red.v),
                                 Arg(c.red.h), Arg(c.green.v), Arg(c.green.h), Arg(c.blue.v), Arg(c.blue.h), out}));
        TranslateImage(*image, c.red, c.green, c.blue);
        EXPECT_EQ(RgbBytes(*image), ReadBytes(out));
    }
}

TEST(TranslateImage, OutOfMemoryThrowsWithImageUnchanged)
{
    ScriptedInteraction ui;
    auto image = MakeImage(6, 4);
    FillNoise(*image, 9);
    auto before = MakeImage(6, 4);
    *before = *image;
    FailNextImageAllocationsForTesting(1);
    EXPECT_THROW(TranslateImage(*image, MakePoint(1, 1), MakePoint(0, 0), MakePoint(0, 0)), std::bad_alloc);
    FailNextImageAllocationsForTesting(0);
    EXPECT_TRUE(SamePixels(*image, *before, true));
    EXPECT_EQ(ui.AlertCount(), 1);
}

TEST(TranslateImageFrom, MatchesCopyThenTranslate)
{
    const Point together[] = {MakePoint(3, -2), MakePoint(-5, 7), MakePoint(0, 20), MakePoint(-14, 0),
                              MakePoint(32767, -32768)};
    uint32_t seed = 40;
    for (int w : {1, 7, 17}) {
        for (int h : {1, 13}) {
            auto source = MakeImage(w, h);
            FillNoise(*source, seed++); // alpha noise too, so alpha writes show
            auto check = [&](Point red, Point green, Point blue) {
                auto expected = MakeImage(w, h);
                *expected = *source;
                TranslateImage(*expected, red, green, blue);
                auto image = MakeImage(w, h);
                FillNoise(*image, seed++);
                FailNextImageAllocationsForTesting(1); // would throw if it made a copy
                TranslateImageFrom(*source, *image, red, green, blue);
                FailNextImageAllocationsForTesting(0);
                EXPECT_TRUE(SamePixels(*image, *expected, true))
                    << w << "x" << h << " " << red.v << "," << red.h << " " << green.v << "," << green.h;
            };
            check(Point{}, Point{}, Point{});
            for (Point p : together)
                check(p, p, p);
            check(MakePoint(3, -2), MakePoint(-5, 7), MakePoint(0, 1));
            check(MakePoint(1, 1), MakePoint(1, 1), MakePoint(-1, 0));
        }
    }
}
