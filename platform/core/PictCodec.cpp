// platform/core/PictCodec.cpp: PICT version 2 encoding of 32-bit images and
// the reader of such pictures. The layout is the one QuickDraw's own
// recorder produces for a copy of a 32-bit offscreen image, so the files open
// in other programs (FFmpeg's qdraw decoder among them) and in older builds.
#include "platform/core/PictCodec.h"

#include <algorithm>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/core/GWorldWrapper.h"

namespace {

// Opcodes of the version 2 picture language that the writer emits or the
// reader skips.
constexpr uint16_t kOpNop = 0x0000;
constexpr uint16_t kOpClip = 0x0001;
constexpr uint16_t kOpRGBFgCol = 0x001A;
constexpr uint16_t kOpRGBBkCol = 0x001B;
constexpr uint16_t kOpDefHilite = 0x001E;
constexpr uint16_t kOpDirectBitsRect = 0x009A;
constexpr uint16_t kOpDirectBitsRgn = 0x009B;
constexpr uint16_t kOpShortComment = 0x00A0;
constexpr uint16_t kOpLongComment = 0x00A1;
constexpr uint16_t kOpEndPic = 0x00FF;
constexpr uint16_t kOpHeaderOp = 0x0C00;

constexpr uint32_t kResolution72 = 0x00480000; // 72 dpi, Fixed
constexpr uint16_t kModeDitherCopy = 64;
// Rows whose row length is below 8 bytes are stored unpacked; rows up to 250
// bytes long carry a one-byte count, longer ones a two-byte count.
constexpr int kMinPackedRowBytes = 8;
constexpr int kMaxByteCountRowBytes = 250;
// A picture frame may be larger than the drawn rectangle (the rest stays
// white), but not absurdly so: that would let a tiny file ask for gigabytes.
constexpr int64_t kMaxFrameToDrawnRatio = 16;

class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : mOut(out) {}
    void U8(unsigned v) { mOut.push_back(static_cast<uint8_t>(v)); }
    void U16(unsigned v)
    {
        U8(v >> 8);
        U8(v);
    }
    void U32(uint32_t v)
    {
        U16(v >> 16);
        U16(v & 0xFFFF);
    }
    void Rect4(int top, int left, int bottom, int right)
    {
        U16(static_cast<uint16_t>(top));
        U16(static_cast<uint16_t>(left));
        U16(static_cast<uint16_t>(bottom));
        U16(static_cast<uint16_t>(right));
    }

private:
    std::vector<uint8_t>& mOut;
};

class Reader {
public:
    Reader(const uint8_t* data, std::size_t size) : mData(data), mSize(size) {}
    std::size_t Left() const { return mSize - mPos; }
    std::size_t Pos() const { return mPos; }
    bool Skip(std::size_t n)
    {
        if (n > Left())
            return false;
        mPos += n;
        return true;
    }
    bool U8(unsigned& v)
    {
        if (Left() < 1)
            return false;
        v = mData[mPos++];
        return true;
    }
    bool U16(unsigned& v)
    {
        if (Left() < 2)
            return false;
        v = (static_cast<unsigned>(mData[mPos]) << 8) | mData[mPos + 1];
        mPos += 2;
        return true;
    }
    bool S16(int& v)
    {
        unsigned u;
        if (!U16(u))
            return false;
        v = static_cast<int16_t>(u);
        return true;
    }
    bool Rect4(Rect& r)
    {
        int t, l, b, rt;
        if (!S16(t) || !S16(l) || !S16(b) || !S16(rt))
            return false;
        r = MakeRect(t, l, b, rt);
        return true;
    }
    const uint8_t* Here() const { return mData + mPos; }

private:
    const uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
};

bool SameSize(const Rect& a, const Rect& b)
{
    return a.Width() == b.Width() && a.Height() == b.Height();
}

bool Inside(const Rect& inner, const Rect& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The pixel map of a DirectBitsRect or DirectBitsRgn, read up to its pixel data.
struct DirectBits {
    int rowBytes = 0;
    Rect bounds, srcRect, dstRect;
    int cmpCount = 0;
};

PictStatus ReadDirectBitsHeader(Reader& in, bool withRegion, DirectBits& bits)
{
    unsigned baseAddr1, baseAddr2, rowBytes, pmVersion, packType, packSize1, packSize2;
    unsigned res[4], pixelType, pixelSize, cmpCount, cmpSize, mode;
    if (!in.U16(baseAddr1) || !in.U16(baseAddr2) || !in.U16(rowBytes) || !in.Rect4(bits.bounds) || !in.U16(pmVersion) ||
        !in.U16(packType) || !in.U16(packSize1) || !in.U16(packSize2) || !in.U16(res[0]) || !in.U16(res[1]) ||
        !in.U16(res[2]) || !in.U16(res[3]) || !in.U16(pixelType) || !in.U16(pixelSize) || !in.U16(cmpCount) ||
        !in.U16(cmpSize) || !in.Skip(12) || !in.Rect4(bits.srcRect) || !in.Rect4(bits.dstRect) || !in.U16(mode))
        return PictStatus::damaged;
    if (withRegion) {
        unsigned regionSize;
        if (!in.U16(regionSize) || regionSize < 2 || !in.Skip(regionSize - 2))
            return PictStatus::damaged;
    }
    if (!(rowBytes & 0x8000) || pixelSize != 32 || cmpSize != 8 || (cmpCount != 3 && cmpCount != 4) ||
        (packType != 0 && packType != 4))
        return PictStatus::unsupported;
    bits.rowBytes = static_cast<int>(rowBytes & 0x3FFF);
    bits.cmpCount = static_cast<int>(cmpCount);
    const int width = bits.bounds.Width();
    if (bits.bounds.IsEmpty() || !SameSize(bits.bounds, bits.srcRect) || !SameSize(bits.bounds, bits.dstRect) ||
        bits.rowBytes < 4 * width)
        return PictStatus::damaged;
    return PictStatus::ok;
}

// The fewest bytes bits' rows can take in the file: an unpacked row is its
// row length; a packed row is its count and at best one two-byte run per 128
// bytes of its unpacked components.
std::size_t MinRowsBytes(const DirectBits& bits)
{
    const std::size_t width = static_cast<std::size_t>(bits.bounds.Width());
    const std::size_t height = static_cast<std::size_t>(bits.bounds.Height());
    if (bits.rowBytes < kMinPackedRowBytes)
        return height * static_cast<std::size_t>(bits.rowBytes);
    const std::size_t countBytes = bits.rowBytes > kMaxByteCountRowBytes ? 2 : 1;
    const std::size_t components = static_cast<std::size_t>(bits.cmpCount) * width;
    return height * (countBytes + 2 * ((components + 127) / 128));
}

// Decodes the rows of bits into image, whose top-left corner is frame's.
PictStatus ReadDirectBitsRows(Reader& in, const DirectBits& bits, const Rect& frame, GWorldWrapper& image)
{
    const int width = bits.bounds.Width(), height = bits.bounds.Height();
    const std::size_t rowSize = static_cast<std::size_t>(bits.cmpCount) * static_cast<std::size_t>(width);
    std::vector<uint8_t> row(std::max<std::size_t>(rowSize, static_cast<std::size_t>(bits.rowBytes)));
    // First component plane in the unpacked row: alpha comes first when present.
    const std::size_t skipPlanes = bits.cmpCount == 4 ? 1 : 0;
    const int xOffset = bits.dstRect.left - frame.left, yOffset = bits.dstRect.top - frame.top;
    for (int y = 0; y < height; ++y) {
        uint8_t* to = image.PixelRow(y + yOffset) + static_cast<std::ptrdiff_t>(xOffset) * 4;
        if (bits.rowBytes < kMinPackedRowBytes) {
            // Unpacked: the pixel map's own chunky pixels, 4 bytes each.
            if (in.Left() < static_cast<std::size_t>(bits.rowBytes))
                return PictStatus::damaged;
            const uint8_t* from = in.Here();
            for (int x = 0; x < width; ++x) {
                to[4 * x] = 0xFF;
                to[4 * x + 1] = from[4 * x + 1];
                to[4 * x + 2] = from[4 * x + 2];
                to[4 * x + 3] = from[4 * x + 3];
            }
            in.Skip(static_cast<std::size_t>(bits.rowBytes));
            continue;
        }
        unsigned count;
        const bool ok = bits.rowBytes > kMaxByteCountRowBytes ? in.U16(count) : in.U8(count);
        if (!ok || count > in.Left() || !UnpackBits(in.Here(), count, row.data(), rowSize))
            return PictStatus::damaged;
        in.Skip(count);
        const uint8_t* red = row.data() + skipPlanes * static_cast<std::size_t>(width);
        const uint8_t* green = red + width;
        const uint8_t* blue = green + width;
        for (int x = 0; x < width; ++x) {
            to[4 * x] = 0xFF;
            to[4 * x + 1] = red[x];
            to[4 * x + 2] = green[x];
            to[4 * x + 3] = blue[x];
        }
    }
    return PictStatus::ok;
}

} // namespace

namespace {

// The first position p in [from, limit) (limit <= n) where three equal bytes
// start (p + 2 < n); limit when there is none. Sixteen positions a compare
// where SSE2 is there, with the same answer as the byte-by-byte search.
std::size_t FindThreeEqual(const uint8_t* src, std::size_t n, std::size_t from, std::size_t limit)
{
    std::size_t p = from;
#if defined(__SSE2__)
    // The loads read src[p, p + 18): inside src while p + 18 <= n.
    while (p + 16 <= limit && p + 18 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + p + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + p + 2));
        const unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, b), _mm_cmpeq_epi8(a, c))));
        if (mask != 0)
            return p + static_cast<std::size_t>(__builtin_ctz(mask));
        p += 16;
    }
#endif
    for (; p < limit; ++p)
        if (p + 2 < n && src[p] == src[p + 1] && src[p] == src[p + 2])
            return p;
    return limit;
}

} // namespace

void PackBits(const uint8_t* src, std::size_t n, std::vector<uint8_t>& out)
{
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < 128 && src[i + run] == src[i])
            ++run;
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(257 - run)); // 1 - run as a signed byte
            out.push_back(src[i]);
            i += run;
            continue;
        }
        // Literal bytes up to the next run of three or the 128-byte limit.
        const std::size_t end = FindThreeEqual(src, n, i, std::min(n, i + 128));
        out.push_back(static_cast<uint8_t>(end - i - 1));
        out.insert(out.end(), src + i, src + end);
        i = end;
    }
}

namespace {

// UnpackBits, or with kWrite false the same walk over the headers alone,
// which writes nothing.
template <bool kWrite> bool Unpack(const uint8_t* src, std::size_t n, uint8_t* dst, std::size_t expected)
{
    std::size_t in = 0, outPos = 0;
    while (in < n) {
        const int header = static_cast<int8_t>(src[in++]);
        if (header == -128)
            continue;
        if (header >= 0) {
            const std::size_t length = static_cast<std::size_t>(header) + 1;
            if (length > n - in || length > expected - outPos)
                return false;
            if constexpr (kWrite)
                std::memcpy(dst + outPos, src + in, length);
            in += length;
            outPos += length;
        } else {
            const std::size_t length = static_cast<std::size_t>(1 - header);
            if (in >= n || length > expected - outPos)
                return false;
            if constexpr (kWrite)
                std::memset(dst + outPos, src[in], length);
            ++in;
            outPos += length;
        }
    }
    return outPos == expected;
}

// True when every row of bits lies in the bytes in has left as
// ReadDirectBitsRows reads them: a count within those bytes whose PackBits
// come to exactly one row. Only counts and headers are read.
bool RowsArePresent(Reader in, const DirectBits& bits)
{
    const int height = bits.bounds.Height();
    if (bits.rowBytes < kMinPackedRowBytes)
        return in.Skip(static_cast<std::size_t>(height) * static_cast<std::size_t>(bits.rowBytes));
    const std::size_t rowSize = static_cast<std::size_t>(bits.cmpCount) * static_cast<std::size_t>(bits.bounds.Width());
    for (int y = 0; y < height; ++y) {
        unsigned count;
        const bool ok = bits.rowBytes > kMaxByteCountRowBytes ? in.U16(count) : in.U8(count);
        if (!ok || count > in.Left() || !Unpack<false>(in.Here(), count, nullptr, rowSize))
            return false;
        in.Skip(count);
    }
    return true;
}

} // namespace

bool UnpackBits(const uint8_t* src, std::size_t n, uint8_t* dst, std::size_t expected)
{
    return Unpack<true>(src, n, dst, expected);
}

PictStatus EncodePict(const GWorldWrapper& image, std::vector<uint8_t>& out)
{
    const int w = image.Width(), h = image.Height();
    if (w <= 0 || w > kMaxPictWidth || h <= 0)
        return PictStatus::tooWide;
    const std::size_t start = out.size();
    const int rowBytes = 4 * w;
    // Typical rows pack to about their raw size; reserve that much once.
    out.reserve(start + 130 + static_cast<std::size_t>(h) * (static_cast<std::size_t>(3 * w) + 4));
    Writer put(out);
    put.U16(0); // picSize, filled in at the end
    put.Rect4(0, 0, h, w);
    put.U16(0x0011);
    put.U16(0x02FF);
    put.U16(kOpHeaderOp);
    put.U16(0xFFFE);
    put.U16(0);
    put.U32(kResolution72);
    put.U32(kResolution72);
    put.Rect4(0, 0, h, w);
    put.U32(0);
    put.U16(kOpDefHilite);
    put.U16(kOpClip);
    put.U16(10);
    put.Rect4(0, 0, h, w);
    put.U16(kOpDirectBitsRect);
    put.U32(0x000000FF);
    put.U16(0x8000 | static_cast<unsigned>(rowBytes));
    put.Rect4(0, 0, h, w);
    put.U16(0); // pmVersion
    put.U16(4); // packType: PackBits per component
    put.U32(0); // packSize
    put.U32(kResolution72);
    put.U32(kResolution72);
    put.U16(16); // pixelType: direct
    put.U16(32); // pixelSize
    put.U16(3);  // cmpCount
    put.U16(8);  // cmpSize
    put.U32(0);  // planeBytes
    put.U32(0);  // pmTable
    put.U32(0);  // pmReserved
    put.Rect4(0, 0, h, w);
    put.Rect4(0, 0, h, w);
    put.U16(kModeDitherCopy);

    std::vector<uint8_t> planes(static_cast<std::size_t>(3 * w));
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = image.PixelRow(y);
        if (rowBytes < kMinPackedRowBytes) {
            put.U8(0);
            put.U8(p[1]);
            put.U8(p[2]);
            put.U8(p[3]);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            planes[x] = p[4 * x + 1];
            planes[w + x] = p[4 * x + 2];
            planes[2 * w + x] = p[4 * x + 3];
        }
        const std::size_t countAt = out.size();
        const bool wordCount = rowBytes > kMaxByteCountRowBytes;
        out.resize(countAt + (wordCount ? 2 : 1));
        PackBits(planes.data(), planes.size(), out);
        const std::size_t count = out.size() - countAt - (wordCount ? 2 : 1);
        if (wordCount) {
            out[countAt] = static_cast<uint8_t>(count >> 8);
            out[countAt + 1] = static_cast<uint8_t>(count);
        } else {
            out[countAt] = static_cast<uint8_t>(count);
        }
    }
    if ((out.size() - start) % 2 != 0)
        put.U8(0);
    put.U16(kOpEndPic);
    const std::size_t length = out.size() - start;
    out[start] = static_cast<uint8_t>((length >> 8) & 0xFF);
    out[start + 1] = static_cast<uint8_t>(length & 0xFF);
    return PictStatus::ok;
}

namespace {

// DecodePict, or with image null its probe: the picture's first size bytes,
// `missing` more after them, read up to its pixel map.
PictStatus ReadPicture(const uint8_t* data, std::size_t size, std::size_t missing,
                       std::unique_ptr<GWorldWrapper>* image, Rect* frame)
{
    // An image of the caller's to decode into, when it has the frame's size.
    std::unique_ptr<GWorldWrapper> reusable = image ? std::move(*image) : nullptr;
    Reader in(data, size);
    Rect picFrame;
    unsigned picSize, versionOp, version;
    if (!in.U16(picSize) || !in.Rect4(picFrame))
        return PictStatus::damaged;
    if (!in.U16(versionOp) || !in.U16(version))
        return PictStatus::damaged;
    if (versionOp != 0x0011 || version != 0x02FF)
        return PictStatus::unsupported; // version 1 and other dialects
    if (picFrame.IsEmpty())
        return PictStatus::damaged;

    std::unique_ptr<GWorldWrapper> result;
    for (;;) {
        // Version 2 opcodes start at even offsets from the picture's start.
        if (in.Pos() % 2 != 0 && !in.Skip(1))
            return PictStatus::damaged;
        unsigned op;
        if (!in.U16(op))
            return PictStatus::damaged;
        bool ok = true;
        switch (op) {
        case kOpNop:
        case kOpDefHilite:
            break;
        case kOpClip: {
            unsigned regionSize;
            ok = in.U16(regionSize) && regionSize >= 2 && in.Skip(regionSize - 2);
            break;
        }
        case kOpRGBFgCol:
        case kOpRGBBkCol:
            ok = in.Skip(6);
            break;
        case kOpShortComment:
            ok = in.Skip(2);
            break;
        case kOpLongComment: {
            unsigned kind, length;
            ok = in.U16(kind) && in.U16(length) && in.Skip(length);
            break;
        }
        case kOpHeaderOp:
            ok = in.Skip(24);
            break;
        case kOpDirectBitsRect:
        case kOpDirectBitsRgn: {
            if (result)
                return PictStatus::unsupported; // only pictures of one image are ours
            DirectBits bits;
            const PictStatus status = ReadDirectBitsHeader(in, op == kOpDirectBitsRgn, bits);
            if (status != PictStatus::ok)
                return status;
            if (!Inside(bits.dstRect, picFrame))
                return PictStatus::unsupported;
            const int64_t drawn = static_cast<int64_t>(bits.dstRect.Width()) * bits.dstRect.Height();
            const int64_t whole = static_cast<int64_t>(picFrame.Width()) * picFrame.Height();
            // The file must hold every row at its smallest before the frame
            // is allocated and erased.
            if (MinRowsBytes(bits) > in.Left() + missing || whole > drawn * kMaxFrameToDrawnRatio)
                return PictStatus::damaged;
            // A frame larger than the drawn rect takes up to sixteen times
            // the memory its rows' bytes vouch for: the rows are walked
            // first, and it is made only when they are all there.
            if (drawn != whole && !RowsArePresent(in, bits))
                return PictStatus::damaged;
            if (!image) {
                if (frame)
                    *frame = picFrame;
                return PictStatus::ok;
            }
            if (reusable && reusable->GetDepth() == 32 && reusable->Width() == picFrame.Width() &&
                reusable->Height() == picFrame.Height()) {
                // Every pixel of a picture drawn over its whole frame is written below.
                result = std::move(reusable);
                if (drawn != whole)
                    result->EraseGWorldRect();
            } else {
                reusable.reset();
                result = std::make_unique<GWorldWrapper>(32, MakeRect(0, 0, picFrame.Height(), picFrame.Width()), -1);
            }
            const PictStatus rows = ReadDirectBitsRows(in, bits, picFrame, *result);
            if (rows != PictStatus::ok)
                return rows;
            break;
        }
        case kOpEndPic:
            if (!result)
                return PictStatus::unsupported;
            if (frame)
                *frame = picFrame;
            *image = std::move(result);
            return PictStatus::ok;
        default:
            return PictStatus::unsupported;
        }
        if (!ok)
            return PictStatus::damaged;
    }
}

} // namespace

PictStatus DecodePict(const uint8_t* data, std::size_t size, std::unique_ptr<GWorldWrapper>* image, Rect* frame)
{
    return ReadPicture(data, size, 0, image, frame);
}

PictStatus ProbePict(const uint8_t* data, std::size_t size, std::size_t wholeSize, Rect* frame)
{
    return ReadPicture(data, size, wholeSize > size ? wholeSize - size : 0, nullptr, frame);
}
