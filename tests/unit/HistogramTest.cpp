// tests/unit/HistogramTest.cpp: histogram bins, filling from an image against
// numpy, and drawing through a recording draw target.
#include "imaging/Histogram.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/DrawTarget.h"
#include "tests/support/PythonReference.h"
#include "tests/support/TestImages.h"
#include "tests/unit/ImageArrays.h"

namespace {

// Records every drawing call.
class RecordingTarget final : public DrawTarget {
public:
    struct Call {
        char kind; // 'f' fill, 'r' frame, 'l' line
        Rect rect;
        Point a, b;
        RGBColor colour;
    };
    std::vector<Call> calls;

    Rect PortBounds() const override { return MakeRect(0, 0, 1000, 1000); }
    void CopyBitsFrom(const GWorldWrapper&, const Rect&, const Rect&) override {}
    void FillRect(const Rect& r, const RGBColor& c) override { calls.push_back({'f', r, {}, {}, c}); }
    void FrameRect(const Rect& r, const RGBColor& c) override { calls.push_back({'r', r, {}, {}, c}); }
    void DrawLine(Point a, Point b, const RGBColor& c) override { calls.push_back({'l', {}, a, b, c}); }

    std::vector<Call> Lines() const
    {
        std::vector<Call> lines;
        for (const Call& c : calls)
            if (c.kind == 'l')
                lines.push_back(c);
        return lines;
    }
};

// Makes target the current port for the scope.
struct CurrentPort {
    PortSaver saver;
    explicit CurrentPort(DrawTarget* target) { SetPort(target); }
};

void Fill(Histogram& h, double v)
{
    for (int i = 0; i < h.NumBins(); ++i)
        for (int k = 0; k < static_cast<int>(v); ++k)
            h.IncrementBin(i);
}

} // namespace

TEST(Histogram, NewHistogramIsZero)
{
    Histogram h(256, kHistogramGreen);
    EXPECT_EQ(h.NumBins(), 256);
    EXPECT_EQ(h.Channel(), kHistogramGreen);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(h.GetBin(i), 0.0);
    h.IncrementBin(7);
    h.IncrementBin(7);
    EXPECT_EQ(h.GetBin(7), 2.0);
    h.Initialize();
    EXPECT_EQ(h.GetBin(7), 0.0);
}

TEST(Histogram, NormalizeToOne)
{
    Histogram h(2, kHistogramValue);
    h.IncrementBin(0);
    for (int i = 0; i < 3; ++i)
        h.IncrementBin(1);
    EXPECT_EQ(h.NormalizeToOne(), 1);
    EXPECT_EQ(h.GetBin(0), 0.25);
    EXPECT_EQ(h.GetBin(1), 0.75);
    // Already summing to exactly 1.0: unchanged, 0.
    EXPECT_EQ(h.NormalizeToOne(), 0);
    EXPECT_EQ(h.GetBin(1), 0.75);

    // All zero (an empty region): no division by zero, bins stay 0.
    Histogram zero(256, kHistogramRed);
    EXPECT_EQ(zero.NormalizeToOne(), 0);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(zero.GetBin(i), 0.0);

    Histogram none(0, kHistogramRed);
    EXPECT_EQ(none.NormalizeToOne(), 1);
}

TEST(Histogram, GenerateMatchesNumpyBincount)
{
    auto image = MakeImage(37, 23);
    FillNoise(*image, 5);
    const std::string dir = ReferenceScratchDir();
    const std::string input = WriteRgb(*image, dir, "image.rgb");
    for (const Rect& r : {MakeRect(3, 2, 20, 31), image->GetDim(), MakeRect(22, 36, 23, 37)}) {
        Histogram value(256, kHistogramValue), red(256, kHistogramRed), green(256, kHistogramGreen),
            blue(256, kHistogramBlue);
        ASSERT_EQ(GenerateHistograms(*image, r, value, red, green, blue), 1);
        const std::string out = dir + "/hist.f8";
        ASSERT_TRUE(RunImagingReference(
            {"hist", input, Arg(23), Arg(37), Arg(r.top), Arg(r.left), Arg(r.bottom), Arg(r.right), out}));
        const std::vector<double> expected = ReadDoubles(out);
        ASSERT_EQ(expected.size(), 4u * 256);
        const Histogram* all[4] = {&value, &red, &green, &blue};
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 256; ++i)
                // Counts over the pixel count, as numpy divides them: exact.
                ASSERT_EQ(all[k]->GetBin(i), expected[static_cast<std::size_t>(k * 256 + i)])
                    << "histogram " << k << " bin " << i;
    }
}

TEST(Histogram, GenerateRefusesRectsPastTheImage)
{
    auto image = MakeImage(10, 8);
    FillNoise(*image, 2);
    for (const Rect& r :
         {MakeRect(0, -1, 8, 10), MakeRect(-1, 0, 8, 10), MakeRect(0, 0, 8, 11), MakeRect(0, 0, 9, 10)}) {
        Histogram value(256, 0), red(256, 1), green(256, 2), blue(256, 3);
        Fill(value, 1);
        Fill(blue, 2);
        EXPECT_EQ(GenerateHistograms(*image, r, value, red, green, blue), 0);
        EXPECT_EQ(value.GetBin(100), 1.0);
        EXPECT_EQ(blue.GetBin(0), 2.0);
    }
    // Histograms too small for byte values are refused too.
    Histogram small(16, 0), red(256, 1), green(256, 2), blue(256, 3);
    EXPECT_EQ(GenerateHistograms(*image, image->GetDim(), small, red, green, blue), 0);
}

TEST(Histogram, GenerateOnEmptyRectLeavesZeroBins)
{
    auto image = MakeImage(4, 4);
    Histogram value(256, 0), red(256, 1), green(256, 2), blue(256, 3);
    Fill(red, 1);
    EXPECT_EQ(GenerateHistograms(*image, MakeRect(2, 2, 2, 4), value, red, green, blue), 1);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(red.GetBin(i), 0.0);
        ASSERT_FALSE(std::isnan(value.GetBin(i)));
    }
}

TEST(Histogram, DrawsFrameAndOneBar)
{
    RecordingTarget target;
    CurrentPort port(&target);
    Histogram h(256, kHistogramRed);
    h.IncrementBin(5);
    h.DrawHistogram(10, 20, 50, 0.0);
    ASSERT_GE(target.calls.size(), 2u);
    // Erased white, then framed in grey 0xC000: (left, top) - (left + 260, top + height + 4).
    EXPECT_EQ(target.calls[0].kind, 'f');
    EXPECT_EQ(target.calls[0].rect, MakeRect(20, 10, 74, 270));
    EXPECT_EQ(target.calls[0].colour.red, 0xFFFF);
    EXPECT_EQ(target.calls[1].kind, 'r');
    EXPECT_EQ(target.calls[1].rect, MakeRect(20, 10, 74, 270));
    EXPECT_EQ(target.calls[1].colour.red, 0xC000);
    EXPECT_EQ(target.calls[1].colour.green, 0xC000);
    EXPECT_EQ(target.calls[1].colour.blue, 0xC000);
    // The single bar: b = min(height - 1, height) = 49, a line from the foot
    // (top + 51) up 49 pixels, which paints 50 pixels, at x = left + 2 + 5.
    const auto lines = target.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].a, MakePoint(71, 17));
    EXPECT_EQ(lines[0].b, MakePoint(22, 17));
    EXPECT_EQ(lines[0].a.v - lines[0].b.v + 1, 50);
    // Red ramp: 65536 / 256 * 5.
    EXPECT_EQ(lines[0].colour.red, 1280);
    EXPECT_EQ(lines[0].colour.green, 0);
    EXPECT_EQ(lines[0].colour.blue, 0);
}

TEST(Histogram, CompressionAndColours)
{
    RecordingTarget target;
    CurrentPort port(&target);
    Histogram h(256, kHistogramBlue);
    h.IncrementBin(0); // 1
    for (int i = 0; i < 16; ++i)
        h.IncrementBin(255); // 16
    // Compression 1: fourth roots 1 and 2, scale = 40 / 2 = 20: bars of 20 and min(39, 40) = 39.
    h.DrawHistogram(0, 0, 40, 1.0);
    const auto lines = target.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].a, MakePoint(41, 2));
    EXPECT_EQ(lines[0].b, MakePoint(21, 2));
    EXPECT_EQ(lines[0].colour.blue, 0);
    EXPECT_EQ(lines[1].a, MakePoint(41, 257));
    EXPECT_EQ(lines[1].b, MakePoint(2, 257));
    EXPECT_EQ(lines[1].colour.blue, 65280);
    EXPECT_EQ(lines[1].colour.red, 0);

    // The value histogram draws black bars.
    RecordingTarget black;
    SetPort(&black);
    Histogram v(256, kHistogramValue);
    v.IncrementBin(200);
    v.DrawHistogram(0, 0, 10, 2.0);
    ASSERT_EQ(black.Lines().size(), 1u);
    EXPECT_EQ(black.Lines()[0].colour.red, 0);
    EXPECT_EQ(black.Lines()[0].colour.green, 0);
}

TEST(Histogram, AllZeroBinsDrawFrameOnly)
{
    RecordingTarget target;
    CurrentPort port(&target);
    Histogram h(256, kHistogramGreen);
    h.DrawHistogram(5, 5, 50, 0.0);
    EXPECT_EQ(target.calls.size(), 2u);
    EXPECT_TRUE(target.Lines().empty());
}

TEST(Histogram, DrawsIntoAnImage)
{
    auto image = MakeImage(300, 70);
    Histogram h(256, kHistogramGreen);
    for (int i = 0; i < 4; ++i)
        h.IncrementBin(128);
    {
        UsingGWorld drawing(*image);
        h.DrawHistogram(0, 0, 50, 0.0);
    }
    // Frame corner grey, bar at x = 130 from y = 51 up to y = 2, green ramp 0x80.
    EXPECT_EQ(GetPixel(*image, 0, 0).r, 0xC0);
    EXPECT_EQ(GetPixel(*image, 130, 51).g, 0x80);
    EXPECT_EQ(GetPixel(*image, 130, 2).g, 0x80);
    EXPECT_EQ(GetPixel(*image, 130, 1).g, 0xFF); // erased white above the bar
    EXPECT_EQ(GetPixel(*image, 131, 40).g, 0xFF);
}

TEST(Histogram, NoCurrentPortDrawsNothing)
{
    CurrentPort port(nullptr);
    Histogram h(256, kHistogramRed);
    h.IncrementBin(1);
    h.DrawHistogram(0, 0, 50, 0.0); // must simply return
    SUCCEED();
}
