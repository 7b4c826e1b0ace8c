// platform/core/Rgb32Pixels.cpp: the word-to-bytes reordering of decoded
// rows, sixteen bytes at a time with a byte shuffle where the processor has
// one.
#include "platform/core/Rgb32Pixels.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELMORA_RGB32_SHUFFLE 1
#endif

namespace {

// Both directions reverse each pixel's four bytes (on little-endian hosts)
// and set the alpha byte, which sits at the other end of the word in each.
enum class Direction { toPixels, toWords };

template <Direction D>
uint32_t Reordered(uint32_t word)
{
    if constexpr (std::endian::native == std::endian::little)
        return __builtin_bswap32(word) | (D == Direction::toPixels ? 0x000000FFu : 0xFF000000u);
    else
        return word | 0xFF000000u; // bytes A R G B are the word 0xAARRGGBB either way
}

template <Direction D>
void ReorderScalar(const uint8_t* from, uint8_t* to, int count)
{
    for (int i = 0; i < count; ++i) {
        uint32_t word;
        std::memcpy(&word, from + 4 * i, 4);
        word = Reordered<D>(word);
        std::memcpy(to + 4 * i, &word, 4);
    }
}

#ifdef VELMORA_RGB32_SHUFFLE
// Each word's bytes reversed, then the alpha byte of each pixel set.
template <Direction D>
__attribute__((target("ssse3"))) int ReorderShuffle(const uint8_t* from, uint8_t* to, int count)
{
    const __m128i reverse = _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    const __m128i opaque = _mm_set1_epi32(D == Direction::toPixels ? 0xFF : static_cast<int>(0xFF000000u));
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * i),
                         _mm_or_si128(_mm_shuffle_epi8(words, reverse), opaque));
    }
    return i;
}

bool HasShuffle()
{
    static const bool has = __builtin_cpu_supports("ssse3") != 0;
    return has;
}
#endif

template <Direction D>
void Reorder(const uint8_t* from, uint8_t* to, int count)
{
    int done = 0;
#ifdef VELMORA_RGB32_SHUFFLE
    if constexpr (std::endian::native == std::endian::little)
        if (HasShuffle())
            done = ReorderShuffle<D>(from, to, count);
#endif
    ReorderScalar<D>(from + 4 * done, to + 4 * done, count - done);
}

} // namespace

void Rgb32ToPixels(const uint8_t* from, uint8_t* to, int count)
{
    Reorder<Direction::toPixels>(from, to, count);
}

void PixelsToRgb32(const uint8_t* from, uint8_t* to, int count)
{
    Reorder<Direction::toWords>(from, to, count);
}
