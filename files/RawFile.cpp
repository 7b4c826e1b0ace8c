// files/RawFile.cpp: raw RGB files in either layout and byte order.
#include "files/RawFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/ByteOrder.h"
#include "platform/core/RegularFile.h"

namespace {

std::atomic<int> sFailReads{0};

bool TakeInjectedReadFailure()
{
    int n = sFailReads.load();
    while (n > 0) {
        if (sFailReads.compare_exchange_weak(n, n - 1))
            return true;
    }
    return false;
}

bool ReadAll(int fd, uint8_t* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t n = ::read(fd, bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    // The file must end here: one that grew since the length check is not
    // the file the user described.
    uint8_t extra;
    ssize_t n;
    do {
        n = ::read(fd, &extra, 1);
    } while (n < 0 && errno == EINTR);
    return n == 0;
}

// One sample of B bytes at p, in the file's order, as an unsigned value.
template <int B> uint32_t LoadSample(const uint8_t* p, bool swap)
{
    if constexpr (B == 1) {
        (void)swap;
        return *p;
    } else if constexpr (B == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        if (swap)
            FlipEndian(v);
        return v;
    } else {
        uint32_t v;
        std::memcpy(&v, p, 4);
        if (swap)
            FlipEndian(v);
        return v;
    }
}

template <int B> void Decode(const uint8_t* bytes, std::size_t n, bool swap, bool interleaved, int32_t* const planes[3])
{
    if (interleaved) {
        for (std::size_t i = 0; i < n; ++i) {
            const uint8_t* p = bytes + i * 3 * B;
            for (int c = 0; c < 3; ++c)
                planes[c][i] = static_cast<int32_t>(LoadSample<B>(p + c * B, swap));
        }
    } else {
        for (int c = 0; c < 3; ++c) {
            const uint8_t* p = bytes + static_cast<std::size_t>(c) * n * B;
            for (std::size_t i = 0; i < n; ++i)
                planes[c][i] = static_cast<int32_t>(LoadSample<B>(p + i * B, swap));
        }
    }
}

// The value a plane entry is written as.
template <int B> void StoreSample(uint8_t* p, uint32_t v)
{
    if constexpr (B == 2) {
        const uint16_t s = static_cast<uint16_t>(v);
        std::memcpy(p, &s, 2);
    } else {
        std::memcpy(p, &v, 4);
    }
}

template <int B, typename Convert>
void Encode(const int32_t* const planes[3], std::size_t n, bool interleaved, Convert convert, uint8_t* out)
{
    for (int c = 0; c < 3; ++c) {
        const int32_t* plane = planes[c];
        if (interleaved) {
            for (std::size_t i = 0; i < n; ++i)
                StoreSample<B>(out + (i * 3 + c) * B, convert(plane[i]));
        } else {
            uint8_t* dst = out + static_cast<std::size_t>(c) * n * B;
            for (std::size_t i = 0; i < n; ++i)
                StoreSample<B>(dst + i * B, convert(plane[i]));
        }
    }
}

uint32_t Clamp16(int64_t v)
{
    return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, 65535));
}

} // namespace

uint64_t RawFileLength(const RawImportParams& params)
{
    if (params.width < 1 || params.width > kMaxRawSide || params.height < 1 || params.height > kMaxRawSide)
        return 0;
    if (params.sampleBytes != 1 && params.sampleBytes != 2 && params.sampleBytes != 4)
        return 0;
    return static_cast<uint64_t>(params.width) * static_cast<uint64_t>(params.height) * 3u *
           static_cast<uint64_t>(params.sampleBytes);
}

RawReadResult ReadRawFile(const std::filesystem::path& file, const RawImportParams& params, std::vector<uint8_t>& bytes)
{
    const FileDescriptor f(OpenRegularFileForReading(file.c_str()));
    if (f.Get() < 0)
        return RawReadResult::cannotOpen;
    struct stat info;
    if (::fstat(f.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return RawReadResult::cannotOpen;
    const uint64_t length = RawFileLength(params);
    if (length == 0 || static_cast<uint64_t>(info.st_size) != length)
        return RawReadResult::wrongSize;
    if (length > SIZE_MAX)
        return RawReadResult::outOfMemory;

    std::vector<uint8_t> buffer;
    try {
        buffer.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        return RawReadResult::outOfMemory;
    }
    if (TakeInjectedReadFailure() || !ReadAll(f.Get(), buffer.data(), buffer.size()))
        return RawReadResult::readFailed;
    bytes = std::move(buffer);
    return RawReadResult::ok;
}

bool DecodeRawSamples(const uint8_t* bytes, uint64_t count, const RawImportParams& params, int32_t* red, int32_t* green,
                      int32_t* blue)
{
    const uint64_t length = RawFileLength(params);
    if (length == 0 || count != length || !bytes || !red || !green || !blue)
        return false;
    const std::size_t n = static_cast<std::size_t>(params.width) * static_cast<std::size_t>(params.height);
    // Multi-byte samples are swapped when the file's order is not the host's.
    const bool swap = params.bigEndian != BigEndianSystem();
    int32_t* const planes[3] = {red, green, blue};
    switch (params.sampleBytes) {
    case 1:
        Decode<1>(bytes, n, swap, params.interleaved, planes);
        break;
    case 2:
        Decode<2>(bytes, n, swap, params.interleaved, planes);
        break;
    default:
        Decode<4>(bytes, n, swap, params.interleaved, planes);
        break;
    }
    return true;
}

int RawExportSampleBytes(int32_t maxValue, const RawExportParams& params)
{
    return (maxValue > 65535 && !params.project) ? 4 : 2;
}

std::vector<uint8_t> EncodeRawSamples(const int32_t* red, const int32_t* green, const int32_t* blue, int width,
                                      int height, int32_t maxValue, const RawExportParams& params)
{
    const std::size_t n = static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
    const int bytesPerSample = RawExportSampleBytes(maxValue, params);
    std::vector<uint8_t> out(n * 3 * static_cast<std::size_t>(bytesPerSample));
    if (n == 0)
        return out;
    const int32_t* const planes[3] = {red, green, blue};
    if (params.project) {
        if (maxValue <= 0)
            return out; // nothing to scale by: every sample stays 0
        // sample = trunc(v × (65535 / maxValue)); users rely on small stacks
        // being stretched to the full 16-bit range.
        const double scale = 65535.0 / maxValue;
        Encode<2>(
            planes, n, params.interleaved,
            [scale](int32_t v) { return Clamp16(static_cast<int64_t>(std::trunc(v * scale))); }, out.data());
    } else if (bytesPerSample == 2) {
        Encode<2>(
            planes, n, params.interleaved, [](int32_t v) { return Clamp16(v); }, out.data());
    } else {
        // The int32 bit pattern: reading the file back as 4-byte samples gives
        // the same values, negative ones included.
        Encode<4>(
            planes, n, params.interleaved, [](int32_t v) { return static_cast<uint32_t>(v); }, out.data());
    }
    return out;
}

void FailNextRawReadsForTesting(int n)
{
    sFailReads.store(n);
}
