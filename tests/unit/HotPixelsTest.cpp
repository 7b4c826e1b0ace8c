// tests/unit/HotPixelsTest.cpp: hot-pixel thresholds, the discs of each
// radius, images of other sizes than the mask, and the preview, checked by
// hand and against scipy's binary dilation.
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/HotPixels.h"
#include "tests/support/PythonReference.h"
#include "tests/support/TestImages.h"

namespace {

std::vector<uint8_t> Mark(const GWorldWrapper& source, int threshold, int radius, int width, int height)
{
    std::vector<uint8_t> mask(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 7);
    MarkHotPixels(source, HotPixelParams{threshold, radius}, mask.data(), width, height);
    return mask;
}

std::vector<uint8_t> Mark(const GWorldWrapper& source, int threshold, int radius)
{
    return Mark(source, threshold, radius, source.Width(), source.Height());
}

int Count(const std::vector<uint8_t>& mask)
{
    int n = 0;
    for (uint8_t v : mask) {
        EXPECT_TRUE(v == 0 || v == 1);
        n += v;
    }
    return n;
}

// A black image with one pixel of the given colour.
std::unique_ptr<GWorldWrapper> OneBright(int width, int height, int x, int y, Argb colour)
{
    auto image = MakeImage(width, height);
    FillFlat(*image, 0, 0, 0);
    SetPixel(*image, x, y, colour);
    return image;
}

// Sparse bright pixels over a dim noisy background, from a fixed seed.
std::unique_ptr<GWorldWrapper> SparseHot(int width, int height, uint32_t seed)
{
    auto image = MakeImage(width, height);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dim(0, 60), bright(100, 255), chance(0, 99), channel(1, 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Argb p{0xFF, static_cast<uint8_t>(dim(rng)), static_cast<uint8_t>(dim(rng)),
                   static_cast<uint8_t>(dim(rng))};
            if (chance(rng) < 4) {
                const uint8_t v = static_cast<uint8_t>(bright(rng));
                switch (channel(rng)) {
                case 1:
                    p.r = v;
                    break;
                case 2:
                    p.g = v;
                    break;
                default:
                    p.b = v;
                }
            }
            SetPixel(*image, x, y, p);
        }
    return image;
}

std::vector<unsigned char> RgbBytes(const GWorldWrapper& image)
{
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const Argb p = GetPixel(image, x, y);
            bytes.insert(bytes.end(), {p.r, p.g, p.b});
        }
    return bytes;
}

} // namespace

TEST(HotPixels, DiscLimits)
{
    EXPECT_EQ(HotPixelDiscLimit(0), 0);
    EXPECT_EQ(HotPixelDiscLimit(1), 2);
    EXPECT_EQ(HotPixelDiscLimit(2), 5);
    EXPECT_EQ(HotPixelDiscLimit(3), 10);
    // Out-of-range radii act as the nearer end.
    EXPECT_EQ(HotPixelDiscLimit(-4), 0);
    EXPECT_EQ(HotPixelDiscLimit(9), 10);
}

TEST(HotPixels, ThresholdEndsMarkNothingOrEverything)
{
    auto image = MakeImage(5, 3);
    FillGradient(*image);
    EXPECT_EQ(Count(Mark(*image, 256, 3)), 0);
    EXPECT_EQ(Count(Mark(*image, 100000, 0)), 0);
    EXPECT_EQ(Count(Mark(*image, 0, 0)), 15);
    EXPECT_EQ(Count(Mark(*image, -5, 2)), 15);
    // White (255) is reached by 255 but not by 256.
    FillFlat(*image, 255, 255, 255);
    EXPECT_EQ(Count(Mark(*image, 255, 0)), 15);
    EXPECT_EQ(Count(Mark(*image, 256, 0)), 0);
}

TEST(HotPixels, AnyOneChannelAtTheThresholdMakesAPixelHot)
{
    for (Argb colour : {Argb{0xFF, 200, 10, 10}, Argb{0xFF, 10, 200, 10}, Argb{0xFF, 10, 10, 200}}) {
        auto image = OneBright(4, 4, 2, 1, colour);
        const std::vector<uint8_t> at = Mark(*image, 200, 0);
        EXPECT_EQ(Count(at), 1);
        EXPECT_EQ(at[1 * 4 + 2], 1);
        EXPECT_EQ(Count(Mark(*image, 201, 0)), 0);
    }
    // The alpha byte is no data.
    auto image = OneBright(3, 3, 1, 1, Argb{0xFF, 0, 0, 0});
    EXPECT_EQ(Count(Mark(*image, 1, 0)), 0);
}

TEST(HotPixels, InteriorDiscsHold1_9_21_37Cells)
{
    auto image = OneBright(11, 11, 5, 5, Argb{0xFF, 250, 0, 0});
    const int expected[] = {1, 9, 21, 37};
    for (int radius = 0; radius <= 3; ++radius) {
        const std::vector<uint8_t> mask = Mark(*image, 250, radius);
        EXPECT_EQ(Count(mask), expected[radius]) << "radius " << radius;
        // Each marked cell is inside the disc, by hand: dy² + dx² <= limit.
        const int limits[] = {0, 2, 5, 10};
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 11; ++x) {
                const int d = (y - 5) * (y - 5) + (x - 5) * (x - 5);
                EXPECT_EQ(mask[static_cast<std::size_t>(y * 11 + x)], d <= limits[radius] ? 1 : 0)
                    << "radius " << radius << " at " << x << "," << y;
            }
    }
}

TEST(HotPixels, CornerDiscKeepsOnlyItsCellsInsideTheImage)
{
    // Radius 3 at (0, 0): rows 0..3 keep 4, 4, 3 and 2 cells.
    auto image = OneBright(9, 7, 0, 0, Argb{0xFF, 0, 0, 90});
    std::vector<uint8_t> mask = Mark(*image, 90, 3);
    EXPECT_EQ(Count(mask), 13);
    // The opposite corner of an odd-sized image.
    image = OneBright(9, 7, 8, 6, Argb{0xFF, 0, 0, 90});
    mask = Mark(*image, 90, 3);
    EXPECT_EQ(Count(mask), 13);
    EXPECT_EQ(mask[6 * 9 + 8], 1);
    EXPECT_EQ(mask[3 * 9 + 7], 1);
    EXPECT_EQ(mask[3 * 9 + 6], 0);
}

TEST(HotPixels, OneByOneAndSingleRowsAndColumns)
{
    auto one = OneBright(1, 1, 0, 0, Argb{0xFF, 40, 40, 40});
    EXPECT_EQ(Count(Mark(*one, 40, 3)), 1);
    EXPECT_EQ(Count(Mark(*one, 41, 3)), 0);

    auto row = OneBright(13, 1, 6, 0, Argb{0xFF, 40, 0, 0});
    EXPECT_EQ(Count(Mark(*row, 40, 1)), 3);
    EXPECT_EQ(Count(Mark(*row, 40, 2)), 5);
    EXPECT_EQ(Count(Mark(*row, 40, 3)), 7);

    auto column = OneBright(1, 13, 0, 6, Argb{0xFF, 0, 40, 0});
    EXPECT_EQ(Count(Mark(*column, 40, 3)), 7);
}

TEST(HotPixels, SourceOfAnotherSizeThanTheMask)
{
    // A source smaller than the mask: only its pixels are tested, but the
    // disc still reaches the mask's cells beyond it.
    auto small = OneBright(3, 3, 2, 2, Argb{0xFF, 255, 0, 0});
    std::vector<uint8_t> mask = Mark(*small, 255, 1, 6, 5);
    EXPECT_EQ(Count(mask), 9);
    EXPECT_EQ(mask[3 * 6 + 3], 1);
    // A source larger than the mask: its pixels past the mask are not tested.
    auto large = MakeImage(10, 10);
    FillFlat(*large, 0, 0, 0);
    SetPixel(*large, 4, 4, Argb{0xFF, 255, 255, 255}); // its disc would reach (3, 3) were it tested
    SetPixel(*large, 1, 1, Argb{0xFF, 255, 255, 255});
    mask = Mark(*large, 255, 1, 4, 4);
    EXPECT_EQ(Count(mask), 9); // the 3 x 3 block of (1, 1) only
    EXPECT_EQ(mask[2 * 4 + 2], 1);
    EXPECT_EQ(mask[3 * 4 + 3], 0);
    // No mask at all: nothing is written.
    MarkHotPixels(*large, HotPixelParams{0, 3}, nullptr, 4, 4);
    std::vector<uint8_t> untouched(4, 9);
    MarkHotPixels(*large, HotPixelParams{0, 3}, untouched.data(), 0, 4);
    EXPECT_EQ(untouched, std::vector<uint8_t>(4, 9));
}

TEST(HotPixels, MatchesScipyBinaryDilationWithDiscFootprints)
{
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{1, 1}, {1, 17}, {23, 1}, {2, 3}, {31, 19}, {64, 48}, {37, 41}};
    const std::string dir = ReferenceScratchDir();
    ASSERT_FALSE(dir.empty());
    const std::string code = R"(
import sys, numpy as np
from scipy import ndimage
w, h = int(sys.argv[2]), int(sys.argv[3])
rgb = np.fromfile(sys.argv[1], dtype=np.uint8).astype(np.int64).reshape(h, w, 3)
out = []
for threshold in (0, 1, 61, 100, 180, 255, 256):
    hot = (rgb >= threshold).any(axis=2)
    for radius, limit in ((0, 0), (1, 2), (2, 5), (3, 10)):
        yy, xx = np.mgrid[-radius:radius + 1, -radius:radius + 1]
        disc = (yy * yy + xx * xx) <= limit
        mask = ndimage.binary_dilation(hot, structure=disc) if hot.any() else hot
        out.append(mask.astype(np.uint8).ravel())
np.concatenate(out).tofile(sys.argv[4])
)";
    uint32_t seed = 11;
    for (const Size& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.w << " x " << s.h);
        auto image = SparseHot(s.w, s.h, seed++);
        const std::string in = dir + "/rgb.bin", out = dir + "/masks.bin";
        WriteBytes(in, RgbBytes(*image));
        std::string output;
        ASSERT_TRUE(RunPython(code, {in, std::to_string(s.w), std::to_string(s.h), out}, &output)) << output;
        const std::vector<unsigned char> reference = ReadBytes(out);
        const std::size_t n = static_cast<std::size_t>(s.w) * static_cast<std::size_t>(s.h);
        ASSERT_EQ(reference.size(), n * 7 * 4);
        std::size_t at = 0;
        for (int threshold : {0, 1, 61, 100, 180, 255, 256})
            for (int radius = 0; radius <= 3; ++radius) {
                const std::vector<uint8_t> mask = Mark(*image, threshold, radius);
                const std::vector<uint8_t> expected(reference.begin() + static_cast<std::ptrdiff_t>(at),
                                                    reference.begin() + static_cast<std::ptrdiff_t>(at + n));
                EXPECT_EQ(mask, expected) << "threshold " << threshold << " radius " << radius;
                at += n;
            }
    }
}

TEST(HotPixels, PreviewShowsTheSourceOnlyWhereTheMaskIs)
{
    auto source = SparseHot(29, 21, 5);
    auto preview = MakeImage(29, 21); // white: every pixel must be written
    PaintHotPixelPreview(*source, HotPixelParams{150, 2}, *preview);
    const std::vector<uint8_t> mask = Mark(*source, 150, 2);
    int shown = 0;
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 29; ++x) {
            const Argb p = GetPixel(*preview, x, y);
            EXPECT_EQ(p.a, 0xFF);
            if (mask[static_cast<std::size_t>(y * 29 + x)]) {
                const Argb s = GetPixel(*source, x, y);
                EXPECT_EQ(p, (Argb{0xFF, s.r, s.g, s.b}));
                ++shown;
            } else {
                EXPECT_EQ(p, (Argb{0xFF, 0, 0, 0}));
            }
        }
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 29 * 21);

    // Threshold 256: all black.
    PaintHotPixelPreview(*source, HotPixelParams{256, 3}, *preview);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 29; ++x)
            EXPECT_EQ(GetPixel(*preview, x, y), (Argb{0xFF, 0, 0, 0}));
}

TEST(HotPixels, PreviewLargerThanItsSourceIsBlackBeyondIt)
{
    auto source = MakeImage(3, 2);
    FillFlat(*source, 255, 10, 20);
    auto preview = MakeImage(6, 5);
    PaintHotPixelPreview(*source, HotPixelParams{255, 3}, *preview);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x < 3 && y < 2;
            EXPECT_EQ(GetPixel(*preview, x, y), inside ? (Argb{0xFF, 255, 10, 20}) : (Argb{0xFF, 0, 0, 0}))
                << x << "," << y;
        }
    EXPECT_TRUE(preview->RowPaddingIntact());
}

TEST(HotPixels, AnOriginReadsTheSourceWhereTheMaskLiesInIt)
{
    // Clips cropped to 30 x 20 at (top 10, left 12) of a 50 x 40 sensor dark:
    // the hot sensor pixel (x 20, y 15) is the clips' (8, 5).
    auto dark = OneBright(50, 40, 20, 15, Argb{0xFF, 240, 0, 0});
    std::vector<uint8_t> mask(30 * 20, 7);
    MarkHotPixels(*dark, HotPixelParams{200, 0}, mask.data(), 30, 20, MakePoint(10, 12));
    EXPECT_EQ(Count(mask), 1);
    EXPECT_EQ(mask[5 * 30 + 8], 1);
    auto preview = MakeImage(30, 20);
    PaintHotPixelPreview(*dark, HotPixelParams{200, 0}, *preview, MakePoint(10, 12));
    EXPECT_EQ(GetPixel(*preview, 8, 5), (Argb{0xFF, 240, 0, 0}));
    EXPECT_EQ(GetPixel(*preview, 20, 15), (Argb{0xFF, 0, 0, 0}));

    // Cells whose source pixel lies outside the source are not hot: an origin
    // above and left of a 3 x 2 all-hot source, and one past its far corner.
    auto hot = MakeImage(3, 2);
    FillFlat(*hot, 255, 255, 255);
    std::vector<uint8_t> small(4 * 4, 7);
    MarkHotPixels(*hot, HotPixelParams{0, 0}, small.data(), 4, 4, MakePoint(-1, -2));
    EXPECT_EQ(small, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0}));
    MarkHotPixels(*hot, HotPixelParams{0, 0}, small.data(), 4, 4, MakePoint(2, 3));
    EXPECT_EQ(Count(small), 0);
    PaintHotPixelPreview(*hot, HotPixelParams{0, 1}, *preview, MakePoint(-5, 40));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(GetPixel(*preview, x, y), (Argb{0xFF, 0, 0, 0})) << x << "," << y;
}
