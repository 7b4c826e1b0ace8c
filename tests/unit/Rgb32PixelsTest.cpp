// tests/unit/Rgb32PixelsTest.cpp: decoded 32-bit rows turned into the
// program's pixels and back, against a per-byte reference, for every length
// around the vector widths and in place.
#include "platform/core/Rgb32Pixels.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The reference: a word 0xAARRGGBB becomes bytes 0xFF, RR, GG, BB.
std::vector<uint8_t> Reference(const std::vector<uint32_t>& words)
{
    std::vector<uint8_t> bytes;
    for (uint32_t w : words)
        bytes.insert(bytes.end(), {0xFF, static_cast<uint8_t>(w >> 16), static_cast<uint8_t>(w >> 8),
                                   static_cast<uint8_t>(w)});
    return bytes;
}

TEST(Rgb32Pixels, EveryLengthMatchesTheReferenceCopiedAndInPlace)
{
    std::mt19937 random(7);
    for (int count = 0; count <= 37; ++count) {
        std::vector<uint32_t> words(static_cast<std::size_t>(count));
        for (uint32_t& w : words)
            w = random();
        const std::vector<uint8_t> want = Reference(words);
        // One byte off a word boundary, as a padded row may be.
        std::vector<uint8_t> out(want.size() + 1, 0);
        Rgb32ToPixels(reinterpret_cast<const uint8_t*>(words.data()), out.data() + 1, count);
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + 1, out.end()), want) << count;

        std::vector<uint8_t> row(reinterpret_cast<const uint8_t*>(words.data()),
                                 reinterpret_cast<const uint8_t*>(words.data()) + want.size());
        Rgb32ToPixels(row.data(), row.data(), count);
        EXPECT_EQ(row, want) << count << " in place";
    }
}

TEST(Rgb32Pixels, PixelsBackToWordsForEveryLength)
{
    std::mt19937 random(11);
    for (int count = 0; count <= 37; ++count) {
        std::vector<uint8_t> pixels(4 * static_cast<std::size_t>(count) + 1);
        for (uint8_t& b : pixels)
            b = static_cast<uint8_t>(random());
        std::vector<uint32_t> words(static_cast<std::size_t>(count));
        PixelsToRgb32(pixels.data() + 1, reinterpret_cast<uint8_t*>(words.data()), count);
        for (int i = 0; i < count; ++i) {
            const uint8_t* p = &pixels[4 * static_cast<std::size_t>(i) + 1];
            EXPECT_EQ(words[static_cast<std::size_t>(i)], 0xFF000000u | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3])
                << count << " at " << i;
        }
    }
}

} // namespace
