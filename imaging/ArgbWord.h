// imaging/ArgbWord.h: a 32-bit pixel (bytes alpha, red, green, blue in
// memory) read or written as one word with alpha in the low byte and blue in
// the high byte, whatever the host's byte order.
#pragma once

#include <bit>
#include <cstdint>

// The same function turns a word read from memory into that order and back.
inline uint32_t ArgbWord(uint32_t word)
{
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap32(word);
    return word;
}
