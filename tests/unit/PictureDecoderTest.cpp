// tests/unit/PictureDecoderTest.cpp: pictures of every format the program
// reads, written with known pixels by Qt, ImageMagick and the program's own
// PICT writer, sized and decoded; damaged files fail cleanly.
#include "platform/qt/PictureDecoder.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <zlib.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictFile.h"
#include "platform/core/PlainPng.h"
#include "platform/core/ResidentSet.h"
#include "tests/support/TestImages.h"

namespace {

// Sizes every format is tried at: single pixels, single rows and columns,
// odd sides and sides that are not a multiple of 4.
const std::vector<std::pair<int, int>> kSizes = {{1, 1}, {1, 9}, {9, 1}, {37, 23}, {64, 3}};

// The test pictures' expected pixels: exact, or within `tolerance` for lossy
// formats. Alpha must always come out 0xFF.
::testing::AssertionResult HasPixels(const GWorldWrapper& image, const Rgb8Picture& want, int tolerance = 0)
{
    if (image.Width() != want.width || image.Height() != want.height)
        return ::testing::AssertionFailure() << "size " << image.Width() << "x" << image.Height() << ", want "
                                             << want.width << "x" << want.height;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            const Argb p = GetPixel(image, x, y);
            const int got[3] = {p.r, p.g, p.b};
            for (int c = 0; c < 3; ++c)
                if (std::abs(got[c] - want.At(x, y, c)) > tolerance || p.a != 0xFF)
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") channel " << c << ": got " << got[c] << " alpha "
                           << int(p.a) << ", want " << int(want.At(x, y, c));
        }
    return ::testing::AssertionSuccess();
}

// 16-bit samples v must become round(v / 257).
Rgb8Picture Narrowed(const Rgb16Picture& wide)
{
    Rgb8Picture p{wide.width, wide.height, std::vector<uint8_t>(wide.rgb.size())};
    for (std::size_t i = 0; i < wide.rgb.size(); ++i)
        p.rgb[i] = static_cast<uint8_t>(static_cast<int>(wide.rgb[i] / 257.0 + 0.5));
    return p;
}

QImage ToQImage(const Rgb8Picture& p)
{
    QImage image(p.width, p.height, QImage::Format_RGB32);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            image.setPixel(x, y, qRgb(p.At(x, y, 0), p.At(x, y, 1), p.At(x, y, 2)));
    return image;
}

std::string SizeName(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

std::unique_ptr<GWorldWrapper> Decoded(const std::filesystem::path& file, Rect* frame = nullptr)
{
    std::unique_ptr<GWorldWrapper> image;
    const MediaStatus status = DecodePicture(file, &image, frame);
    EXPECT_EQ(status, MediaStatus::ok) << file << ": " << MediaStatusName(status);
    return image;
}

// Probes and decodes file, which holds `want`.
void ExpectReads(const std::filesystem::path& file, const Rgb8Picture& want, int tolerance = 0)
{
    SCOPED_TRACE(file.filename().string());
    Rect probed;
    ASSERT_EQ(ProbePicture(file, &probed), MediaStatus::ok);
    EXPECT_EQ(probed, MakeRect(0, 0, want.height, want.width));
    Rect frame;
    const auto image = Decoded(file, &frame);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(frame, probed);
    EXPECT_TRUE(HasPixels(*image, want, tolerance));
}

// ImageMagick writes `out` from raw pixels; extra options go before the output.
void MagickWrite(const std::filesystem::path& raw, int w, int h, int depth, bool grey,
                 const std::filesystem::path& out, const std::string& options = "", const std::string& prefix = "")
{
    std::string log;
    const std::string command = ConvertProgram() + " -size " + SizeName(w, h) + " -depth " + std::to_string(depth) +
                                " -endian MSB " + (grey ? "gray:" : "rgb:") + Quote(raw).substr(0) + " " + options +
                                " -depth " + std::to_string(depth) + " " + prefix + Quote(out);
    ASSERT_TRUE(RunCommand(command, &log)) << log;
}


// PNG files built here chunk by chunk, so that every row filter, every
// colour type the program's own PNG reader takes and every fault it must
// leave to Qt can be chosen.
void PutBigEndian(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBigEndian(out, static_cast<uint32_t>(crc32(0, out.data() + typeAt, static_cast<uInt>(data.size() + 4))));
}

struct PngPicture {
    int width, height, channels;
    std::vector<uint8_t> samples; // rows of width * channels
    std::vector<int> filters;     // one a row
};

int PaethOf(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The zlib data of the picture's rows, each filtered by its own filter type.
std::vector<uint8_t> FilteredData(const PngPicture& png)
{
    const int n = png.width * png.channels, bpp = png.channels;
    std::vector<uint8_t> raw;
    for (int y = 0; y < png.height; ++y) {
        const uint8_t* row = &png.samples[static_cast<std::size_t>(y * n)];
        auto up = [&](int i) { return y > 0 && i >= 0 ? int(row[i - n]) : 0; };
        auto left = [&](int i) { return i >= bpp ? int(row[i - bpp]) : 0; };
        raw.push_back(static_cast<uint8_t>(png.filters[static_cast<std::size_t>(y)]));
        for (int i = 0; i < n; ++i) {
            const int a = left(i), b = up(i), c = i >= bpp ? up(i - bpp) : 0;
            const int predictors[5] = {0, a, b, (a + b) / 2, PaethOf(a, b, c)};
            const int filter = png.filters[static_cast<std::size_t>(y)]; // one PNG does not have: data as stored
            raw.push_back(static_cast<uint8_t>(row[i] - (filter < 5 ? predictors[filter] : 0)));
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> data(size);
    EXPECT_EQ(compress2(data.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9), Z_OK);
    data.resize(size);
    return data;
}

// The whole file: the header, the chunks of `before`, the data in IDAT
// chunks of at most chunkBytes, the end.
std::vector<uint8_t> PngFile(const PngPicture& png, const std::vector<uint8_t>& data, std::size_t chunkBytes,
                             const std::vector<std::pair<std::string, std::vector<uint8_t>>>& before = {})
{
    static const uint8_t kColourTypes[5] = {0, 0, 4, 2, 6};
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(png.width));
    PutBigEndian(header, static_cast<uint32_t>(png.height));
    header.insert(header.end(), {8, kColourTypes[png.channels], 0, 0, 0});
    PutChunk(out, "IHDR", header);
    for (const auto& [type, bytes] : before)
        PutChunk(out, type.c_str(), bytes);
    for (std::size_t at = 0; at < data.size(); at += chunkBytes)
        PutChunk(out, "IDAT",
                 std::vector<uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(at),
                                      data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), at + chunkBytes))));
    PutChunk(out, "IEND", {});
    return out;
}

// The picture's samples as the program keeps them: grey to all three colours,
// alpha dropped.
::testing::AssertionResult HasSamples(const GWorldWrapper& image, const PngPicture& png)
{
    for (int y = 0; y < png.height; ++y)
        for (int x = 0; x < png.width; ++x) {
            const uint8_t* s = &png.samples[static_cast<std::size_t>((y * png.width + x) * png.channels)];
            const Argb want = png.channels <= 2 ? Argb{0xFF, s[0], s[0], s[0]} : Argb{0xFF, s[0], s[1], s[2]};
            if (!(GetPixel(image, x, y) == want))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ")";
        }
    return ::testing::AssertionSuccess();
}

// The program's own PNG reader on bytes; false when it does not take them.
// *asked tells whether it asked for the image.
bool PlainDecoded(const std::vector<uint8_t>& bytes, GWorldWrapper& image, bool* asked = nullptr)
{
    if (asked)
        *asked = false;
    return DecodePlainPng(bytes.data(), bytes.size(), [&]() -> GWorldWrapper& {
        if (asked)
            *asked = true;
        return image;
    });
}
// A little-endian TIFF of one directory of nine fields of one value (tag,
// type: 3 SHORT or 4 LONG, value) and data after it; the strip offset's
// value (tag 273) is where data begins.
std::vector<uint8_t> OneDirectoryTiff(const uint32_t (&fields)[9][3], const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put = [&out](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put(9, 2);
    for (const auto& [tag, type, value] : fields) {
        put(tag, 2);
        put(type, 2);
        put(1, 4);
        put(tag == 273 ? 8 + 2 + 9 * 12 + 4 : value, 4);
    }
    put(0, 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// A little-endian TIFF of width x height 8-bit samples in one strip whose
// byte count says stripBytes, of which data follows the directory.
std::vector<uint8_t> TiffFile(uint32_t width, uint32_t height, uint32_t samples, uint32_t compression,
                              uint32_t stripBytes, const std::vector<uint8_t>& data)
{
    const uint32_t fields[9][3] = {
        {256, 4, width}, {257, 4, height}, {258, 3, 8}, {259, 3, compression}, {262, 3, samples == 1 ? 1u : 2u},
        {273, 4, 0}, {277, 3, samples}, {278, 4, height}, {279, 4, stripBytes},
    };
    return OneDirectoryTiff(fields, data);
}

// A little-endian TIFF of one grey strip, width x height samples of `bits`
// bits in sample format `format` (1 unsigned, 3 floating point) following
// the directory.
std::vector<uint8_t> GreyTiff(uint32_t width, uint32_t height, uint32_t bits, uint32_t format,
                              const std::vector<uint8_t>& data)
{
    const uint32_t fields[9][3] = {
        {256, 4, width}, {257, 4, height}, {258, 3, bits}, {259, 3, 1}, {262, 3, 1},
        {273, 4, 0}, {277, 3, 1}, {279, 4, static_cast<uint32_t>(data.size())}, {339, 3, format},
    };
    return OneDirectoryTiff(fields, data);
}

}  // namespace

TEST(PictureDecoder, QtWrittenLosslessFormatsAreExact)
{
    ScratchFolder dir;
    for (auto [w, h] : kSizes) {
        const Rgb8Picture colour = Pattern8(w, h, 3);
        const Rgb8Picture grey = Pattern8(w, h, 5, true);
        for (const char* format : {"png", "bmp", "webp"}) {
            const auto file = dir / ("colour-" + SizeName(w, h) + "." + format);
            QImageWriter writer(QString::fromStdString(file.string()), format);
            writer.setQuality(100);  // lossless WebP
            ASSERT_TRUE(writer.write(ToQImage(colour))) << writer.errorString().toStdString();
            ExpectReads(file, colour);
        }
        const auto greyFile = dir / ("grey-" + SizeName(w, h) + ".png");
        ASSERT_TRUE(ToQImage(grey).convertToFormat(QImage::Format_Grayscale8).save(QString::fromStdString(greyFile.string())));
        ExpectReads(greyFile, grey);
        const auto indexedFile = dir / ("indexed-" + SizeName(w, h) + ".png");
        ASSERT_TRUE(ToQImage(grey).convertToFormat(QImage::Format_Indexed8).save(QString::fromStdString(indexedFile.string())));
        ExpectReads(indexedFile, grey);
    }
}

TEST(PictureDecoder, AlphaIsDroppedWithoutCompositing)
{
    ScratchFolder dir;
    const Rgb8Picture colour = Pattern8(17, 9, 1);
    QImage image(17, 9, QImage::Format_ARGB32);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 17; ++x)
            image.setPixel(x, y, qRgba(colour.At(x, y, 0), colour.At(x, y, 1), colour.At(x, y, 2), (x * 31 + y) % 256));
    const auto file = dir / "alpha.png";
    ASSERT_TRUE(image.save(QString::fromStdString(file.string())));
    ExpectReads(file, colour);

    // 16-bit with alpha: the colour still comes through unchanged.
    const Rgb16Picture wide = Pattern16(13, 5, 2);
    QImage deep(13, 5, QImage::Format_RGBA64);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 13; ++x)
            deep.setPixelColor(x, y, QColor::fromRgba64(wide.At(x, y, 0), wide.At(x, y, 1), wide.At(x, y, 2),
                                                        static_cast<uint16_t>(x * 5000)));
    const auto deepFile = dir / "alpha16.png";
    ASSERT_TRUE(deep.save(QString::fromStdString(deepFile.string())));
    ExpectReads(deepFile, Narrowed(wide));
}

TEST(PictureDecoder, TiffUnassociatedAlphaIsDroppedWithoutCompositing)
{
    // ImageMagick marks its alpha unassociated, which libtiff would multiply
    // the colours by: in one plane and in separate planes, the colours come
    // through as stored.
    ScratchFolder dir;
    const Rgb8Picture colour = Pattern8(37, 23, 37);
    const Rgb8Picture alpha = Pattern8(37, 23, 41, true);
    WriteRaw(dir / "colour.raw", colour, false);
    WriteRaw(dir / "alpha.raw", alpha, true);
    for (const std::string interlace : {"none", "plane"}) {
        const auto file = dir / ("alpha-" + interlace + ".tif");
        std::string log;
        ASSERT_TRUE(RunCommand(ConvertProgram() + " -size 37x23 -depth 8 rgb:" + Quote(dir / "colour.raw") +
                                   " \\( -size 37x23 -depth 8 gray:" + Quote(dir / "alpha.raw") +
                                   " \\) -alpha off -compose copy-opacity -composite -interlace " + interlace + " " +
                                   Quote(file),
                               &log))
            << log;
        ExpectReads(file, colour);
    }
}

TEST(PictureDecoder, MagickWrittenEightBitFormatsAreExact)
{
    ScratchFolder dir;
    for (auto [w, h] : kSizes) {
        for (bool grey : {false, true}) {
            const Rgb8Picture picture = Pattern8(w, h, 7, grey);
            const std::string stem = (grey ? "grey-" : "colour-") + SizeName(w, h);
            const auto raw = dir / (stem + ".raw");
            WriteRaw(raw, picture, grey);
            struct Case {
                std::string name, options, prefix;
            };
            std::vector<Case> cases = {{"tiff", "", ""}, {"sgi", "", ""}, {"psd", "", ""}, {"png", "", ""}};
            for (const Case& c : cases) {
                const auto out = dir / (stem + "." + c.name);
                MagickWrite(raw, w, h, 8, grey, out, c.options, c.prefix);
                ExpectReads(out, picture);
            }
            // Targa in both row orders, plain and run-length coded (which Qt
            // does not read: FFmpeg takes it by its name).
            for (bool rle : {false, true})
                for (bool top : {false, true}) {
                    const auto out = dir / (stem + (rle ? "-rle" : "") + (top ? "-top" : "") + ".tga");
                    WriteTga(out, picture, grey, rle, top);
                    ExpectReads(out, picture);
                }
            if (grey) {
                // GIF holds at most 256 colours: the grey pattern fits.
                const auto out = dir / (stem + ".gif");
                std::string log;
                ASSERT_TRUE(RunCommand("ffmpeg -v error -y -f rawvideo -pix_fmt gray -s " + SizeName(w, h) + " -i " +
                                           Quote(raw) + " -frames:v 1 " + Quote(out),
                                       &log))
                    << log;
                ExpectReads(out, picture);
            }
        }
    }
}

TEST(PictureDecoder, SixteenBitSamplesRoundToEightBits)
{
    ScratchFolder dir;
    for (auto [w, h] : kSizes) {
        for (bool grey : {false, true}) {
            const Rgb16Picture picture = Pattern16(w, h, 11, grey);
            const std::string stem = (grey ? "grey16-" : "colour16-") + SizeName(w, h);
            const auto raw = dir / (stem + ".raw");
            WriteRaw(raw, picture, grey);
            for (const std::string name : {"tiff", "sgi", "psd", "png"}) {
                const auto out = dir / (stem + "." + name);
                const std::string prefix = name == "png" ? (grey ? "PNG:" : "PNG48:") : "";
                MagickWrite(raw, w, h, 16, grey, out, "", prefix);
                ExpectReads(out, Narrowed(picture));
            }
        }
    }
}

TEST(PictureDecoder, SixteenBitSeparatePlanesReadAsTheirContiguousTwin)
{
    // Qt fills only the first plane's samples of each row of such a TIFF;
    // decoded twice, both files give the same rounded pixels.
    ScratchFolder dir;
    const Rgb16Picture picture = Pattern16(37, 23, 23);
    const auto raw = dir / "p.raw";
    WriteRaw(raw, picture, false);
    MagickWrite(raw, 37, 23, 16, false, dir / "contiguous.tiff");
    MagickWrite(raw, 37, 23, 16, false, dir / "planes.tiff", "-interlace plane");
    ExpectReads(dir / "contiguous.tiff", Narrowed(picture));
    for (int run = 0; run < 2; ++run)
        ExpectReads(dir / "planes.tiff", Narrowed(picture));
}

TEST(PictureDecoder, TiffSamplesNoDecoderReadsAreRefusedByTheProbeAsByTheDecode)
{
    // Grey samples of 32 bits, floating point or unsigned: Qt's reader
    // refuses them once it reads the pixels, FFmpeg's altogether. Grey half
    // floats: Qt's reader refuses them, FFmpeg's would read 16-bit integers.
    ScratchFolder dir;
    const struct {
        int bits;
        uint32_t format;
    } kinds[] = {{32, 1}, {32, 3}, {16, 3}};
    for (const auto& kind : kinds) {
        const auto file = dir / ("grey" + std::to_string(kind.bits) + "-" + std::to_string(kind.format) + ".tif");
        WriteBytesFile(file, GreyTiff(37, 23, kind.bits, kind.format, SeededBytes(37 * 23 * kind.bits / 8, 3)));
        SCOPED_TRACE(file.filename().string());
        Rect frame;
        EXPECT_EQ(ProbePicture(file, &frame), MediaStatus::unreadable);
        std::unique_ptr<GWorldWrapper> decoded;
        EXPECT_EQ(DecodePicture(file, &decoded), MediaStatus::unreadable);
    }
}

TEST(PictureDecoder, TiledTiffsQtCannotReadAreRefusedNotLeftToFfmpeg)
{
    // FFmpeg gives a black picture for any tiled TIFF. Qt's reader refuses
    // 16-bit tiles of separate planes; libtiff, under it, uncompressed 8-bit
    // RGB tiles of 768 or 256 bytes (16 x 16, contiguous or a plane each);
    // a tile whose data is garbled fails there too.
    ScratchFolder dir;
    const Rgb8Picture picture = Pattern8(37, 23, 29);
    const Rgb16Picture wide = Pattern16(37, 23, 31);
    WriteRaw(dir / "p.raw", picture, false);
    WriteRaw(dir / "wide.raw", wide, false);
    const std::string tiles = "-define tiff:tile-geometry=16x16 ";
    MagickWrite(dir / "p.raw", 37, 23, 8, false, dir / "tiles.tif", tiles);
    MagickWrite(dir / "p.raw", 37, 23, 8, false, dir / "tile-planes.tif", tiles + "-interlace plane");
    MagickWrite(dir / "wide.raw", 37, 23, 16, false, dir / "wide-tile-planes.tif", tiles + "-interlace plane");
    MagickWrite(dir / "p.raw", 37, 23, 8, false, dir / "lzw-tiles.tif", tiles + "-compress lzw");
    for (const char* name : {"tiles.tif", "tile-planes.tif", "wide-tile-planes.tif"}) {
        SCOPED_TRACE(name);
        Rect frame;
        EXPECT_EQ(ProbePicture(dir / name, &frame), MediaStatus::unreadable);
        std::unique_ptr<GWorldWrapper> decoded;
        EXPECT_EQ(DecodePicture(dir / name, &decoded), MediaStatus::unreadable);
    }
    ExpectReads(dir / "lzw-tiles.tif", picture);
    std::ifstream in(dir / "lzw-tiles.tif", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fill(bytes.begin() + 8, bytes.begin() + 208, 0xFF); // the first tile's codes
    WriteBytesFile(dir / "garbled.tif", bytes);
    std::unique_ptr<GWorldWrapper> decoded;
    EXPECT_EQ(DecodePicture(dir / "garbled.tif", &decoded), MediaStatus::damaged);
}

TEST(PictureDecoder, JpegWithinCompressionError)
{
    // Quality 100 on smooth ramps: the encoder's rounding and the decoder's
    // chroma upsampling move a channel by at most a few levels.
    constexpr int kJpegTolerance = 4;
    ScratchFolder dir;
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {9, 1}, {1, 9}, {37, 23}, {130, 67}}) {
        const Rgb8Picture smooth = Smooth8(w, h);
        const auto file = dir / ("smooth-" + SizeName(w, h) + ".jpg");
        QImageWriter writer(QString::fromStdString(file.string()), "jpeg");
        writer.setQuality(100);
        ASSERT_TRUE(writer.write(ToQImage(smooth)));
        ExpectReads(file, smooth, kJpegTolerance);
    }
}

TEST(PictureDecoder, OwnPictFilesAreExact)
{
    ScratchFolder dir;
    for (auto [w, h] : kSizes) {
        auto image = MakeImage(w, h);
        const Rgb8Picture picture = Pattern8(w, h, 13);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                SetPixel(*image, x, y, Argb{0xFF, picture.At(x, y, 0), picture.At(x, y, 1), picture.At(x, y, 2)});
        const auto file = dir / ("own-" + SizeName(w, h));  // no extension, as the program writes them
        ASSERT_EQ(WritePictFile(file.string(), *image, PictWriteMode::createNew), PictFileStatus::ok);
        ExpectReads(file, picture);
    }
}

TEST(PictureDecoder, ForeignPictFallsToFfmpeg)
{
    // An 8-bit indexed PICT (PackBitsRect with a colour table), as other
    // programs write them: the program's own reader leaves it to FFmpeg.
    // ImageMagick's 16-bit palette entries come back up to one level off.
    constexpr int kPaletteTolerance = 1;
    ScratchFolder dir;
    Rgb8Picture grey = Pattern8(300, 23, 9, true);
    for (auto& v : grey.rgb)
        v = static_cast<uint8_t>(v / 16 * 16);  // 16 levels: the colour table holds them all
    WriteRaw(dir / "grey.raw", grey, true);
    const auto file = dir / "indexed.pict";
    MagickWrite(dir / "grey.raw", 300, 23, 8, true, file, "-type Palette", "PICT:");
    ExpectReads(file, grey, kPaletteTolerance);
}

TEST(PictureDecoder, OtherSizesAreStretchedByNearestNeighbour)
{
    ScratchFolder dir;
    const Rgb8Picture picture = Pattern8(37, 23, 17);
    const auto file = dir / "source.png";
    ASSERT_TRUE(ToQImage(picture).save(QString::fromStdString(file.string())));
    for (auto [dw, dh] : std::vector<std::pair<int, int>>{{37, 23}, {100, 50}, {10, 7}, {1, 1}, {37, 61}, {5, 23}}) {
        SCOPED_TRACE(SizeName(dw, dh));
        auto image = MakeImage(dw, dh);
        Rect frame;
        ASSERT_EQ(DecodePictureInto(file, *image, &frame), MediaStatus::ok);
        EXPECT_EQ(frame, MakeRect(0, 0, 23, 37));
        // Destination pixel d takes source pixel floor(d * srcSize / dstSize).
        Rgb8Picture want{dw, dh, std::vector<uint8_t>(static_cast<std::size_t>(dw) * dh * 3)};
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                for (int c = 0; c < 3; ++c)
                    want.rgb[(static_cast<std::size_t>(y) * dw + x) * 3 + c] = picture.At(x * 37 / dw, y * 23 / dh, c);
        EXPECT_TRUE(HasPixels(*image, want));
    }
}

TEST(PictureDecoder, DamagedAndForeignFilesFailCleanly)
{
    ScratchFolder dir;
    // Good files of each decoder's formats, then cut short.
    const Rgb8Picture picture = Pattern8(61, 45, 19);
    const auto raw = dir / "p.raw";
    WriteRaw(raw, picture, false);
    std::vector<std::filesystem::path> good;
    for (const std::string name : {"png", "tiff", "sgi", "psd", "bmp", "gif", "jpg", "webp"}) {
        good.push_back(dir / ("p." + name));
        MagickWrite(raw, 61, 45, 8, false, good.back());
    }
    good.push_back(dir / "p.tga");
    WriteTga(good.back(), picture, false, true, false);
    good.push_back(dir / "plain.tga");
    WriteTga(good.back(), picture, false, false, false);
    good.push_back(dir / "own.pict");
    auto image = MakeImage(61, 45);
    ASSERT_EQ(WritePictFile(good.back().string(), *image, PictWriteMode::createNew), PictFileStatus::ok);

    for (const auto& file : good) {
        for (double fraction : {0.5, 0.9}) {
            const auto size = std::filesystem::file_size(file);
            const auto cut = dir / ("cut-" + std::to_string(int(fraction * 100)) + "-" + file.filename().string());
            WriteTruncatedCopy(file, cut, static_cast<std::uintmax_t>(size * fraction));
            SCOPED_TRACE(cut.filename().string());
            std::unique_ptr<GWorldWrapper> decoded;
            EXPECT_NE(DecodePicture(cut, &decoded), MediaStatus::ok);
            EXPECT_EQ(decoded, nullptr);
        }
    }

    // Garbage, empty, tiny and missing files and folders: no decoder takes them.
    WriteBytesFile(dir / "garbage.png", SeededBytes(4096, 1));
    WriteBytesFile(dir / "garbage", SeededBytes(100000, 2));
    WriteBytesFile(dir / "empty.jpg", {});
    WriteBytesFile(dir / "zeros.pict", std::vector<uint8_t>(600, 0));
    std::vector<uint8_t> header(512, 0);  // a PICT header with an absurd frame
    for (uint8_t b : {0x00, 0x20, 0x80, 0x00, 0x80, 0x00, 0x7F, 0xFF, 0x7F, 0xFF, 0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00})
        header.push_back(b);
    WriteBytesFile(dir / "absurd.pict", header);
    std::filesystem::create_directories(dir / "folder.png");
    for (const std::string name : {"garbage.png", "garbage", "empty.jpg", "zeros.pict", "absurd.pict", "folder.png",
                                   "missing.png"}) {
        SCOPED_TRACE(name);
        Rect frame = MakeRect(1, 2, 3, 4);
        EXPECT_NE(ProbePicture(dir / name, &frame), MediaStatus::ok);
        EXPECT_EQ(frame, MakeRect(1, 2, 3, 4));
        std::unique_ptr<GWorldWrapper> decoded;
        EXPECT_NE(DecodePicture(dir / name, &decoded), MediaStatus::ok);
        EXPECT_EQ(decoded, nullptr);
        auto target = MakeImage(3, 3);
        EXPECT_NE(DecodePictureInto(dir / name, *target), MediaStatus::ok);
        EXPECT_EQ(target->Width(), 3);
    }
    Rect frame;
    EXPECT_EQ(ProbePicture(dir / "missing.png", &frame), MediaStatus::cannotOpen);
    EXPECT_EQ(ProbePicture(dir / "absurd.pict", &frame), MediaStatus::badSize);
}

TEST(PictureDecoder, AStillPictureClaimingMorePixelsThanItsFileHoldsIsRefusedUnallocated)
{
    // An SGI header of 16000 × 16000 RGB pixels over 200 bytes of data, 712
    // bytes: FFmpeg's decoder would take 768 MB for its frame while probing,
    // and the decode as much again with the target image.
    ScratchFolder dir;
    const auto file = dir / "huge.sgi";
    std::vector<uint8_t> bytes = {0x01, 0xDA, 0, 1, 0, 3, 0x3E, 0x80, 0x3E, 0x80, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0xFF};
    bytes.resize(712, 0);
    WriteBytesFile(file, bytes);
    Rect frame = MakeRect(1, 2, 3, 4);
    EXPECT_NE(ProbePicture(file, &frame), MediaStatus::ok);
    EXPECT_EQ(frame, MakeRect(1, 2, 3, 4));
    std::unique_ptr<GWorldWrapper> decoded;
    EXPECT_NE(DecodePicture(file, &decoded), MediaStatus::ok);
    EXPECT_EQ(decoded, nullptr);
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 300 * 1024); // kilobytes
}

TEST(PictureDecoder, AJpegClaimingMorePixelsThanItsFileHoldsIsCutShort)
{
    // An 8 × 8 grey JPEG whose frame header then says 14656 × 12289: libjpeg
    // would make up the missing rows of a 720 MB picture.
    ScratchFolder dir;
    QImage grey(8, 8, QImage::Format_RGB32);
    grey.fill(qRgb(90, 90, 90));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(grey.save(&buffer, "jpg"));
    const qsizetype frameHeader = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(frameHeader, 0);
    for (auto [at, value] : {std::pair{5, 12289}, std::pair{7, 14656}}) {
        jpeg[frameHeader + at] = static_cast<char>(value >> 8);
        jpeg[frameHeader + at + 1] = static_cast<char>(value & 0xFF);
    }
    const auto file = dir / "claims.jpg";
    WriteBytesFile(file, std::vector<uint8_t>(jpeg.begin(), jpeg.end()));
    std::unique_ptr<GWorldWrapper> decoded;
    EXPECT_EQ(DecodePicture(file, &decoded), MediaStatus::damaged);
    EXPECT_EQ(decoded, nullptr);
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 300 * 1024); // kilobytes
}

TEST(PictureDecoder, OwnPngReaderUndoesEveryFilterOfEveryColourTypeAsQtDoes)
{
    // Every filter on every row position (the first row's has no row above),
    // each colour type at an odd width, the data split over many IDAT
    // chunks, ancillary chunks (gamma, text, a transparent colour) skipped.
    // Qt's reader of the same file is the reference beside the stored samples.
    ScratchFolder dir;
    for (int channels = 1; channels <= 4; ++channels)
        for (int first = 0; first < 5; ++first) {
            SCOPED_TRACE("channels " + std::to_string(channels) + ", first filter " + std::to_string(first));
            PngPicture png{7, 6, channels, {}, {}};
            const Rgb8Picture pattern = Pattern8(png.width * channels, png.height, channels * 5 + first);
            for (int y = 0; y < png.height; ++y) {
                png.filters.push_back((first + y) % 5);
                for (int i = 0; i < png.width * channels; ++i)
                    png.samples.push_back(pattern.At(i, y, i % 3) & 0x83); // few values: Paeth's ties
            }
            std::vector<std::pair<std::string, std::vector<uint8_t>>> extra = {
                {"gAMA", {0, 0, 0x3D, 0x09}}, {"tEXt", {'k', 0, 'v'}}};
            if (channels == 3)
                extra.push_back({"tRNS", {0, png.samples[0], 0, png.samples[1], 0, png.samples[2]}});
            const std::vector<uint8_t> bytes = PngFile(png, FilteredData(png), 9, extra);
            auto image = MakeImage(png.width, png.height);
            ASSERT_TRUE(PlainDecoded(bytes, *image));
            EXPECT_TRUE(HasSamples(*image, png));

            const auto file = dir / ("p" + std::to_string(channels) + std::to_string(first) + ".png");
            WriteBytesFile(file, bytes);
            QImage qt(QString::fromStdString(file.string()));
            ASSERT_FALSE(qt.isNull());
            qt = qt.convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < png.height; ++y)
                for (int x = 0; x < png.width; ++x) {
                    const QRgb q = qt.pixel(x, y);
                    ASSERT_EQ(GetPixel(*image, x, y), (Argb{0xFF, uint8_t(qRed(q)), uint8_t(qGreen(q)), uint8_t(qBlue(q))}))
                        << x << ", " << y;
                }
        }
}

TEST(PictureDecoder, PngsTheOwnReaderFindsFaultWithAreLeftToQt)
{
    ScratchFolder dir;
    PngPicture png{9, 5, 3, {}, {1, 2, 3, 4, 0}};
    for (int i = 0; i < 9 * 5 * 3; ++i)
        png.samples.push_back(static_cast<uint8_t>(i * 37 + 11));
    const std::vector<uint8_t> data = FilteredData(png);
    const std::vector<uint8_t> good = PngFile(png, data, 16);
    auto image = MakeImage(9, 5);
    ASSERT_TRUE(PlainDecoded(good, *image));

    // A suggested palette (a critical chunk the own reader does not take):
    // Qt reads the file from its start and gives the same pixels.
    const auto palette = dir / "palette.png";
    const std::vector<uint8_t> paletteBytes = PngFile(png, data, 16, {{"PLTE", {1, 2, 3}}});
    WriteBytesFile(palette, paletteBytes);
    bool asked = true;
    EXPECT_FALSE(PlainDecoded(paletteBytes, *image, &asked));
    std::unique_ptr<GWorldWrapper> decoded;
    ASSERT_EQ(DecodePicture(palette, &decoded), MediaStatus::ok);
    EXPECT_TRUE(HasSamples(*decoded, png));

    // Faults: a data byte changed under its CRC, a fifth filter type, data
    // that makes one row too few, no end chunk, and a header claiming
    // 30000 x 30000 pixels over a few bytes of data. None is taken (the
    // other decoders then give their verdict), and the image is asked for
    // only once the data has made the whole picture.
    std::vector<uint8_t> badCrc = good;
    badCrc[good.size() - 12 - 16 - 2] ^= 0x01; // within the last IDAT's data
    PngPicture badFilter = png;
    badFilter.filters[2] = 5;
    PngPicture shortData = png;
    shortData.height = 4;
    PngPicture huge = png;
    huge.samples.resize(9 * 3);
    huge.height = 1;
    std::vector<uint8_t> hugeFile = PngFile(huge, FilteredData(huge), 64);
    hugeFile[16 + 2] = 0x75; // width 30000 (0x7530)
    hugeFile[16 + 3] = 0x30;
    hugeFile[20 + 2] = 0x75;
    hugeFile[20 + 3] = 0x30;
    // The header's CRC made right again, so that only the size is wrong.
    const uint32_t headerCrc = static_cast<uint32_t>(crc32(0, hugeFile.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        hugeFile[29 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(headerCrc >> (24 - 8 * i));
    std::vector<uint8_t> noEnd = good;
    noEnd.resize(good.size() - 12);
    std::vector<uint8_t> shortFile = PngFile(png, FilteredData(shortData), 16);
    struct Fault {
        const char* name;
        std::vector<uint8_t> bytes;
        bool inflates;
    };
    const Fault faults[] = {{"crc", badCrc, false},
                            {"filter", PngFile(png, FilteredData(badFilter), 16), true},
                            {"short", shortFile, false},
                            {"no-end", noEnd, false},
                            {"huge", hugeFile, false}};
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        PlainPngHeader header;
        ASSERT_TRUE(ReadPlainPngHeader(fault.bytes.data(), fault.bytes.size(), &header));
        EXPECT_FALSE(PlainDecoded(fault.bytes, *image, &asked));
        EXPECT_EQ(asked, fault.inflates);
    }
}

TEST(PictureDecoder, ProbeAndDecodeAgreeOnAGifsSize)
{
    // Logical screens larger than their files' first images can fill: a
    // one-pixel image on 11621 × 14081 (35 bytes); an 11621 × 1000 image at
    // row 28890 with no data on the same screen (26 bytes: Qt's size takes
    // the image's far edge, 29890, for the height, its decoder the screen's
    // 14081); and 2000 × 20000 over a 2000 × 2000 image with no data, whose
    // size Qt's size and decoder agree on. The probe refuses each as the
    // decode does, and the decode refuses each before Qt's decoder makes its
    // screen (with the little free memory said here, a decode that got as far
    // as allocating would fail for memory instead).
    const std::string files[] = {
        std::string("GIF89a\x65\x2d\x01\x37\x80\x00\x00\x00\x00\x00\xff\xff\xff"
                    "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b",
                    35),
        std::string("GIF89a\x65\x2d\x01\x37\x00\x00\x00"
                    "\x2c\x00\x00\xda\x70\x65\x2d\xe8\x03\x00\x02\x00\x3b",
                    26),
        std::string("GIF89a\xd0\x07\x20\x4e\x00\x00\x00"
                    "\x2c\x00\x00\x00\x00\xd0\x07\xd0\x07\x00\x02\x00\x3b",
                    26),
    };
    ScratchFolder dir;
    const auto file = dir / "screen.gif";
    SetFreeMemForTesting([] { return int64_t{64} << 20; });
    for (const std::string& gif : files) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << gif;
        Rect probed;
        std::unique_ptr<GWorldWrapper> image;
        EXPECT_EQ(ProbePicture(file, &probed), MediaStatus::damaged);
        EXPECT_EQ(DecodePicture(file, &image), MediaStatus::damaged);
    }
    SetFreeMemForTesting(nullptr);
}

TEST(PictureDecoder, ProbeRefusesWhatTheDecodeFindsCutShort)
{
    // A PNG of 16000 x 16000 RGBA whose data is 64 zeros deflated (69 bytes),
    // a 4091 x 32767 grey one alike, a 4091 x 32767 BMP of 16 bytes of rows,
    // and TIFFs of 4091 x 32767 grey with 1 KB of its strip as stored and of
    // 16000 x 16000 RGB with the same 64 zeros deflated or in PackBits: their
    // decoders would allocate the whole picture from the header (and the
    // import a clip of the probed size) before finding the data short.
    ScratchFolder dir;
    uLongf size = compressBound(64);
    std::vector<uint8_t> zeros(size), none(64, 0);
    ASSERT_EQ(compress2(zeros.data(), &size, none.data(), 64, 9), Z_OK);
    zeros.resize(size);
    std::vector<uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 0xFB, 0x0F, 0, 0,
                                0xFF, 0x7F, 0, 0, 1, 0, 24, 0};
    bmp.resize(70, 0);
    const std::pair<const char*, std::vector<uint8_t>> files[] = {
        {"rgba.png", PngFile(PngPicture{16000, 16000, 4, {}, {}}, zeros, 64)},
        {"grey.png", PngFile(PngPicture{4091, 32767, 1, {}, {}}, zeros, 64)},
        {"rows.bmp", bmp},
        {"stored.tif", TiffFile(4091, 32767, 1, 1, 4091 * 32767, std::vector<uint8_t>(1024, 0))},
        {"deflate.tif", TiffFile(16000, 16000, 3, 8, static_cast<uint32_t>(zeros.size()), zeros)},
        {"packbits.tif", TiffFile(16000, 16000, 3, 32773, 64, std::vector<uint8_t>(64, 0x81))},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        WriteBytesFile(dir / name, bytes);
        Rect frame;
        EXPECT_EQ(ProbePicture(dir / name, &frame), MediaStatus::damaged);
        auto target = MakeImage(64, 48);
        EXPECT_EQ(DecodePictureInto(dir / name, *target), MediaStatus::damaged);
    }
}

TEST(PictureDecoder, APictureOfAnotherSizeIsMadeOnlyOnceItHasDecoded)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory and quarantine are resident too";
#endif
    if (!ResetPeakResidentSet() || ProcessStatusBytes("VmRSS") < 0)
        GTEST_SKIP() << "no /proc peak reset here";
    // A 16000 x 16000 grey PNG with as much data as its rows need at
    // deflate's best ratio (248 KB), which does not inflate: decoded onto an
    // image of another size, its 1 GB picture must not be made first.
    ScratchFolder dir;
    std::vector<uint8_t> data = {0x78, 0x01, 0x07}; // a final block of a type deflate does not have
    data.resize(16000 * 16001 / 1032 + 4, 0x5A);
    WriteBytesFile(dir / "undecodable.png", PngFile(PngPicture{16000, 16000, 1, {}, {}}, data, data.size()));
    const int64_t before = ProcessStatusBytes("VmRSS");
    auto target = MakeImage(64, 48);
    EXPECT_EQ(DecodePictureInto(dir / "undecodable.png", *target, nullptr, WorkingRoom::setAside), MediaStatus::damaged);
    EXPECT_LT(ProcessStatusBytes("VmHWM") - before, int64_t{300} << 20);
}

TEST(PictureDecoder, WorkersDecodeAtOnce)
{
    ScratchFolder dir;
    const Rgb8Picture picture = Pattern8(45, 31, 23);
    const auto raw = dir / "p.raw";
    WriteRaw(raw, picture, false);
    std::vector<std::filesystem::path> files;
    for (const std::string name : {"png", "tiff", "sgi", "psd", "bmp"}) {
        files.push_back(dir / ("p." + name));
        MagickWrite(raw, 45, 31, 8, false, files.back());
    }
    files.push_back(dir / "p.tga");
    WriteTga(files.back(), picture, false, true, true);
    constexpr int kThreads = 8;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (const auto& file : files) {
                    auto image = MakeImage(45, 31);
                    if (DecodePictureInto(file, *image) != MediaStatus::ok || !HasPixels(*image, picture))
                        ++failures[t];
                }
        });
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
}
