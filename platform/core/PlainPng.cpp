// platform/core/PlainPng.cpp: the chunks checked, the data inflated whole by
// libdeflate, the rows unfiltered and widened to the program's pixels.
#include "platform/core/PlainPng.h"

#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include <libdeflate.h>

#include "platform/core/GWorldWrapper.h"

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::size_t kHeaderChunkEnd = 8 + 8 + 13 + 4; // signature, IHDR's length, type, data and CRC
constexpr uint32_t kMaxSide = 32767;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;
// No deflate stream makes more than 1032 bytes of each byte it holds (a
// 258-byte match in two bits), so a header whose picture needs more than
// that from the file's data is refused before anything is allocated for it.
constexpr uint64_t kMostInflatedPerByte = 1032;
// A thread keeps its working memory for the next picture up to this size;
// larger pictures give theirs back at once.
constexpr std::size_t kKeptWorkingBytes = std::size_t{16} << 20;

uint32_t BigEndian32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

// Whether the chunk at p (length, type, data, CRC: all within the file) has
// the CRC of its type and data.
bool CrcMatches(const uint8_t* p, uint32_t length)
{
    return static_cast<uint32_t>(libdeflate_crc32(0, p + 4, std::size_t{length} + 4)) == BigEndian32(p + 8 + length);
}

// Bytes that need not be initialised, kept by a thread between pictures.
class Scratch {
public:
    uint8_t* Get(std::size_t bytes)
    {
        if (bytes > mCapacity) {
            mData.reset();
            mCapacity = 0;
            mData.reset(new uint8_t[bytes]); // throws std::bad_alloc
            mCapacity = bytes;
        }
        return mData.get();
    }
    void TrimTo(std::size_t most)
    {
        if (mCapacity > most) {
            mData.reset();
            mCapacity = 0;
        }
    }

private:
    std::unique_ptr<uint8_t[]> mData;
    std::size_t mCapacity = 0;
};

struct Working {
    Working() : inflater(libdeflate_alloc_decompressor()) {}
    ~Working() { libdeflate_free_decompressor(inflater); }
    Working(const Working&) = delete;
    Working& operator=(const Working&) = delete;

    libdeflate_decompressor* inflater;
    Scratch stream; // the compressed data of several IDAT chunks joined
    Scratch rows;   // the inflated rows, each a filter byte and its samples
    Scratch zeros;  // the row above the first
    std::vector<std::pair<std::size_t, uint32_t>> data; // each IDAT chunk's offset and length
};

uint8_t Paeth(int a, int b, int c)
{
    const int pa = b > c ? b - c : c - b;
    const int pb = a > c ? a - c : c - a;
    const int pc = a + b - 2 * c > 0 ? a + b - 2 * c : 2 * c - a - b;
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Undoes filter on row (n bytes, pixels of N bytes) given the row above,
// already unfiltered. False for a filter type PNG does not have.
template <int N>
bool Unfilter(uint8_t filter, uint8_t* row, const uint8_t* prior, std::size_t n)
{
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = N; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - N]);
        return true;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + prior[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < N; ++i)
            row[i] = static_cast<uint8_t>(row[i] + (prior[i] >> 1));
        for (std::size_t i = N; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + ((row[i - N] + prior[i]) >> 1));
        return true;
    case 4:
        for (std::size_t i = 0; i < N; ++i)
            row[i] = static_cast<uint8_t>(row[i] + prior[i]);
        for (std::size_t i = N; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - N], prior[i], prior[i - N]));
        return true;
    default:
        return false;
    }
}

// One unfiltered row of width pixels of N samples into the program's pixels
// (bytes 0xFF, red, green, blue).
template <int N>
void Widen(const uint8_t* row, uint8_t* to, int width)
{
    for (int x = 0; x < width; ++x, row += N, to += 4) {
        to[0] = 0xFF;
        if constexpr (N <= 2) {
            to[1] = to[2] = to[3] = row[0];
        } else {
            to[1] = row[0];
            to[2] = row[1];
            to[3] = row[2];
        }
    }
}

template <int N>
bool UnfilterAndWiden(uint8_t* rows, const uint8_t* zeros, int width, int height, GWorldWrapper& image)
{
    const std::size_t n = static_cast<std::size_t>(width) * N;
    const uint8_t* prior = zeros;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rows + static_cast<std::size_t>(y) * (n + 1);
        if (!Unfilter<N>(row[0], row + 1, prior, n))
            return false;
        Widen<N>(row + 1, image.PixelRow(y), width);
        prior = row + 1;
    }
    return true;
}

} // namespace

bool ReadPlainPngHeader(const uint8_t* bytes, std::size_t size, PlainPngHeader* header)
{
    if (size < kHeaderChunkEnd || std::memcmp(bytes, kSignature, sizeof kSignature) != 0)
        return false;
    const uint8_t* chunk = bytes + 8;
    if (BigEndian32(chunk) != 13 || std::memcmp(chunk + 4, "IHDR", 4) != 0 || !CrcMatches(chunk, 13))
        return false;
    const uint8_t* data = chunk + 8;
    const uint32_t width = BigEndian32(data), height = BigEndian32(data + 4);
    const uint8_t depth = data[8], colourType = data[9];
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || depth != 8)
        return false;
    if (data[10] != 0 || data[11] != 0 || data[12] != 0) // deflate, adaptive filters, not interlaced
        return false;
    int channels;
    switch (colourType) {
    case 0: channels = 1; break;
    case 4: channels = 2; break;
    case 2: channels = 3; break;
    case 6: channels = 4; break;
    default: return false; // palettes
    }
    header->width = static_cast<int>(width);
    header->height = static_cast<int>(height);
    header->channels = channels;
    return true;
}

bool DecodePlainPng(const uint8_t* bytes, std::size_t size, const std::function<GWorldWrapper&()>& imageFor)
{
    PlainPngHeader header;
    if (!ReadPlainPngHeader(bytes, size, &header))
        return false;
    thread_local Working working;
    if (!working.inflater)
        throw std::bad_alloc();

    // The chunks: every CRC checked, the IDAT chunks one unbroken run, the
    // end chunk present; ancillary chunks skipped.
    working.data.clear();
    uint64_t compressed = 0;
    bool dataEnded = false, ended = false;
    std::size_t at = kHeaderChunkEnd;
    while (!ended) {
        if (size - at < 12)
            return false;
        const uint8_t* chunk = bytes + at;
        const uint32_t length = BigEndian32(chunk);
        if (length > kMaxChunkLength || length > size - at - 12 || !CrcMatches(chunk, length))
            return false;
        const uint8_t* type = chunk + 4;
        if (std::memcmp(type, "IDAT", 4) == 0) {
            if (dataEnded)
                return false;
            working.data.emplace_back(at + 8, length);
            compressed += length;
        } else {
            dataEnded = !working.data.empty();
            if (std::memcmp(type, "IEND", 4) == 0)
                ended = true;
            else if ((type[0] & 0x20) == 0) // a critical chunk: IHDR again, PLTE or one unknown
                return false;
        }
        at += std::size_t{length} + 12;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(header.width) * static_cast<std::size_t>(header.channels);
    const std::size_t inflated = static_cast<std::size_t>(header.height) * (rowBytes + 1);
    if (working.data.empty() || inflated > compressed * kMostInflatedPerByte)
        return false;

    const uint8_t* stream = bytes + working.data.front().first;
    if (working.data.size() > 1) {
        uint8_t* joined = working.stream.Get(static_cast<std::size_t>(compressed));
        std::size_t joinedBytes = 0;
        for (const auto& [offset, length] : working.data) {
            std::memcpy(joined + joinedBytes, bytes + offset, length);
            joinedBytes += length;
        }
        stream = joined;
    }
    uint8_t* rows = working.rows.Get(inflated);
    // Without the count of bytes made, libdeflate succeeds only when the
    // data makes exactly the buffer's length.
    bool taken = libdeflate_zlib_decompress(working.inflater, stream, static_cast<std::size_t>(compressed), rows,
                                            inflated, nullptr) == LIBDEFLATE_SUCCESS;
    // The image is asked for only once the data has made the whole picture.
    GWorldWrapper* image = taken ? &imageFor() : nullptr;
    if (image && image->Width() == header.width && image->Height() == header.height) {
        uint8_t* zeros = working.zeros.Get(rowBytes);
        std::memset(zeros, 0, rowBytes);
        switch (header.channels) {
        case 1: taken = UnfilterAndWiden<1>(rows, zeros, header.width, header.height, *image); break;
        case 2: taken = UnfilterAndWiden<2>(rows, zeros, header.width, header.height, *image); break;
        case 3: taken = UnfilterAndWiden<3>(rows, zeros, header.width, header.height, *image); break;
        default: taken = UnfilterAndWiden<4>(rows, zeros, header.width, header.height, *image); break;
        }
    } else {
        taken = false;
    }
    working.stream.TrimTo(kKeptWorkingBytes);
    working.rows.TrimTo(kKeptWorkingBytes);
    working.zeros.TrimTo(kKeptWorkingBytes);
    return taken;
}
