// tests/unit/PixelTransferTest.cpp: packing, unpacking, grey doubles and
// normalised values, checked by hand and against numpy.
#include "imaging/PixelTransfer.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/PythonReference.h"
#include "tests/support/TestImages.h"
#include "tests/unit/ImageArrays.h"

namespace {

constexpr unsigned char kCanary = 0xCD;
constexpr std::size_t kCanaryBytes = 64;

// Fills every pixel with a distinct colour and an alpha of its own, so both
// placement mistakes and alpha writes show.
void FillDistinct(GWorldWrapper& image)
{
    int n = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x, ++n)
            SetPixel(image, x, y,
                     {static_cast<uint8_t>(200 - n), static_cast<uint8_t>(3 * n), static_cast<uint8_t>(3 * n + 1),
                      static_cast<uint8_t>(3 * n + 2)});
}

} // namespace

TEST(PixelTransfer, PacksTwoByTwoAsRgbTriples)
{
    auto image = MakeImage(3, 3);
    SetPixel(*image, 0, 0, {1, 10, 11, 12});
    SetPixel(*image, 1, 0, {2, 20, 21, 22});
    SetPixel(*image, 0, 1, {3, 30, 31, 32});
    SetPixel(*image, 1, 1, {4, 40, 41, 42});
    std::vector<unsigned char> bytes(12 + kCanaryBytes, kCanary);
    CopyPixelValuesFromImage(*image, bytes.data(), MakeRect(0, 0, 2, 2));
    const std::vector<unsigned char> expected = {10, 11, 12, 20, 21, 22, 30, 31, 32, 40, 41, 42};
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 12), expected);
    for (std::size_t i = 12; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], kCanary) << "written past the packed pixels at " << i;
}

TEST(PixelTransfer, UnpackKeepsTargetAlpha)
{
    auto source = MakeImage(4, 3);
    FillNoise(*source, 7);
    auto target = MakeImage(4, 3);
    FillDistinct(*target);
    std::vector<unsigned char> bytes(4 * 3 * 3);
    CopyPixelValuesFromImage(*source, bytes.data(), source->GetDim());
    CopyPixelValuesToImage(bytes.data(), *target, target->GetDim());
    int n = 0;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x, ++n) {
            const Argb s = GetPixel(*source, x, y), t = GetPixel(*target, x, y);
            EXPECT_EQ(t.a, static_cast<uint8_t>(200 - n));
            EXPECT_EQ(t.r, s.r);
            EXPECT_EQ(t.g, s.g);
            EXPECT_EQ(t.b, s.b);
        }
}

// Packing clips every edge and packs with the clipped width.
TEST(PixelTransfer, PackClipsAllFourEdges)
{
    auto image = MakeImage(5, 4);
    FillDistinct(*image);
    const Rect rects[] = {MakeRect(-2, -3, 2, 2),   MakeRect(2, 3, 10, 9),      MakeRect(-5, -5, 20, 20),
                          MakeRect(10, 10, 12, 12), MakeRect(-10, -10, -5, -5), MakeRect(1, 1, 1, 4),
                          MakeRect(3, 4, 1, 2),     MakeRect(-1, 4, 4, 5)};
    for (const Rect& r : rects) {
        const int top = std::max<int>(r.top, 0), bottom = std::min<int>(r.bottom, 4);
        const int left = std::max<int>(r.left, 0), right = std::min<int>(r.right, 5);
        std::vector<unsigned char> expected;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const Argb p = GetPixel(*image, x, y);
                expected.insert(expected.end(), {p.r, p.g, p.b});
            }
        std::vector<unsigned char> bytes(expected.size() + kCanaryBytes, kCanary);
        CopyPixelValuesFromImage(*image, bytes.data(), r);
        EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + static_cast<long>(expected.size())),
                  expected)
            << r.top << "," << r.left << "," << r.bottom << "," << r.right;
        for (std::size_t i = expected.size(); i < bytes.size(); ++i)
            ASSERT_EQ(bytes[i], kCanary);
    }
}

// A rect from a damaged file may reach outside the image: only the inside
// pixels change, each from its place in the full rect's packing.
TEST(PixelTransfer, UnpackPartlyOutsideKeepsPlacement)
{
    auto image = MakeImage(3, 3);
    FillDistinct(*image);
    auto before = MakeImage(3, 3);
    *before = *image;
    const Rect rect = MakeRect(-1, -2, 2, 4); // 3 rows x 6 columns
    std::vector<unsigned char> bytes(3 * 6 * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i);
    CopyPixelValuesToImage(bytes.data(), *image, rect);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const Argb p = GetPixel(*image, x, y), old = GetPixel(*before, x, y);
            EXPECT_EQ(p.a, old.a);
            if (y < 2 && x < 4) {
                // Pixel (y, x) sits at row y + 1, column x + 2 of the packing.
                const int at = ((y + 1) * 6 + (x + 2)) * 3;
                EXPECT_EQ(p.r, at);
                EXPECT_EQ(p.g, at + 1);
                EXPECT_EQ(p.b, at + 2);
            } else {
                EXPECT_EQ(p, old) << x << "," << y;
            }
        }
    // Wholly outside, or empty: nothing happens.
    CopyPixelValuesToImage(bytes.data(), *before, MakeRect(5, 5, 8, 8));
    CopyPixelValuesToImage(bytes.data(), *before, MakeRect(-8, -8, -2, -2));
    CopyPixelValuesToImage(bytes.data(), *before, MakeRect(2, 2, 1, 1));
    auto untouched = MakeImage(3, 3);
    FillDistinct(*untouched);
    EXPECT_TRUE(SamePixels(*before, *untouched, true));
}

TEST(PixelTransfer, GreyFromDoublesClampsAndTruncates)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> values = {0.0,  127.9, 255.9, 256.0,  -3.0,   std::nan(""), inf,
                                        -inf, 300.7, 1e300, -1e300, 0.9999, 42.0,         -0.5};
    const std::vector<int> expected = {0, 127, 255, 255, 0, 0, 255, 0, 255, 255, 0, 0, 42, 0};
    const int n = static_cast<int>(values.size());
    // One row and one column, so both layouts and the row stride are used.
    for (const bool row : {true, false}) {
        auto image = row ? MakeImage(n, 1) : MakeImage(1, n);
        for (int i = 0; i < n; ++i)
            SetPixel(*image, row ? i : 0, row ? 0 : i, {static_cast<uint8_t>(i), 9, 9, 9});
        CopyPixelValuesToImage(values.data(), *image);
        for (int i = 0; i < n; ++i) {
            const Argb p = GetPixel(*image, row ? i : 0, row ? 0 : i);
            EXPECT_EQ(p.r, expected[static_cast<std::size_t>(i)]) << "value " << values[static_cast<std::size_t>(i)];
            EXPECT_EQ(p.g, p.r);
            EXPECT_EQ(p.b, p.r);
            EXPECT_EQ(p.a, i);
        }
    }
}

TEST(PixelTransfer, NormalisedValueOfOnePixel)
{
    auto image = MakeImage(1, 1);
    SetPixel(*image, 0, 0, {0xFF, 10, 200, 30});
    double out[2] = {-1.0, -1.0};
    ConvertNormPixelValuesFromImage(*image, 0, out, MakeRect(0, 0, 0, 0));
    EXPECT_EQ(out[0], 200.0 / 255.0);
    EXPECT_EQ(out[1], -1.0);
    ConvertNormPixelValuesFromImage(*image, 1, out, MakeRect(0, 0, 0, 0));
    EXPECT_EQ(out[0], 10.0 / 255.0);
    ConvertNormPixelValuesFromImage(*image, 3, out, MakeRect(0, 0, 0, 0));
    EXPECT_EQ(out[0], 30.0 / 255.0);
}

TEST(PixelTransfer, OtherModesWriteNothing)
{
    auto image = MakeImage(4, 4);
    FillNoise(*image, 3);
    std::vector<double> out(16, -7.0);
    for (const int mode : {4, -1, 100}) {
        ConvertNormPixelValuesFromImage(*image, mode, out.data(), MakeRect(0, 0, 3, 3));
        for (double v : out)
            ASSERT_EQ(v, -7.0);
    }
}

// Random image, a rect inside and one reaching past the top-left and the
// bottom-right; every mode against numpy with zero padding.
TEST(PixelTransfer, NormalisedValuesMatchNumpy)
{
    auto image = MakeImage(40, 37);
    FillNoise(*image, 11);
    const std::string dir = ReferenceScratchDir();
    const std::string input = WriteRgb(*image, dir, "image.rgb");
    const Rect rects[] = {MakeRect(0, 0, 31, 31), MakeRect(-5, 20, 26, 51), MakeRect(30, -3, 33, 0),
                          MakeRect(-40, -40, -9, -9), MakeRect(4, 6, 4, 6)};
    for (const Rect& r : rects) {
        const int width = r.right - r.left + 1, height = r.bottom - r.top + 1;
        const std::string out = dir + "/norm.f8";
        ASSERT_TRUE(RunImagingReference(
            {"norm", input, Arg(37), Arg(40), Arg(r.top), Arg(r.left), Arg(r.bottom), Arg(r.right), out}));
        const std::vector<double> expected = ReadDoubles(out);
        const std::size_t count = static_cast<std::size_t>(width) * height;
        ASSERT_EQ(expected.size(), 4 * count);
        for (int mode = 0; mode < 4; ++mode) {
            std::vector<double> values(count + 8, -1.0);
            ConvertNormPixelValuesFromImage(*image, mode, values.data(), r);
            for (std::size_t i = 0; i < count; ++i)
                ASSERT_EQ(values[i], expected[mode * count + i]) << "mode " << mode << " index " << i;
            for (std::size_t i = count; i < values.size(); ++i)
                ASSERT_EQ(values[i], -1.0) << "written past side * side";
        }
    }
}
