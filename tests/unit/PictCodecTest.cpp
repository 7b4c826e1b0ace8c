// tests/unit/PictCodecTest.cpp: the picture encoding: exact bytes for small
// images, PackBits against Apple's published example, round trips over every
// row form, pictures other writers make, and damaged input.
#include "platform/core/PictCodec.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TestImages.h"

namespace {

std::vector<uint8_t> Encode(const GWorldWrapper& image)
{
    std::vector<uint8_t> bytes;
    EXPECT_EQ(EncodePict(image, bytes), PictStatus::ok);
    return bytes;
}

std::unique_ptr<GWorldWrapper> Decode(const std::vector<uint8_t>& bytes, PictStatus expected = PictStatus::ok,
                                      Rect* frame = nullptr)
{
    std::unique_ptr<GWorldWrapper> image;
    EXPECT_EQ(DecodePict(bytes.data(), bytes.size(), &image, frame), expected);
    return image;
}

void Put16(std::vector<uint8_t>& v, unsigned x)
{
    v.push_back(static_cast<uint8_t>(x >> 8));
    v.push_back(static_cast<uint8_t>(x));
}

void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    Put16(v, x >> 16);
    Put16(v, x & 0xFFFF);
}

void PutRect(std::vector<uint8_t>& v, int t, int l, int b, int r)
{
    Put16(v, static_cast<uint16_t>(t));
    Put16(v, static_cast<uint16_t>(l));
    Put16(v, static_cast<uint16_t>(b));
    Put16(v, static_cast<uint16_t>(r));
}

// A hand-built picture in the forms other writers use, written from the
// published PICT layout (not from the encoder).
struct ForeignPicture {
    int width = 3, height = 2;
    int frameTop = 0, frameLeft = 0;
    int cmpCount = 3;
    int packType = 4;
    bool versionMinusOneHeader = false;
    bool extraOpcodes = false;
    bool withRegion = false;
    int frameHeight = 0, frameWidth = 0; // the picture's frame when larger than the drawn rect
    bool emptyRows = false;              // rows of a zero count and no data

    // Pixel (x, y) of the picture.
    static Argb PixelAt(int x, int y) { return Argb{0xFF, uint8_t(10 * x + y), uint8_t(100 + x), uint8_t(200 + y)}; }

    std::vector<uint8_t> Bytes() const
    {
        const int t = frameTop, l = frameLeft, b = frameTop + height, r = frameLeft + width;
        std::vector<uint8_t> v;
        Put16(v, 0);
        PutRect(v, t, l, frameHeight ? t + frameHeight : b, frameWidth ? l + frameWidth : r);
        Put16(v, 0x0011);
        Put16(v, 0x02FF);
        Put16(v, 0x0C00);
        if (versionMinusOneHeader) {
            Put32(v, 0xFFFFFFFF); // version -1: fixed-point bounding box and a reserved long
            for (int i = 0; i < 5; ++i)
                Put32(v, 0);
        } else {
            Put16(v, 0xFFFE);
            Put16(v, 0);
            Put32(v, 0x00480000);
            Put32(v, 0x00480000);
            PutRect(v, t, l, b, r);
            Put32(v, 0);
        }
        if (extraOpcodes) {
            Put16(v, 0x0000);
            Put16(v, 0x001A);
            Put16(v, 1), Put16(v, 2), Put16(v, 3);
            Put16(v, 0x001B);
            Put16(v, 4), Put16(v, 5), Put16(v, 6);
            Put16(v, 0x00A0);
            Put16(v, 7);
            Put16(v, 0x00A1);
            Put16(v, 100);
            Put16(v, 4);
            Put32(v, 0xDEADBEEF);
        }
        Put16(v, withRegion ? 0x009B : 0x009A);
        Put32(v, 0x000000FF);
        const int rowBytes = 4 * width;
        Put16(v, 0x8000 | rowBytes);
        PutRect(v, 0, 0, height, width);
        Put16(v, 0);
        Put16(v, static_cast<unsigned>(packType));
        Put32(v, 0);
        Put32(v, 0x00480000);
        Put32(v, 0x00480000);
        Put16(v, 16);
        Put16(v, 32);
        Put16(v, static_cast<unsigned>(cmpCount));
        Put16(v, 8);
        Put32(v, 0);
        Put32(v, 0);
        Put32(v, 0);
        PutRect(v, 0, 0, height, width);
        PutRect(v, t, l, b, r);
        Put16(v, 0x0040);
        if (withRegion) {
            Put16(v, 10);
            PutRect(v, t, l, b, r);
        }
        for (int y = 0; y < height && emptyRows; ++y)
            rowBytes > 250 ? Put16(v, 0) : v.push_back(0);
        for (int y = 0; y < height && !emptyRows; ++y) {
            std::vector<uint8_t> planes;
            if (cmpCount == 4)
                for (int x = 0; x < width; ++x)
                    planes.push_back(0x77);
            for (int c = 0; c < 3; ++c)
                for (int x = 0; x < width; ++x) {
                    const Argb p = PixelAt(x, y);
                    planes.push_back(c == 0 ? p.r : c == 1 ? p.g : p.b);
                }
            // Literal packets of at most 128 bytes, as the simplest packers write.
            std::vector<uint8_t> packed;
            for (std::size_t i = 0; i < planes.size(); i += 128) {
                const std::size_t n = std::min<std::size_t>(128, planes.size() - i);
                packed.push_back(static_cast<uint8_t>(n - 1));
                packed.insert(packed.end(), planes.begin() + i, planes.begin() + i + n);
            }
            if (rowBytes > 250)
                Put16(v, static_cast<unsigned>(packed.size()));
            else
                v.push_back(static_cast<uint8_t>(packed.size()));
            v.insert(v.end(), packed.begin(), packed.end());
        }
        if (v.size() % 2)
            v.push_back(0);
        Put16(v, 0x00FF);
        return v;
    }
};

void ExpectForeignPixels(const ForeignPicture& picture, const GWorldWrapper& image)
{
    ASSERT_EQ(image.Width(), picture.width);
    ASSERT_EQ(image.Height(), picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const Argb want = ForeignPicture::PixelAt(x, y), got = GetPixel(image, x, y);
            EXPECT_EQ(got.r, want.r) << x << "," << y;
            EXPECT_EQ(got.g, want.g) << x << "," << y;
            EXPECT_EQ(got.b, want.b) << x << "," << y;
        }
}

bool SameRgb(const GWorldWrapper& a, const GWorldWrapper& b)
{
    return SamePixels(a, b, false);
}

// 16 empty rows of 200 pixels under a frame 16 times the drawn rect.
ForeignPicture EmptyRowsUnderALargerFrame()
{
    ForeignPicture picture;
    picture.width = 200;
    picture.height = 16;
    picture.frameWidth = 800;
    picture.frameHeight = 64;
    picture.emptyRows = true;
    return picture;
}

} // namespace

TEST(PictCodec, TwoByOneImageHasTheExactBytes)
{
    auto image = MakeImage(2, 1);
    SetPixel(*image, 0, 0, Argb{0, 1, 2, 3});
    SetPixel(*image, 1, 0, Argb{0, 4, 5, 6});
    const std::vector<uint8_t> bytes = Encode(*image);
    ASSERT_EQ(bytes.size(), 134u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x86);
    const std::vector<uint8_t> header = {0x00, 0x86, 0, 0, 0, 0, 0, 1, 0, 2, 0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 16), header);
    // DirectBitsRect with rowBytes 0x8000 | 8 and bounds 0, 0, 1, 2.
    const std::vector<uint8_t> bits = {0x00, 0x9A, 0, 0, 0, 0xFF, 0x80, 0x08, 0, 0, 0, 0, 0, 1, 0, 2};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 54, bytes.begin() + 70), bits);
    EXPECT_EQ(bytes[106 + 16], 0x00);
    EXPECT_EQ(bytes[106 + 17], 0x40); // ditherCopy
    const std::vector<uint8_t> tail = {0x07, 0x05, 0x01, 0x04, 0x02, 0x05, 0x03, 0x06, 0x00, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 124, bytes.end()), tail);
}

TEST(PictCodec, OneByOneImageIsStoredUnpacked)
{
    auto image = MakeImage(1, 1);
    SetPixel(*image, 0, 0, Argb{0x55, 9, 8, 7});
    const std::vector<uint8_t> bytes = Encode(*image);
    ASSERT_EQ(bytes.size(), 130u);
    EXPECT_EQ(bytes[1], 130);
    const std::vector<uint8_t> tail = {0x00, 0x09, 0x08, 0x07, 0x00, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 124, bytes.end()), tail);
}

TEST(PictCodec, RefusesWidthsItCannotRecord)
{
    std::vector<uint8_t> bytes{1, 2, 3};
    auto wide = MakeImage(kMaxPictWidth + 1, 1);
    EXPECT_EQ(EncodePict(*wide, bytes), PictStatus::tooWide);
    auto empty = MakeImage(0, 0);
    EXPECT_EQ(EncodePict(*empty, bytes), PictStatus::tooWide);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));
    auto widest = MakeImage(kMaxPictWidth, 2);
    FillNoise(*widest, 5);
    auto back = Decode(Encode(*widest));
    ASSERT_TRUE(back);
    EXPECT_TRUE(SameRgb(*back, *widest));
}

TEST(PictCodec, UnpacksApplesPackBitsExample)
{
    const std::vector<uint8_t> packed = {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA,
                                         0x03, 0x80, 0x00, 0x2A, 0x22, 0xF7, 0xAA};
    std::vector<uint8_t> expected = {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA,
                                     0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0x22};
    expected.insert(expected.end(), 10, 0xAA);
    std::vector<uint8_t> out(expected.size());
    ASSERT_TRUE(UnpackBits(packed.data(), packed.size(), out.data(), out.size()));
    EXPECT_EQ(out, expected);
    // One byte more or less expected is an error, never an over-read.
    std::vector<uint8_t> longer(expected.size() + 1), shorter(expected.size() - 1);
    EXPECT_FALSE(UnpackBits(packed.data(), packed.size(), longer.data(), longer.size()));
    EXPECT_FALSE(UnpackBits(packed.data(), packed.size(), shorter.data(), shorter.size()));
    EXPECT_FALSE(UnpackBits(packed.data(), packed.size() - 1, out.data(), out.size()));
}

TEST(PictCodec, PackedRowsUnpackAndNeverUseTheRunHeader0x80)
{
    std::mt19937 random(7);
    std::vector<std::vector<uint8_t>> inputs;
    for (int run : {1, 2, 3, 127, 128, 129, 130, 256, 257, 300}) {
        std::vector<uint8_t> v(run, 0x42);
        v.push_back(1);
        v.insert(v.begin(), 9);
        inputs.push_back(v);
    }
    for (int n : {1, 2, 3, 127, 128, 129, 255, 256, 1000}) {
        std::vector<uint8_t> v(n);
        for (auto& b : v)
            b = static_cast<uint8_t>(random() % 3 == 0 ? 0x80 : random());
        inputs.push_back(v);
    }
    for (const auto& input : inputs) {
        std::vector<uint8_t> packed;
        PackBits(input.data(), input.size(), packed);
        // Walk the headers: none may be 0x80.
        for (std::size_t i = 0; i < packed.size();) {
            const int header = static_cast<int8_t>(packed[i]);
            ASSERT_NE(header, -128) << "at " << i;
            i += header >= 0 ? header + 2 : 2;
        }
        std::vector<uint8_t> out(input.size());
        ASSERT_TRUE(UnpackBits(packed.data(), packed.size(), out.data(), out.size()));
        EXPECT_EQ(out, input);
        EXPECT_LE(packed.size(), input.size() + input.size() / 128 + 1);
    }
}

TEST(PictCodec, PackBitsPacksAsTheByteByByteRule)
{
    // The rule written out plainly: a run of three or more equal bytes (at
    // most 128) packs as a run; otherwise literal bytes up to the next such
    // run or 128 bytes. Rows of noise with runs of 2 to 5 at every offset
    // around the 16-byte steps and the ends.
    auto model = [](const std::vector<uint8_t>& src) {
        std::vector<uint8_t> out;
        std::size_t i = 0;
        const std::size_t n = src.size();
        while (i < n) {
            std::size_t run = 1;
            while (i + run < n && run < 128 && src[i + run] == src[i])
                ++run;
            if (run >= 3) {
                out.push_back(static_cast<uint8_t>(257 - run));
                out.push_back(src[i]);
                i += run;
                continue;
            }
            std::size_t end = i;
            while (end < n && end - i < 128 && !(end + 2 < n && src[end] == src[end + 1] && src[end] == src[end + 2]))
                ++end;
            out.push_back(static_cast<uint8_t>(end - i - 1));
            out.insert(out.end(), src.begin() + static_cast<std::ptrdiff_t>(i), src.begin() + static_cast<std::ptrdiff_t>(end));
            i = end;
        }
        return out;
    };
    std::mt19937 random(11);
    for (std::size_t n : {std::size_t{1}, std::size_t{17}, std::size_t{18}, std::size_t{19}, std::size_t{40},
                          std::size_t{200}, std::size_t{1920}})
        for (std::size_t at = 0; at < std::min<std::size_t>(n, 40); ++at)
            for (std::size_t length = 2; length <= 5; ++length) {
                std::vector<uint8_t> src(n);
                for (auto& b : src)
                    b = static_cast<uint8_t>(random());
                for (std::size_t k = at; k < std::min(n, at + length); ++k)
                    src[k] = 0x33;
                std::vector<uint8_t> packed;
                PackBits(src.data(), src.size(), packed);
                ASSERT_EQ(packed, model(src)) << "n " << n << " run at " << at << " of " << length;
            }
}

TEST(PictCodec, RoundTripsEveryRowForm)
{
    // Widths 1 (unpacked), 2..62 (one-byte counts) and 63..70 (two-byte counts).
    for (int w = 1; w <= 70; ++w)
        for (int h = 1; h <= 3; ++h) {
            auto image = MakeImage(w, h);
            FillNoise(*image, static_cast<uint32_t>(w * 10 + h));
            if (w > 4)
                for (int x = 0; x < w / 2; ++x)
                    SetPixel(*image, x, 0, Argb{0, 7, 7, 7}); // runs across the plane boundaries
            Rect frame;
            auto back = Decode(Encode(*image), PictStatus::ok, &frame);
            ASSERT_TRUE(back) << w << "x" << h;
            EXPECT_EQ(frame, MakeRect(0, 0, h, w));
            EXPECT_TRUE(SameRgb(*back, *image)) << w << "x" << h;
        }
    auto big = MakeImage(640, 480);
    FillNoise(*big, 99);
    AddStar(*big, 300, 200, 20, 255);
    auto back = Decode(Encode(*big));
    ASSERT_TRUE(back);
    EXPECT_TRUE(SameRgb(*back, *big));
}

TEST(PictCodec, DecodingIntoAnImageOfTheSizeRewritesAllOfIt)
{
    // An image of the frame's size is decoded into, whatever it held: alpha
    // included, and the undrawn part of a frame larger than its picture.
    auto big = MakeImage(640, 480);
    FillNoise(*big, 5);
    ForeignPicture partial;
    partial.frameWidth = 9;
    partial.frameHeight = 4;
    for (const std::vector<uint8_t>& bytes : {Encode(*big), partial.Bytes()}) {
        auto fresh = Decode(bytes);
        ASSERT_TRUE(fresh);
        std::unique_ptr<GWorldWrapper> image = MakeImage(fresh->Width(), fresh->Height());
        for (int y = 0; y < image->Height(); ++y)
            std::memset(image->PixelRow(y), 0x5A, 4 * static_cast<std::size_t>(image->Width()));
        const GWorldWrapper* reused = image.get();
        ASSERT_EQ(DecodePict(bytes.data(), bytes.size(), &image), PictStatus::ok);
        EXPECT_EQ(image.get(), reused);
        EXPECT_TRUE(SamePixels(*image, *fresh, true)) << fresh->Width();
    }
}

TEST(PictCodec, ReadsTheFormsOtherWritersUse)
{
    ForeignPicture plain;
    auto a = Decode(plain.Bytes());
    ASSERT_TRUE(a);
    ExpectForeignPixels(plain, *a);

    ForeignPicture alpha;
    alpha.cmpCount = 4;
    alpha.width = 70; // two-byte counts
    auto b = Decode(alpha.Bytes());
    ASSERT_TRUE(b);
    ExpectForeignPixels(alpha, *b);

    ForeignPicture defaultPacking;
    defaultPacking.packType = 0;
    auto c = Decode(defaultPacking.Bytes());
    ASSERT_TRUE(c);
    ExpectForeignPixels(defaultPacking, *c);

    ForeignPicture oldHeader;
    oldHeader.versionMinusOneHeader = true;
    oldHeader.extraOpcodes = true;
    auto d = Decode(oldHeader.Bytes());
    ASSERT_TRUE(d);
    ExpectForeignPixels(oldHeader, *d);

    ForeignPicture region;
    region.withRegion = true;
    auto e = Decode(region.Bytes());
    ASSERT_TRUE(e);
    ExpectForeignPixels(region, *e);

    ForeignPicture moved;
    moved.frameTop = 10;
    moved.frameLeft = 20;
    Rect frame;
    auto f = Decode(moved.Bytes(), PictStatus::ok, &frame);
    ASSERT_TRUE(f);
    EXPECT_EQ(frame, MakeRect(10, 20, 12, 23));
    ExpectForeignPixels(moved, *f);
}

TEST(PictCodec, OtherPicturesAreLeftToOtherDecoders)
{
    // Version 1 pictures, and 16-bit pixels, are not ours.
    std::vector<uint8_t> v1 = {0, 20, 0, 0, 0, 0, 0, 4, 0, 4, 0x11, 0x01, 0xA0, 0x00, 0x82, 0xFF};
    Decode(v1, PictStatus::unsupported);
    ForeignPicture plain;
    std::vector<uint8_t> bytes = plain.Bytes();
    // pixelSize is the second field after pixelType; find DirectBitsRect.
    for (std::size_t i = 40; i + 1 < bytes.size(); i += 2)
        if (bytes[i] == 0x00 && bytes[i + 1] == 0x9A) {
            bytes[i + 2 + 4 + 2 + 8 + 16 + 2 + 1] = 16; // pixelSize 32 -> 16
            break;
        }
    Decode(bytes, PictStatus::unsupported);
    std::vector<uint8_t> unknownOp = plain.Bytes();
    unknownOp[40] = 0x00; // the opcode after HeaderOp becomes 0x0090 (BitsRect)
    unknownOp[41] = 0x90;
    Decode(unknownOp, PictStatus::unsupported);
}

TEST(PictCodec, DamagedPicturesFailCleanly)
{
    auto image = MakeImage(67, 3);
    FillNoise(*image, 3);
    const std::vector<uint8_t> good = Encode(*image);
    // Every prefix: each is an error (the picture needs its OpEndPic).
    for (std::size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        std::unique_ptr<GWorldWrapper> out;
        EXPECT_NE(DecodePict(prefix.data(), prefix.size(), &out), PictStatus::ok) << n;
        EXPECT_FALSE(out);
    }
    // Every single-byte corruption, three values each: never a crash or an
    // over-read (run under AddressSanitizer); an accepted picture has the
    // right kind of result.
    for (std::size_t i = 0; i < good.size(); ++i)
        for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(good[i] ^ 0x01)}) {
            std::vector<uint8_t> bad = good;
            bad[i] = value;
            std::unique_ptr<GWorldWrapper> out;
            const PictStatus status = DecodePict(bad.data(), bad.size(), &out);
            EXPECT_EQ(status == PictStatus::ok, out != nullptr);
        }
    // A small picture that claims a huge frame is refused before allocating.
    std::vector<uint8_t> huge = good;
    huge[6] = 0x7F;
    huge[8] = 0x7F;
    std::unique_ptr<GWorldWrapper> out;
    EXPECT_NE(DecodePict(huge.data(), huge.size(), &out), PictStatus::ok);
}

TEST(PictCodec, FileTooShortForItsRowsIsRefusedBeforeTheFrameExists)
{
    // 16 rows of 200 pixels need at least 16 × (2 + 2 × 5) bytes; these rows
    // hold 2 bytes each. The frame is 16 times the drawn rect.
    const std::vector<uint8_t> bytes = EmptyRowsUnderALargerFrame().Bytes();
    FailNextImageAllocationsForTesting(1); // an allocation would throw
    std::unique_ptr<GWorldWrapper> out;
    EXPECT_EQ(DecodePict(bytes.data(), bytes.size(), &out), PictStatus::damaged);
    FailNextImageAllocationsForTesting(0);
    EXPECT_FALSE(out);
}

TEST(PictCodec, RowsThatDoNotUnpackAreRefusedBeforeALargerFrameExists)
{
    // The same picture with zeros as long as its rows are at their fewest
    // bytes: the length check passes, but no row's count unpacks. The rows
    // are checked before the frame, 16 times the drawn rect, is made, and
    // the probe finds the same from the bytes alone.
    std::vector<uint8_t> bytes = EmptyRowsUnderALargerFrame().Bytes();
    bytes.resize(bytes.size() + 16 * (2 + 2 * 5));
    FailNextImageAllocationsForTesting(1); // an allocation would throw
    std::unique_ptr<GWorldWrapper> out;
    EXPECT_EQ(DecodePict(bytes.data(), bytes.size(), &out), PictStatus::damaged);
    FailNextImageAllocationsForTesting(0);
    EXPECT_FALSE(out);
    EXPECT_EQ(ProbePict(bytes.data(), 64, bytes.size()), PictStatus::damaged);
    EXPECT_EQ(ProbePict(bytes.data(), bytes.size(), bytes.size()), PictStatus::damaged);
}

TEST(PictCodec, RandomGarbageNeverDecodes)
{
    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes(random() % 400);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(random());
        if (bytes.size() >= 14 && round % 2 == 0) {
            bytes[10] = 0x00, bytes[11] = 0x11, bytes[12] = 0x02, bytes[13] = 0xFF;
        }
        std::unique_ptr<GWorldWrapper> out;
        const PictStatus status = DecodePict(bytes.data(), bytes.size(), &out);
        EXPECT_EQ(status == PictStatus::ok, out != nullptr);
    }
}
