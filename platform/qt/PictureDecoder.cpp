// platform/qt/PictureDecoder.cpp: the chain of picture decoders (the program's
// own reader, Qt, FFmpeg) and the drawing of a decoded picture onto an image.
#include "platform/qt/PictureDecoder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSize>

#include "platform/core/FreeMemory.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/core/PictCodec.h"
#include "platform/core/PictFile.h"
#include "platform/core/PlainPng.h"
#include "platform/core/RegularFile.h"
#include "platform/core/Rgb32Pixels.h"
#include "platform/qt/FfmpegVideo.h"
#include "platform/qt/PictureCodingLimits.h"

namespace {

// A rectangle edge is a signed 16-bit value.
constexpr int kMaxSide = 32767;
// Qt refuses larger images than this many megabytes; its default (256) would
// turn away ordinary 16-bit camera frames.
constexpr int kQtAllocationLimitMB = 4096;

bool SidesFit(int width, int height)
{
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide;
}

bool FileCanBeRead(const std::filesystem::path& file)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return false;
    std::ifstream stream(file, std::ios::binary);
    return stream.good();
}

// Up to count bytes of stream from at: fewer where the file ends sooner.
std::vector<uint8_t> ReadSpan(std::ifstream& stream, std::uintmax_t at, std::size_t count)
{
    std::vector<uint8_t> bytes(count);
    stream.clear();
    stream.seekg(static_cast<std::streamoff>(at));
    stream.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, stream.gcount())));
    return bytes;
}

// Where a decoder writes the picture: straight into the caller's image when
// the sizes agree, otherwise into a scratch image of the picture's own size
// that Finish stretches onto the caller's image or hands out.
class PictureTarget {
public:
    explicit PictureTarget(GWorldWrapper* dest) : mDest(dest) {}

    // An image of width x height for the decoder to fill. Throws std::bad_alloc.
    GWorldWrapper& ImageFor(int width, int height)
    {
        if (mDest && mDest->Width() == width && mDest->Height() == height) {
            mScratch.reset();
            return *mDest;
        }
        mScratch = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, height, width), -1);
        return *mScratch;
    }

    // The caller's image when it is width x height, else null: nothing is
    // allocated.
    GWorldWrapper* DestOf(int width, int height) const
    {
        return mDest && mDest->Width() == width && mDest->Height() == height ? mDest : nullptr;
    }

    // A picture a reader decoded into an image of its own.
    void Adopt(std::unique_ptr<GWorldWrapper> image) { mScratch = std::move(image); }

    void Finish(std::unique_ptr<GWorldWrapper>* out)
    {
        if (mDest && mScratch)
            mDest->CopyBitsFrom(*mScratch, mScratch->GetDim(), mDest->GetDim());
        if (out)
            *out = std::move(mScratch);
    }

private:
    GWorldWrapper* mDest;
    std::unique_ptr<GWorldWrapper> mScratch;
};

// The program's own PICT files ----------------------------------------------

// A PICT file: 512 header bytes, then the picture's size (2 bytes), its frame
// (top, left, bottom, right, signed 16-bit, big-endian as every PICT reader
// expects) and the version 2 opening 0x0011 0x02FF 0x0C00, all OwnPictFrame
// reads. Version 1 pictures (two signature bytes, too weak to tell from
// other data) are left to the other decoders.
constexpr std::size_t kPictFileHeaderBytes = 512;
constexpr std::size_t kOwnPictHeaderBytes = kPictFileHeaderBytes + 2 + 8 + 6;

// The frame of an own PICT from the first bytes of its file (fewer than the
// header's: not one).
MediaStatus OwnPictFrame(const QByteArray& head, Rect* frame)
{
    if (static_cast<std::size_t>(head.size()) < kOwnPictHeaderBytes)
        return MediaStatus::unreadable;
    const auto* b = reinterpret_cast<const uint8_t*>(head.constData());
    auto word = [b](std::size_t at) { return static_cast<uint16_t>((b[at] << 8) | b[at + 1]); };
    if (word(522) != 0x0011 || word(524) != 0x02FF || word(526) != 0x0C00)
        return MediaStatus::unreadable;
    auto edge = [&word](std::size_t at) { return static_cast<int16_t>(word(at)); };
    const Rect found{edge(514), edge(516), edge(518), edge(520)};
    if (!SidesFit(found.Width(), found.Height()))
        return MediaStatus::badSize;
    *frame = found;
    return MediaStatus::ok;
}

// The probe reads this much of a picture file first: the opcodes up to the
// pixel map, and the whole of a small file.
constexpr std::size_t kOwnPictProbeBytes = 64 << 10;

// The frame of an own PICT as its decode would find it before making its
// image: a picture the program's reader finds damaged there (a frame its
// rows cannot fill, for one) goes on to the other probes, as its decode goes
// on to the other decoders. Pictures of other kinds keep the frame stored.
MediaStatus ProbeOwnPict(const std::filesystem::path& file, Rect* frame)
{
    std::ifstream stream(file, std::ios::binary);
    std::error_code error;
    const std::uintmax_t length = std::filesystem::file_size(file, error);
    if (error || length < kOwnPictHeaderBytes)
        return MediaStatus::unreadable;
    std::vector<uint8_t> bytes =
        ReadSpan(stream, 0,
                 static_cast<std::size_t>(std::min<std::uintmax_t>(length, kPictFileHeaderBytes + kOwnPictProbeBytes)));
    Rect found;
    const MediaStatus opening = OwnPictFrame(
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())),
        &found);
    if (opening != MediaStatus::ok)
        return opening;
    const std::size_t picture = static_cast<std::size_t>(length) - kPictFileHeaderBytes;
    PictStatus status = ProbePict(bytes.data() + kPictFileHeaderBytes, bytes.size() - kPictFileHeaderBytes, picture);
    if (status == PictStatus::damaged && bytes.size() < length) {
        bytes = ReadSpan(stream, 0, static_cast<std::size_t>(length));
        if (bytes.size() != length)
            return MediaStatus::cannotOpen;
        status = ProbePict(bytes.data() + kPictFileHeaderBytes, picture, picture);
    }
    if (status == PictStatus::damaged)
        return MediaStatus::damaged;
    *frame = found;
    return MediaStatus::ok;
}

// Pictures of other programs are left to FFmpeg's PICT decoder.
MediaStatus DecodeOwnPict(const std::filesystem::path& file, PictureTarget& target, Rect* frame)
{
    std::unique_ptr<GWorldWrapper> image;
    Rect found;
    switch (ReadPictFile(file.string(), &image, &found)) {
    case PictFileStatus::ok:
        if (!image || !SidesFit(image->Width(), image->Height()))
            return MediaStatus::badSize;
        target.Adopt(std::move(image));
        *frame = found;
        return MediaStatus::ok;
    case PictFileStatus::damaged:
        return MediaStatus::damaged;
    case PictFileStatus::readFailed:
        return MediaStatus::cannotOpen;
    default:
        return MediaStatus::unreadable;
    }
}

// PNG --------------------------------------------------------------------

// A PNG file larger than its picture at 4 bytes a pixel (plus a megabyte of
// other chunks) is left to Qt's reader, which streams it: the file, its data
// joined and the inflated rows then take no more than three such pictures.
constexpr qint64 kMostPlainPngOtherBytes = qint64{1} << 20;
// A thread keeps the memory of a file up to this size for the next one.
constexpr std::size_t kKeptPlainPngFileBytes = std::size_t{16} << 20;

// The PNGs the program's own reader takes whole (PlainPng.h), read into
// memory this thread keeps for the next one; any other PNG, and any file
// that reader does not take, is left to Qt at the file's start, unreadable
// here. Throws std::bad_alloc as DecodeWithQt does.
MediaStatus DecodePlainPngFile(QFile& device, PictureTarget& target, Rect* frame, WorkingRoom room)
{
    const QByteArray head = device.peek(64);
    PlainPngHeader header;
    if (!ReadPlainPngHeader(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<std::size_t>(head.size()),
                            &header))
        return MediaStatus::unreadable;
    const qint64 pictureBytes = qint64{header.width} * header.height * 4;
    const qint64 fileBytes = device.size();
    if (fileBytes <= 0 || fileBytes > pictureBytes + kMostPlainPngOtherBytes)
        return MediaStatus::unreadable;
    if (room == WorkingRoom::readFreeMemory && pictureBytes * 3 > FreeMem())
        throw std::bad_alloc();
    thread_local std::vector<uint8_t> file;
    file.resize(static_cast<std::size_t>(fileBytes));
    bool taken = device.read(reinterpret_cast<char*>(file.data()), fileBytes) == fileBytes &&
                 DecodePlainPng(file.data(), file.size(),
                                [&]() -> GWorldWrapper& { return target.ImageFor(header.width, header.height); });
    if (file.capacity() > kKeptPlainPngFileBytes)
        std::vector<uint8_t>().swap(file);
    if (!taken) {
        if (!device.seek(0))
            return MediaStatus::cannotOpen;
        return MediaStatus::unreadable;
    }
    *frame = MakeRect(0, 0, header.height, header.width);
    return MediaStatus::ok;
}

// Qt ---------------------------------------------------------------------

QString QtFileName(const std::filesystem::path& file)
{
    // Linux names are bytes; Qt maps them as the rest of the system does.
    return QFile::decodeName(QByteArray(file.c_str()));
}

// Sets the reader up and tells whether Qt recognised the content as one of
// the formats taken from Qt. Others it may claim (its icon and cursor readers
// accept the start of a Targa file, for one) are left to FFmpeg.
bool SetUpReader(QImageReader& reader)
{
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    reader.setAllocationLimit(kQtAllocationLimitMB);
    if (!reader.canRead())
        return false;
    const QByteArray format = reader.format();
    for (const char* taken : {"png", "jpeg", "jpg", "gif", "bmp", "tiff", "tif", "tga", "webp"})
        if (format == taken)
            return true;
    return false;
}

// Formats with more than 8 bits a sample, taken through 16-bit RGBA so that
// round(v / 257) is computed here, not by Qt's own narrowing.
bool IsDeepFormat(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
    case QImage::Format_BGR30:
    case QImage::Format_A2BGR30_Premultiplied:
    case QImage::Format_RGB30:
    case QImage::Format_A2RGB30_Premultiplied:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

QImage Converted(const QImage& picture, QImage::Format format)
{
    if (picture.format() == format)
        return picture;
    QImage converted = picture.convertToFormat(format);
    if (converted.isNull())
        throw std::bad_alloc();
    return converted;
}

// Writes picture into image (same size): alpha 0xFF, red, green, blue.
// Alpha is dropped, colours are taken as stored (never premultiplied).
void CopyQImage(const QImage& picture, GWorldWrapper& image)
{
    const int width = picture.width(), height = picture.height();
    if (IsDeepFormat(picture.format())) {
        const QImage wide = Converted(picture, QImage::Format_RGBA64);
        for (int y = 0; y < height; ++y) {
            const QRgba64* s = reinterpret_cast<const QRgba64*>(wide.constScanLine(y));
            uint8_t* p = image.PixelRow(y);
            for (int x = 0; x < width; ++x, p += 4) {
                p[0] = 0xFF;
                p[1] = static_cast<uint8_t>((s[x].red() + 128u) / 257u);
                p[2] = static_cast<uint8_t>((s[x].green() + 128u) / 257u);
                p[3] = static_cast<uint8_t>((s[x].blue() + 128u) / 257u);
            }
        }
        return;
    }
    const QImage::Format format = picture.format() == QImage::Format_RGB32 ? QImage::Format_RGB32 : QImage::Format_ARGB32;
    const QImage argb = Converted(picture, format);
    for (int y = 0; y < height; ++y)
        Rgb32ToPixels(argb.constScanLine(y), image.PixelRow(y), width);
}

// A QImage of Qt's 32-bit RGB format over image's own pixels, for a reader to
// decode into, so the picture is written once and then reordered in place;
// a null QImage when the rows cannot be shared (Qt needs whole words a row).
QImage SharedRows(GWorldWrapper& image)
{
    const std::ptrdiff_t rowBytes = image.GetSrcRowBytes();
    if (!image.GetPixBaseAddr() || rowBytes % 4 != 0 || reinterpret_cast<std::uintptr_t>(image.GetPixBaseAddr()) % 4 != 0)
        return QImage();
    return QImage(image.GetPixBaseAddr(), image.Width(), image.Height(), static_cast<qsizetype>(rowBytes),
                  QImage::Format_RGB32);
}

// Qt's BMP, GIF, JPEG and Targa readers hand back a partial picture from a
// file that was cut short (the rest grey or black) and report success; such
// files are caught here, from the sizes their headers promise or the end
// marker every complete file carries.
uint32_t LittleEndian(const std::vector<uint8_t>& b, std::size_t at, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | b[at + static_cast<std::size_t>(i)];
    return value;
}

// Every 8 × 8 block of every component of a JPEG costs at least a bit of
// Huffman code, so no JPEG holds more than 512 pixels a byte; with room to
// spare, one claiming more than this over its file's length is cut short.
constexpr int64_t kMaxJpegPixelsPerFileByte = 1024;

// GIF: Qt's decoder allocates and clears its whole canvas when it meets the
// first image, before any of that image's data is read. The canvas is the
// logical screen (a side of zero takes the first image's far edge), while
// Qt's size believes a screen side only up to ten times the image's (and 200
// pixels), taking the image's far edge beyond that, so the two may differ.
// A canvas of more than kMaxGifPixelsPerDataByte pixels for each byte of its
// first image's data is not there to be read, whatever the screen says.

// The canvas Qt's GIF decoder would allocate for file and the bytes of its
// first image's data (up to the file's end); false when the file has no
// first image to find, which Qt then fails to read by itself.
bool ReadGifCanvas(const std::filesystem::path& file, QSize* canvas, int64_t* dataBytes)
{
    std::ifstream stream(file, std::ios::binary);
    uint8_t b[13];
    if (!stream.read(reinterpret_cast<char*>(b), sizeof b) ||
        (std::memcmp(b, "GIF87a", 6) != 0 && std::memcmp(b, "GIF89a", 6) != 0))
        return false;
    auto word = [](const uint8_t* at) { return at[0] | (at[1] << 8); };
    const int screenWidth = word(b + 6), screenHeight = word(b + 8);
    auto skipColours = [&stream](int flags) {
        if (flags & 0x80)
            stream.ignore(3 * (2 << (flags & 7)));
    };
    // Sub-blocks up to the empty one; the bytes they hold.
    auto blocks = [&stream]() {
        int64_t bytes = 0;
        for (int size = stream.get(); stream && size > 0; size = stream.get()) {
            stream.ignore(size);
            bytes += stream.gcount();
        }
        return bytes;
    };
    skipColours(b[10]);
    for (;;) {
        const int introducer = stream.get();
        if (introducer == 0x21) {
            stream.get(); // the extension's label
            blocks();
        } else if (introducer == 0x2C) {
            uint8_t d[9];
            if (!stream.read(reinterpret_cast<char*>(d), sizeof d))
                return false;
            skipColours(d[8]);
            stream.get(); // the LZW code size
            *dataBytes = stream ? blocks() : 0;
            const int left = word(d), top = word(d + 2), width = word(d + 4), height = word(d + 6);
            *canvas =
                QSize(screenWidth > 0 ? screenWidth : left + width, screenHeight > 0 ? screenHeight : top + height);
            return true;
        } else {
            return false;
        }
        if (!stream)
            return false;
    }
}

// True when Qt's decoder would allocate a canvas for file other than the
// size its reader declared, or one its first image's data cannot fill.
bool GifCanvasUnfounded(const std::filesystem::path& file, QSize declared)
{
    QSize canvas;
    int64_t dataBytes = 0;
    if (!ReadGifCanvas(file, &canvas, &dataBytes))
        return false;
    return canvas != declared || int64_t{canvas.width()} * canvas.height() > dataBytes * kMaxGifPixelsPerDataByte;
}

// PNG: Qt's reader allocates the whole picture from the header before it
// inflates any of the data. The data (the IDAT chunks, as far as the file
// goes) inflates to at most kMaxDeflatedBytesPerDataByte bytes a byte, and
// the rows need at least width x height x bits a pixel / 8 bytes of it,
// interlaced or not: a header asking for more than that is not there to be
// read. True for such a file; false when the header is not one to judge
// (Qt then fails on it by itself).
bool PngDataCannotFill(std::ifstream& stream, std::uintmax_t size)
{
    const std::vector<uint8_t> b = ReadSpan(stream, 0, 8 + 8 + 13);
    if (b.size() < 29 || std::memcmp(b.data() + 12, "IHDR", 4) != 0)
        return false;
    auto big = [](const uint8_t* p) {
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
    };
    const uint32_t width = big(b.data() + 16), height = big(b.data() + 20);
    const int depth = b[24];
    int channels;
    switch (b[25]) {
    case 0: case 3: channels = 1; break;
    case 4: channels = 2; break;
    case 2: channels = 3; break;
    case 6: channels = 4; break;
    default: return false;
    }
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || depth < 1 || depth > 16)
        return false;
    const int64_t needed = (int64_t{width} * height * depth * channels + 7) / 8;
    int64_t data = 0;
    for (std::uintmax_t at = 8; at + 8 <= size;) {
        uint8_t chunk[8];
        stream.clear();
        stream.seekg(static_cast<std::streamoff>(at));
        if (!stream.read(reinterpret_cast<char*>(chunk), sizeof chunk))
            break;
        const uint32_t length = big(chunk);
        if (std::memcmp(chunk + 4, "IDAT", 4) == 0)
            data += static_cast<int64_t>(std::min<std::uintmax_t>(length, size - at - 8));
        else if (std::memcmp(chunk + 4, "IEND", 4) == 0)
            break;
        if (needed <= data * kMaxDeflatedBytesPerDataByte)
            return false;
        at += std::uintmax_t{length} + 12;
    }
    return needed > data * kMaxDeflatedBytesPerDataByte;
}

// The first directory of a TIFF file, classic or big.
class TiffFirstDirectory {
public:
    // False when the file is no TIFF or its first directory cannot be read.
    bool Open(std::ifstream& stream, std::uintmax_t size)
    {
        const std::vector<uint8_t> head = ReadSpan(stream, 0, 16);
        if (head.size() < 8 || head[0] != head[1] || (head[0] != 'I' && head[0] != 'M'))
            return false;
        mLittle = head[0] == 'I';
        const uint64_t version = Get(head.data() + 2, 2);
        const bool big = version == 43;
        if (version != 42 && !(big && head.size() == 16 && Get(head.data() + 4, 2) == 8 && Get(head.data() + 6, 2) == 0))
            return false;
        // A directory entry: tag (2 bytes), type (2), count and value or
        // offset (4 bytes each, 8 in a big TIFF).
        const std::size_t countBytes = big ? 8 : 2;
        mWord = big ? 8 : 4;
        mEntryBytes = 4 + 2 * mWord;
        const uint64_t directory = Get(head.data() + 4 + (big ? 4 : 0), mWord);
        if (directory >= size)
            return false;
        const std::vector<uint8_t> countField = ReadSpan(stream, directory, countBytes);
        if (countField.size() < countBytes)
            return false;
        mEntries = Get(countField.data(), countBytes);
        if (mEntries == 0 || mEntries > 4096)
            return false;
        mTableAt = directory + countBytes;
        mTable = ReadSpan(stream, mTableAt, static_cast<std::size_t>(mEntries * mEntryBytes));
        if (mTable.size() < mEntries * mEntryBytes)
            return false;
        mStream = &stream;
        mSize = size;
        return true;
    }

    // The values of field tag, of an unsigned integer type: none when the
    // field is absent; false when it cannot be read.
    bool Values(uint16_t tag, std::vector<uint64_t>* values) const
    {
        constexpr uint64_t kMostValues = uint64_t{1} << 20;
        values->clear();
        for (std::size_t e = 0; e < mEntries; ++e) {
            const uint8_t* entry = mTable.data() + e * mEntryBytes;
            if (Get(entry, 2) != tag)
                continue;
            std::size_t bytes;
            switch (Get(entry + 2, 2)) {
            case 1: bytes = 1; break;  // BYTE
            case 3: bytes = 2; break;  // SHORT
            case 4: bytes = 4; break;  // LONG
            case 16: bytes = 8; break; // LONG8
            default: return false;
            }
            const uint64_t count = Get(entry + 4, mWord);
            if (count == 0 || count > kMostValues)
                return false;
            const uint8_t* field = entry + 4 + mWord;
            std::vector<uint8_t> stored(field, field + mWord);
            if (count * bytes > mWord) {
                const uint64_t at = Get(field, mWord);
                if (at >= mSize)
                    return false;
                stored = ReadSpan(*mStream, at, static_cast<std::size_t>(count * bytes));
                if (stored.size() < count * bytes)
                    return false;
            }
            values->resize(static_cast<std::size_t>(count));
            for (std::size_t i = 0; i < values->size(); ++i)
                (*values)[i] = Get(stored.data() + i * bytes, bytes);
            return true;
        }
        return true;
    }

    // Where the first value of field tag (of 2 bytes, a SHORT) is stored in
    // the file; false when the field is absent or of another type.
    bool FirstShortAt(uint16_t tag, uint64_t* at) const
    {
        for (std::size_t e = 0; e < mEntries; ++e) {
            const uint8_t* entry = mTable.data() + e * mEntryBytes;
            if (Get(entry, 2) != tag)
                continue;
            const uint64_t count = Get(entry + 4, mWord);
            if (Get(entry + 2, 2) != 3 || count == 0)
                return false;
            *at = count * 2 > mWord ? Get(entry + 4 + mWord, mWord) : mTableAt + e * mEntryBytes + 4 + mWord;
            return *at < mSize && mSize - *at >= 2;
        }
        return false;
    }

    // A field of one value (the first), fallback when it is absent.
    bool One(uint16_t tag, uint64_t fallback, uint64_t* value) const
    {
        std::vector<uint64_t> v;
        if (!Values(tag, &v))
            return false;
        *value = v.empty() ? fallback : v.front();
        return true;
    }

private:
    uint64_t Get(const uint8_t* p, std::size_t bytes) const
    {
        uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            value = (value << 8) | p[mLittle ? bytes - 1 - i : i];
        return value;
    }

    std::ifstream* mStream = nullptr;
    std::uintmax_t mSize = 0;
    bool mLittle = false;
    std::size_t mWord = 4, mEntryBytes = 12;
    uint64_t mEntries = 0, mTableAt = 0;
    std::vector<uint8_t> mTable;
};

// TIFF: Qt's reader makes the whole picture from the first directory's
// sizes, and libtiff a buffer of a whole strip, before either reads any of
// the data. The strips or tiles named there (each as far as the file goes)
// decode to at most their coding's best ratio of bytes
// (PictureCodingLimits.h), and the picture's samples need at least width x
// height x bits a pixel / 8 of them, in strips or tiles, in one plane or
// several: a directory asking for more than that is not there to be read.
// True for such a file, classic or big TIFF; false when the directory is not
// one to judge (a field missing, of another type or beyond the file; a
// coding of no known ratio), which libtiff then reads or fails on by itself.
int64_t TiffBytesPerDataByte(uint64_t compression)
{
    switch (compression) {
    case 1:
        return kMaxTiffUncompressedBytesPerDataByte;
    case 5:
        return kMaxLzwBytesPerDataByte;
    case 8:
    case 32946: // deflate's code before Adobe's
        return kMaxDeflatedBytesPerDataByte;
    case 32773:
        return kMaxTiffPackBitsBytesPerDataByte;
    default:
        return 0;
    }
}

bool TiffDataCannotFill(std::ifstream& stream, std::uintmax_t size)
{
    TiffFirstDirectory directory;
    if (!directory.Open(stream, size))
        return false;
    uint64_t width, height, compression, samples, photometric;
    if (!directory.One(256, 0, &width) || !directory.One(257, 0, &height) || !directory.One(259, 1, &compression) ||
        !directory.One(277, 1, &samples) || !directory.One(262, 0, &photometric))
        return false;
    const int64_t perByte = TiffBytesPerDataByte(compression);
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || samples < 1 || perByte == 0)
        return false;
    // Bits a sample (one for every sample, or one for all), 1 when absent:
    // the fewest counts. YCbCr pictures may store their colour at a fraction
    // of the pixels: only the luma is counted.
    std::vector<uint64_t> v;
    if (!directory.Values(258, &v))
        return false;
    const uint64_t bits = v.empty() ? 1 : *std::min_element(v.begin(), v.end());
    if (bits < 1 || bits > 64)
        return false;
    const uint64_t pixelBits = bits * (photometric == 6 ? 1 : std::min<uint64_t>(samples, 64));
    const uint64_t needed = width * height * pixelBits / 8;

    // Offsets and byte counts of strips or of tiles: libtiff keeps either in
    // one place, so a directory with both is not judged.
    std::vector<uint64_t> offsets, counts, tileOffsets, tileCounts;
    if (!directory.Values(273, &offsets) || !directory.Values(279, &counts) || !directory.Values(324, &tileOffsets) ||
        !directory.Values(325, &tileCounts))
        return false;
    if (offsets.empty() == tileOffsets.empty() || counts.empty() == tileCounts.empty())
        return false;
    if (offsets.empty())
        offsets.swap(tileOffsets);
    if (counts.empty())
        counts.swap(tileCounts);
    // libtiff takes a strip or tile the arrays do not reach for an empty one.
    uint64_t present = 0;
    for (std::size_t i = 0; i < std::min(offsets.size(), counts.size()); ++i) {
        if (offsets[i] < size)
            present += std::min<uint64_t>(counts[i], size - offsets[i]);
        if (needed <= present * static_cast<uint64_t>(perByte))
            return false;
    }
    return needed > present * static_cast<uint64_t>(perByte);
}

// TIFF samples and planes: Qt's reader reads an RGB picture of 16-bit or
// floating-point samples row by row straight into its picture, and of
// samples stored in separate planes (PlanarConfiguration 2) only the first
// plane's: the rest of every row keeps whatever the allocation held. An RGB
// file of separate planes and more than 8 bits a sample goes to FFmpeg,
// which reads integer planes exactly; its TIFF decoder reads floating-point
// samples as integers or not at all, so no decoder here takes a file of
// floating-point planes. Pictures of one sample, of 8 bits a sample or of
// another photometric interpretation (grey and alpha, for one) Qt reads
// through libtiff's RGBA interface, which reads every plane but no sample of
// more than 16 bits and none of floating point; FFmpeg refuses the first and
// reads the others as integers (grey of 16-bit floating point, for one), so
// no decoder here takes a picture of such samples other than Qt's RGB of 16
// or 32-bit floating point.
//
// TIFF tiles: FFmpeg's TIFF decoder reads the tiles of no file but a DNG and
// hands back a black picture for the rest, so a tiled TIFF is Qt's alone
// (forQtAlone: FFmpeg is not tried when Qt fails on it), and one Qt cannot
// read no decoder here takes (TiffTilesDefeatQt).
enum class TiffDecoder { forQt, forQtAlone, forFfmpeg, forNone };

// Qt's reader reads the tiles of 1-bit, 8-bit and 16-bit integer grey,
// 8-bit palette and 16-bit or 32-bit floating-point RGB pictures straight into
// its picture: it refuses tiles of a side that is not a multiple of 16 and
// tiles of separate planes of more than one sample. Any other picture it
// reads through libtiff's RGBA interface, which (libtiff 4.5, from a reader
// that does not map the file, as Qt's does not) refuses uncompressed tiles
// of a size that is not a multiple of 1024 bytes. Both refuse a tile larger
// than Qt's whole picture.
bool TiffTilesDefeatQt(const TiffFirstDirectory& directory, uint64_t planar, uint64_t samples, uint64_t photometric,
                       uint64_t bits, bool floating)
{
    uint64_t width, height, tileWidth, tileLength, compression;
    if (!directory.One(256, 0, &width) || !directory.One(257, 0, &height) || !directory.One(322, 0, &tileWidth) ||
        !directory.One(323, 0, &tileLength) || !directory.One(259, 1, &compression))
        return false;
    if (width > kMaxSide || height > kMaxSide || tileWidth < 1 || tileLength < 1 || tileWidth > kMaxSide ||
        tileLength > kMaxSide)
        return false;
    const bool grey = photometric == 0 || photometric == 1;
    const bool direct = (samples == 1 && ((grey && (bits == 1 || bits == 8)) || (photometric == 1 && bits == 16) ||
                                          (photometric == 3 && bits == 8))) ||
                        (photometric == 2 && (bits == 16 || (bits == 32 && floating)));
    const uint64_t tileBytes = (tileWidth * (planar == 2 ? 1 : samples) * bits + 7) / 8 * tileLength;
    const uint64_t pictureBits = direct ? (bits == 1 ? 1 : photometric != 2 ? bits : bits == 16 ? 64 : 128) : 32;
    if (tileBytes > (width * pictureBits + 31) / 32 * 4 * height)
        return true;
    if (direct)
        return tileWidth % 16 != 0 || tileLength % 16 != 0 || (planar == 2 && samples > 1);
    return compression == 1 && tileBytes % 1024 != 0;
}

TiffDecoder TiffDecoderOf(const QByteArray& format, const std::filesystem::path& file)
{
    if (format != "tiff" && format != "tif")
        return TiffDecoder::forQt;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error)
        return TiffDecoder::forQt;
    std::ifstream stream(file, std::ios::binary);
    TiffFirstDirectory directory;
    uint64_t planar, samples, photometric, bits;
    std::vector<uint64_t> sampleFormats;
    if (!directory.Open(stream, size) || !directory.One(284, 1, &planar) || !directory.One(277, 1, &samples) ||
        !directory.One(262, 0, &photometric) || !directory.One(258, 1, &bits) || !directory.Values(339, &sampleFormats))
        return TiffDecoder::forQt;
    const bool floating = std::find(sampleFormats.begin(), sampleFormats.end(), 3) != sampleFormats.end();
    if (floating ? photometric != 2 || (bits != 16 && bits != 32) : bits > 16)
        return TiffDecoder::forNone;
    std::vector<uint64_t> tileWidths, tileOffsets, dngVersion;
    if (!directory.Values(322, &tileWidths) || !directory.Values(324, &tileOffsets) ||
        !directory.Values(50706, &dngVersion))
        return TiffDecoder::forQt;
    if ((!tileWidths.empty() || !tileOffsets.empty()) && dngVersion.empty())
        return TiffTilesDefeatQt(directory, planar, samples, photometric, bits, floating) ? TiffDecoder::forNone
                                                                                           : TiffDecoder::forQtAlone;
    if (planar != 2 || samples < 2 || photometric != 2 || bits <= 8)
        return TiffDecoder::forQt;
    return floating ? TiffDecoder::forNone : TiffDecoder::forFfmpeg;
}

// TIFF alpha: libtiff's RGBA interface, through which Qt reads every picture
// with alpha but RGB of 16-bit or floating-point samples, multiplies the
// colours by an alpha marked unassociated (ExtraSamples 2), and leaves them
// as stored by one marked unspecified (0).
// Qt's reader is given such a file with the first directory's first extra
// sample read as unspecified, so that the colours come out as stored and the
// alpha is dropped as every other picture's is.
class UnspecifiedAlphaFile : public QIODevice {
public:
    UnspecifiedAlphaFile(QIODevice& file, uint64_t at) : mFile(file), mAt(static_cast<qint64>(at))
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return mFile.size(); }

protected:
    qint64 readData(char* data, qint64 count) override
    {
        if (!mFile.seek(pos()))
            return -1;
        const qint64 got = mFile.read(data, count);
        for (qint64 i = std::max(mAt, pos()); i < std::min(mAt + 2, pos() + got); ++i)
            data[i - pos()] = 0;
        return got;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QIODevice& mFile;
    qint64 mAt;
};

// The file as Qt's reader is to see it: null when it is not a TIFF whose
// first directory marks its first extra sample as unassociated alpha.
std::unique_ptr<UnspecifiedAlphaFile> AlphaAsUnspecified(const std::filesystem::path& file, QIODevice& device)
{
    const QByteArray head = device.peek(2);
    if (head != "II" && head != "MM")
        return nullptr;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error)
        return nullptr;
    std::ifstream stream(file, std::ios::binary);
    TiffFirstDirectory directory;
    uint64_t extra, at;
    if (!directory.Open(stream, size) || !directory.One(338, 0, &extra) || extra != 2 ||
        !directory.FirstShortAt(338, &at))
        return nullptr;
    return std::make_unique<UnspecifiedAlphaFile>(device, at);
}

bool CutShort(const QByteArray& format, const std::filesystem::path& file, QSize declared)
{
    // The other formats' readers report a file cut short themselves, so
    // their files are not opened a second time.
    if (format != "bmp" && format != "tga" && format != "gif" && format != "jpeg" && format != "jpg" &&
        format != "png" && format != "tiff" && format != "tif")
        return false;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error)
        return true;
    std::ifstream stream(file, std::ios::binary);
    if (format == "png")
        return PngDataCannotFill(stream, size);
    if (format == "tiff" || format == "tif")
        return TiffDataCannotFill(stream, size);
    if (format == "bmp") {
        // Uncompressed rows (BI_RGB, BI_BITFIELDS) must all be present.
        const std::vector<uint8_t> b = ReadSpan(stream, 0, 34);
        if (b.size() < 34)
            return true;
        const uint64_t offset = LittleEndian(b, 10, 4);
        const int64_t width = static_cast<int32_t>(LittleEndian(b, 18, 4));
        const int64_t height = static_cast<int32_t>(LittleEndian(b, 22, 4));
        const uint64_t bits = LittleEndian(b, 28, 2);
        const uint32_t compression = LittleEndian(b, 30, 4);
        if (LittleEndian(b, 14, 4) < 40 || (compression != 0 && compression != 3))
            return false;
        const uint64_t rowBytes = (static_cast<uint64_t>(std::abs(width)) * bits + 31) / 32 * 4;
        return size < offset + rowBytes * static_cast<uint64_t>(std::abs(height));
    }
    if (format == "tga") {
        // Uncompressed colour-mapped, true-colour and grey pictures.
        const std::vector<uint8_t> b = ReadSpan(stream, 0, 18);
        if (b.size() < 18)
            return true;
        if (b[2] != 1 && b[2] != 2 && b[2] != 3)
            return false;
        const uint64_t mapBytes = b[1] ? LittleEndian(b, 5, 2) * ((b[7] + 7u) / 8u) : 0;
        const uint64_t pixels = static_cast<uint64_t>(LittleEndian(b, 12, 2)) * LittleEndian(b, 14, 2);
        return size < 18 + b[0] + mapBytes + pixels * ((b[16] + 7u) / 8u);
    }
    if (format == "gif") {
        // The trailer byte 0x3B ends every complete file.
        const std::vector<uint8_t> last = ReadSpan(stream, size > 0 ? size - 1 : 0, 1);
        return last.empty() || last[0] != 0x3B || GifCanvasUnfounded(file, declared);
    }
    if (format == "jpeg" || format == "jpg") {
        // libjpeg makes up whatever rows the data does not reach, so a tiny
        // file could otherwise become a picture of any size.
        if (declared.isValid() &&
            int64_t{declared.width()} * declared.height() > static_cast<int64_t>(size) * kMaxJpegPixelsPerFileByte)
            return true;
        // The end-of-image marker FF D9 near the end (writers may append a
        // little after it).
        constexpr std::uintmax_t kTail = 65536;
        const std::uintmax_t from = size > kTail ? size - kTail : 0;
        const std::vector<uint8_t> tail = ReadSpan(stream, from, static_cast<std::size_t>(size - from));
        for (std::size_t i = tail.size(); i >= 2; --i)
            if (tail[i - 2] == 0xFF && tail[i - 1] == 0xD9)
                return false;
        return true;
    }
    return false;
}

// What the probe and the decode find of a file of Qt's format before Qt
// reads it: damaged when it is cut short, unreadable when it is a TIFF Qt is
// not to read (TiffDecoderOf), ok otherwise. *refused is set when no other
// decoder is to take the file either: cut short (FFmpeg would read the same
// part of it), read by no decoder, or a tiled TIFF, which is Qt's alone.
MediaStatus ScreenForQt(const QByteArray& format, const std::filesystem::path& file, QSize declared, bool* refused)
{
    *refused = CutShort(format, file, declared);
    if (*refused)
        return MediaStatus::damaged;
    const TiffDecoder decoder = TiffDecoderOf(format, file);
    *refused = decoder == TiffDecoder::forNone || decoder == TiffDecoder::forQtAlone;
    return decoder == TiffDecoder::forFfmpeg || decoder == TiffDecoder::forNone ? MediaStatus::unreadable
                                                                                 : MediaStatus::ok;
}

// *refused as ScreenForQt sets it, so that no other decoder sizes the file.
MediaStatus ProbeWithQt(const std::filesystem::path& file, Rect* frame, bool* refused)
{
    QImageReader reader(QtFileName(file));
    if (!SetUpReader(reader))
        return MediaStatus::unreadable;
    QSize size = reader.size();
    if (const MediaStatus screened = ScreenForQt(reader.format(), file, size, refused); screened != MediaStatus::ok)
        return screened;
    if (!size.isValid()) {
        // A format that cannot tell its size from the header alone.
        QImage picture;
        if (!reader.read(&picture) || picture.isNull())
            return MediaStatus::damaged;
        size = picture.size();
    }
    if (!SidesFit(size.width(), size.height()))
        return MediaStatus::badSize;
    *frame = MakeRect(0, 0, size.height(), size.width());
    return MediaStatus::ok;
}

// *refused as ScreenForQt sets it, so that no other decoder is tried.
MediaStatus DecodeWithQt(const std::filesystem::path& file, QIODevice& device, PictureTarget& target, Rect* frame,
                         bool* refused, WorkingRoom room)
{
    const std::unique_ptr<UnspecifiedAlphaFile> asStored = AlphaAsUnspecified(file, device);
    QImageReader reader(asStored ? asStored.get() : &device);
    if (!SetUpReader(reader))
        return MediaStatus::unreadable;
    const QSize declared = reader.size();
    if (const MediaStatus screened = ScreenForQt(reader.format(), file, declared, refused);
        screened != MediaStatus::ok)
        return screened;
    // The size the probe reports is the size decoded: a format that states
    // it in its header is held to it, and Qt may allocate no more than that
    // size needs (GIF's logical screen, for one, may claim far more).
    if (declared.isValid()) {
        if (!SidesFit(declared.width(), declared.height()))
            return MediaStatus::badSize;
        // Qt's picture, its conversion and the target image.
        const int64_t bytes = int64_t{declared.width()} * declared.height() * 4;
        if (room == WorkingRoom::readFreeMemory && bytes * 3 > FreeMem())
            throw std::bad_alloc();
        // Eight bytes a pixel covers the deepest format Qt reads into.
        reader.setAllocationLimit(static_cast<int>((bytes * 2 >> 20) + 1));
    }
    // A PNG of the declared size is decoded straight into the caller's image
    // of that size when Qt reads it in that format (8-bit RGB without
    // transparency): its PNG reader writes every pixel of a picture it was
    // given in the format and size it decodes, and makes a picture of its own
    // for any other, which is then copied. Other readers may draw onto what
    // they are given. An image of the picture's size is made only once the
    // picture has decoded: until then its data has not shown it is there.
    const bool sharable = declared.isValid() && reader.format() == "png";
    GWorldWrapper* shared = sharable ? target.DestOf(declared.width(), declared.height()) : nullptr;
    QImage picture = shared ? SharedRows(*shared) : QImage();
    const uchar* const sharedBits = picture.constBits();
    if (!reader.read(&picture) || picture.isNull())
        return MediaStatus::damaged;
    if (declared.isValid() && picture.size() != declared)
        return MediaStatus::damaged;
    if (!SidesFit(picture.width(), picture.height()))
        return MediaStatus::badSize;
    if (sharedBits && picture.constBits() == sharedBits) {
        // Qt writes into a picture it was given only in that picture's format.
        if (picture.format() != QImage::Format_RGB32)
            return MediaStatus::damaged;
        for (int y = 0; y < picture.height(); ++y)
            Rgb32ToPixels(shared->PixelRow(y), shared->PixelRow(y), picture.width());
    } else {
        CopyQImage(picture, shared ? *shared : target.ImageFor(picture.width(), picture.height()));
    }
    *frame = MakeRect(0, 0, picture.height(), picture.width());
    return MediaStatus::ok;
}

// FFmpeg -----------------------------------------------------------------

MediaStatus ProbeWithFfmpeg(const std::filesystem::path& file, Rect* frame)
{
    std::unique_ptr<FfmpegVideo> video;
    const MediaStatus status = FfmpegVideo::Open(file, FfmpegContainer::stillImage, video);
    if (status != MediaStatus::ok)
        return status == MediaStatus::noVideo || status == MediaStatus::cannotOpen ? MediaStatus::unreadable : status;
    *frame = MakeRect(0, 0, video->Height(), video->Width());
    return MediaStatus::ok;
}

MediaStatus DecodeWithFfmpeg(const std::filesystem::path& file, PictureTarget& target, Rect* frame)
{
    std::unique_ptr<FfmpegVideo> video;
    MediaStatus status = FfmpegVideo::Open(file, FfmpegContainer::stillImage, video);
    if (status != MediaStatus::ok)
        return status == MediaStatus::noVideo || status == MediaStatus::cannotOpen ? MediaStatus::unreadable : status;
    status = video->DecodeNextFrame(&target.ImageFor(video->Width(), video->Height()));
    if (status != MediaStatus::ok)
        return MediaStatus::damaged;
    *frame = MakeRect(0, 0, video->Height(), video->Width());
    return MediaStatus::ok;
}

// The chain ----------------------------------------------------------------

// The first failure that says more than "nobody takes it" is the one reported.
void Remember(MediaStatus status, MediaStatus& failure)
{
    if (failure == MediaStatus::unreadable && status != MediaStatus::ok)
        failure = status;
}

MediaStatus Decode(const std::filesystem::path& file, PictureTarget& target, Rect* frame, WorkingRoom room)
{
    // Opened once for the own-PICT test and Qt's readers, and only as a
    // regular file: opening a pipe could wait for a writer. Closed here
    // rather than by Qt, so that tools watching descriptors see it opened and
    // closed by the same code.
    const FileDescriptor fd(OpenRegularFileForReading(file.c_str()));
    if (fd.Get() < 0)
        return MediaStatus::cannotOpen;
    QFile device;
    if (!device.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return MediaStatus::cannotOpen;
    MediaStatus failure = MediaStatus::unreadable;
    Rect found;

    if (OwnPictFrame(device.peek(static_cast<qint64>(kOwnPictHeaderBytes)), &found) == MediaStatus::ok) {
        const MediaStatus status = DecodeOwnPict(file, target, &found);
        if (status == MediaStatus::ok) {
            if (frame)
                *frame = found;
            return status;
        }
        Remember(status, failure);
    }

    const MediaStatus plain = DecodePlainPngFile(device, target, &found, room);
    if (plain == MediaStatus::ok) {
        if (frame)
            *frame = found;
        return plain;
    }
    if (plain == MediaStatus::cannotOpen) // the file could not be read again from its start
        return plain;

    bool refused = false;
    MediaStatus status = DecodeWithQt(file, device, target, &found, &refused, room);
    if (status == MediaStatus::ok) {
        if (frame)
            *frame = found;
        return status;
    }
    if (refused)
        return status;
    Remember(status, failure);

    status = DecodeWithFfmpeg(file, target, &found);
    if (status == MediaStatus::ok) {
        if (frame)
            *frame = found;
        return status;
    }
    Remember(status, failure);
    return failure;
}

}  // namespace

MediaStatus ProbePicture(const std::filesystem::path& file, Rect* frame)
{
    if (!FileCanBeRead(file))
        return MediaStatus::cannotOpen;
    MediaStatus failure = MediaStatus::unreadable;
    Rect found;
    bool refused = false; // by Qt's probe for every decoder
    auto withQt = [&refused](const std::filesystem::path& f, Rect* r) { return ProbeWithQt(f, r, &refused); };
    const std::function<MediaStatus(const std::filesystem::path&, Rect*)> probes[] = {ProbeOwnPict, withQt,
                                                                                      ProbeWithFfmpeg};
    for (const auto& probe : probes) {
        const MediaStatus status = probe(file, &found);
        if (status == MediaStatus::ok) {
            *frame = found;
            return status;
        }
        if (refused)
            return status;
        Remember(status, failure);
    }
    return failure;
}

MediaStatus DecodePicture(const std::filesystem::path& file, std::unique_ptr<GWorldWrapper>* image, Rect* frame)
{
    PictureTarget target(nullptr);
    const MediaStatus status = Decode(file, target, frame, WorkingRoom::readFreeMemory);
    if (status == MediaStatus::ok)
        target.Finish(image);
    return status;
}

MediaStatus DecodePictureInto(const std::filesystem::path& file, GWorldWrapper& image, Rect* frame, WorkingRoom room)
{
    PictureTarget target(&image);
    const MediaStatus status = Decode(file, target, frame, room);
    if (status == MediaStatus::ok)
        target.Finish(nullptr);
    return status;
}
