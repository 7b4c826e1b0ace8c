// platform/core/ByteOrder.h: host byte order and byte swapping of 16- and 32-bit values.
#pragma once

#include <bit>
#include <cstdint>

// True when the host stores the most significant byte first. Workspace, raw and
// PICT files are written in host order, so files from the little-endian build
// open here unchanged.
constexpr bool BigEndianSystem()
{
    return std::endian::native == std::endian::big;
}

inline void FlipEndian(uint16_t& value)
{
    value = static_cast<uint16_t>((value >> 8) | (value << 8));
}

inline void FlipEndian(uint32_t& value)
{
    value = ((value & 0x000000FFu) << 24) | ((value & 0x0000FF00u) << 8) | ((value & 0x00FF0000u) >> 8) |
            ((value & 0xFF000000u) >> 24);
}
