// files/CompressedFITS.cpp: see CompressedFITS.h.
#include "files/CompressedFITS.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr std::size_t kBlock = 2880;
constexpr std::size_t kCard = 80;
// A header longer than this is not an image header this program reads.
constexpr std::size_t kMaxHeaderBlocks = 64;
// Deflate's largest expansion is a little under 1032:1.
constexpr int64_t kMaxDeflateRatio = 1032;

struct GzCloser {
    void operator()(gzFile file) const { gzclose(file); }
};

bool ReadExactly(gzFile file, char* to, std::size_t n)
{
    return gzread(file, to, static_cast<unsigned>(n)) == static_cast<int>(n);
}

// The integer value of a header card with this keyword, if it has one.
bool CardInteger(const char* card, const char* keyword, long long* value)
{
    const std::size_t len = std::strlen(keyword);
    if (std::memcmp(card, keyword, len) != 0)
        return false;
    for (std::size_t i = len; i < 8; ++i)
        if (card[i] != ' ')
            return false;
    if (card[8] != '=' || card[9] != ' ')
        return false;
    const std::string text(card + 10, kCard - 10);
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str())
        return false;
    *value = v;
    return true;
}

} // namespace

CompressedFITSResult InflateFITSPrimary(int fd, int maxSide, int64_t extraBytesPerPixel, int64_t freeBytes,
                                        std::vector<char>& bytes)
{
    unsigned char magic[2] = {0, 0};
    if (::pread(fd, magic, 2, 0) != 2 || magic[0] != 0x1f || magic[1] != 0x8b)
        return CompressedFITSResult::notCompressed;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return CompressedFITSResult::failed;
    const int copy = ::dup(fd);
    if (copy < 0)
        return CompressedFITSResult::failed;
    std::unique_ptr<gzFile_s, GzCloser> file(gzdopen(copy, "rb"));
    if (!file) {
        ::close(copy);
        return CompressedFITSResult::failed;
    }
    if (gzseek(file.get(), 0, SEEK_SET) != 0)
        return CompressedFITSResult::failed;

    std::vector<char> header;
    long long bitpix = 0, naxis = -1, axis1 = 0, axis2 = 0;
    bool ended = false;
    for (std::size_t block = 0; block < kMaxHeaderBlocks && !ended; ++block) {
        header.resize(header.size() + kBlock);
        char* start = header.data() + header.size() - kBlock;
        if (!ReadExactly(file.get(), start, kBlock))
            return CompressedFITSResult::failed;
        for (std::size_t c = 0; c < kBlock && !ended; c += kCard) {
            const char* card = start + c;
            if (std::memcmp(card, "END     ", 8) == 0)
                ended = true;
            else if (!CardInteger(card, "BITPIX", &bitpix) && !CardInteger(card, "NAXIS", &naxis) &&
                     !CardInteger(card, "NAXIS1", &axis1))
                CardInteger(card, "NAXIS2", &axis2);
        }
    }
    if (!ended || naxis < 2 || axis1 < 1 || axis1 > maxSide || axis2 < 1 || axis2 > maxSide)
        return CompressedFITSResult::failed;
    if (bitpix != 8 && bitpix != 16 && bitpix != 32 && bitpix != 64 && bitpix != -32 && bitpix != -64)
        return CompressedFITSResult::failed;
    const int64_t pixels = static_cast<int64_t>(axis1) * axis2;
    const int64_t data = pixels * (bitpix < 0 ? -bitpix : bitpix) / 8;
    const int64_t padded = (data + kBlock - 1) / kBlock * kBlock;
    // A stream too short for the declared data fails before anything is
    // inflated or allocated for it.
    if (data + static_cast<int64_t>(header.size()) > static_cast<int64_t>(info.st_size) * kMaxDeflateRatio)
        return CompressedFITSResult::failed;
    if (padded + static_cast<int64_t>(header.size()) + pixels * extraBytesPerPixel > freeBytes)
        return CompressedFITSResult::outOfMemory;
    try {
        header.resize(header.size() + static_cast<std::size_t>(padded));
    } catch (const std::bad_alloc&) {
        return CompressedFITSResult::outOfMemory;
    }
    char* to = header.data() + header.size() - static_cast<std::size_t>(padded);
    // The last block's padding may be missing from a short writer's file.
    for (int64_t left = data; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<int64_t>(left, int64_t{1} << 30));
        if (!ReadExactly(file.get(), to, n))
            return CompressedFITSResult::failed;
        to += n;
        left -= static_cast<int64_t>(n);
    }
    std::memset(to, 0, static_cast<std::size_t>(padded - data));
    bytes = std::move(header);
    return CompressedFITSResult::ok;
}
