// The raster's pixel formats: one pixel read and written whatever the depth, the colour values
// the drawing functions take, and the two raster operations. Shared by the raster's own files.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/raster.h"

namespace raster::pixel {

struct Bgr {
    uint8_t b, g, r;
};

inline Bgr FromColour(uint32_t colour) {
    return {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
            static_cast<uint8_t>(colour)};
}

inline uint16_t Pack565(uint8_t b, uint8_t g, uint8_t r) {
    return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

inline Bgr Unpack565(uint16_t v) {
    unsigned r5 = (v >> 11) & 31, g6 = (v >> 5) & 63, b5 = v & 31;
    return {static_cast<uint8_t>((b5 << 3) | (b5 >> 2)),
            static_cast<uint8_t>((g6 << 2) | (g6 >> 4)),
            static_cast<uint8_t>((r5 << 3) | (r5 >> 2))};
}

inline Bgr Load(const uint8_t* p, int bpp) {
    if (bpp == 16) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return Unpack565(v);
    }
    return {p[0], p[1], p[2]};
}

// Writes a colour; the fourth byte of a 32-bit pixel becomes 0 like on the screen.
inline void Store(uint8_t* p, int bpp, Bgr c) {
    if (bpp == 16) {
        uint16_t v = Pack565(c.b, c.g, c.r);
        std::memcpy(p, &v, 2);
        return;
    }
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
    if (bpp == 32) p[3] = 0;
}

// Inverts the colour bits; a fourth byte is left as it is.
inline void Invert(uint8_t* p, int bpp) {
    p[0] = static_cast<uint8_t>(~p[0]);
    p[1] = static_cast<uint8_t>(~p[1]);
    if (bpp != 16) p[2] = static_cast<uint8_t>(~p[2]);
}

// dest = ~(src | dest) on the colour bits, with src already in the destination's format.
inline void NotSrcErase(uint8_t* d, const uint8_t* s, int bpp) {
    d[0] = static_cast<uint8_t>(~(d[0] | s[0]));
    d[1] = static_cast<uint8_t>(~(d[1] | s[1]));
    if (bpp != 16) d[2] = static_cast<uint8_t>(~(d[2] | s[2]));
}

// Writes `c` (with fourth byte `a` for 32-bit destinations that keep one) under the raster op.
inline void Put(uint8_t* p, const Bitmap& dst, Bgr c, uint8_t a, Rop rop) {
    if (rop == Rop::SrcCopy) {
        Store(p, dst.bpp, c);
        if (dst.bpp == 32 && !dst.screen) p[3] = a;
        return;
    }
    uint8_t s[4];
    Store(s, dst.bpp, c);
    NotSrcErase(p, s, dst.bpp);
}

inline bool IsValidBpp(int bpp) {
    return bpp == 16 || bpp == 24 || bpp == 32;
}

}  // namespace raster::pixel
