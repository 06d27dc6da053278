// Little-endian fields of the picture file formats (BMP, icon, packed bitmaps).
#pragma once

#include <cstdint>

// The 16- and 32-bit little-endian values at p.
inline uint32_t U16(const uint8_t* p) {
    return p[0] | p[1] << 8;
}
inline uint32_t U32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}

// Stores v as a 16- or 32-bit little-endian value at p.
inline void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
