#include "imagelib/bmp_reader.h"
#include "imagelib/byte_order.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imagelib/load_limits.h"
#include "platform/display.h"

namespace {

constexpr int kRgb = 0;
constexpr int kRle8 = 1;
constexpr int kRle4 = 2;
constexpr int kBitfields = 3;
constexpr int kAlphaBitfields = 6;
constexpr uint64_t kRlePixelsPerByte = 256;

// One colour channel described by a bit mask, scaled to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;  // mask >> shift

    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1))
            ++shift;
        max = m >> shift;
    }
    uint8_t Get(uint32_t v, uint8_t absent) const {
        if (!max) return absent;
        uint64_t c = (v & mask) >> shift;
        return static_cast<uint8_t>((c * 255 + max / 2) / max);
    }
};

// Colour table entry `index` as blue, green, red; black outside the table.
void TableColour(const DibView& v, unsigned index, uint8_t* bgra) {
    if (index < static_cast<unsigned>(v.tableEntries)) {
        const uint8_t* e = v.table + static_cast<size_t>(index) * v.tableEntrySize;
        bgra[0] = e[0];
        bgra[1] = e[1];
        bgra[2] = e[2];
    } else {
        bgra[0] = bgra[1] = bgra[2] = 0;
    }
    bgra[3] = 255;
}

// Decodes one stored uncompressed row into blue, green, red, alpha pixels.
// One row of 16- or 32-bit pixels whose channels the bit masks describe; no alpha mask gives an
// opaque pixel.
void DecodeMasked(const DibView& v, const uint8_t* src, int bytesPerPixel, int w, uint8_t* out) {
    const Channel r(v.masks[0]), g(v.masks[1]), b(v.masks[2]), a(v.masks[3]);
    for (int x = 0; x < w; ++x, src += bytesPerPixel, out += 4) {
        const uint32_t p = bytesPerPixel == 2 ? U16(src) : U32(src);
        out[0] = b.Get(p, 0);
        out[1] = g.Get(p, 0);
        out[2] = r.Get(p, 0);
        out[3] = a.Get(p, 255);
    }
}

void DecodeRow(const DibView& v, const uint8_t* src, uint8_t* out) {
    int w = v.width;
    switch (v.bpp) {
        case 1:
        case 4:
        case 8: {
            int perByte = 8 / v.bpp;
            unsigned valueMask = (1u << v.bpp) - 1;
            for (int x = 0; x < w; ++x) {
                int shift = 8 - v.bpp * (x % perByte + 1);
                TableColour(v, (src[x / perByte] >> shift) & valueMask, out + x * 4);
            }
            break;
        }
        case 16:
            DecodeMasked(v, src, 2, w, out);
            break;
        case 24:
            for (int x = 0; x < w; ++x) {
                std::memcpy(out + x * 4, src + x * 3, 3);
                out[x * 4 + 3] = 255;
            }
            break;
        case 32:
            if (v.standardMasks) {
                std::memcpy(out, src, static_cast<size_t>(w) * 4);
            } else {
                DecodeMasked(v, src, 4, w, out);
            }
            break;
        default:
            break;
    }
}

// Decodes RLE8 or RLE4 data, handing each pixel to `put(x, yFromTop, bgra)`. Pixels the data
// skips are not handed over. Data that ends without an end-of-picture code keeps what was
// decoded.
template <class Put>
void DecodeRle(const DibView& v, Put put) {
    const uint8_t* p = v.pixels;
    const uint8_t* end = v.pixels + v.pixelBytes;
    const bool four = v.compression == kRle4;
    int x = 0, y = 0;  // y counts stored rows from the bottom; x never passes the width
    uint8_t bgra[4];
    auto emit = [&](unsigned index) {
        TableColour(v, index, bgra);
        put(x, v.height - 1 - y, bgra);
        ++x;
    };
    while (end - p >= 2 && y < v.height) {
        unsigned n = p[0], c = p[1];
        p += 2;
        if (n > 0) {
            for (unsigned i = 0; i < n && x < v.width; ++i)
                emit(four ? (i & 1 ? c & 15 : c >> 4) : c);
            continue;
        }
        if (c == 0) {  // end of line
            x = 0;
            ++y;
        } else if (c == 1) {  // end of picture
            return;
        } else if (c == 2) {  // move right and up
            if (end - p < 2) return;
            x = std::min(x + p[0], v.width);
            y += p[1];
            p += 2;
        } else {  // c literal pixels, padded to an even byte count
            size_t bytes = four ? (c + 1) / 2 : c;
            size_t padded = (bytes + 1) & ~size_t{1};
            if (static_cast<size_t>(end - p) < bytes) return;
            for (unsigned i = 0; i < c && x < v.width; ++i)
                emit(four ? (i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
            p += std::min(padded, static_cast<size_t>(end - p));
        }
    }
}

// Stores one row of blue, green, red, alpha pixels in the bitmap's own format.
void StoreRow(raster::Bitmap& bm, int y, const uint8_t* bgra) {
    uint8_t* dst = bm.Row(y);
    int w = bm.width;
    switch (bm.bpp) {
        case 32:
            std::memcpy(dst, bgra, static_cast<size_t>(w) * 4);
            if (bm.screen)
                for (int x = 0; x < w; ++x)
                    dst[x * 4 + 3] = 0;
            break;
        case 24:
            for (int x = 0; x < w; ++x)
                std::memcpy(dst + x * 3, bgra + x * 4, 3);
            break;
        case 16:
            for (int x = 0; x < w; ++x) {
                const uint8_t* s = bgra + x * 4;
                uint32_t v = (s[2] >> 3) << 11 | (s[1] >> 2) << 5 | s[0] >> 3;
                dst[x * 2] = static_cast<uint8_t>(v);
                dst[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
            }
            break;
        default:
            break;
    }
}

// Stores one pixel of blue, green, red, alpha in the bitmap's own format.
void StorePixel(raster::Bitmap& bm, int x, int y, const uint8_t* bgra) {
    uint8_t* dst = bm.Row(y) + static_cast<size_t>(x) * (bm.bpp / 8);
    switch (bm.bpp) {
        case 32:
            std::memcpy(dst, bgra, 4);
            if (bm.screen) dst[3] = 0;
            break;
        case 24:
            std::memcpy(dst, bgra, 3);
            break;
        case 16: {
            uint32_t v = (bgra[2] >> 3) << 11 | (bgra[1] >> 2) << 5 | bgra[0] >> 3;
            dst[0] = static_cast<uint8_t>(v);
            dst[1] = static_cast<uint8_t>(v >> 8);
            break;
        }
        default:
            break;
    }
}

std::unique_ptr<raster::Bitmap> DecodeView(const DibView& v) {
    int bpp = v.bpp;
    bool screen = false, topDown = v.topDown;
    if (bpp <= 8) {
        bpp = DisplayBitmapBpp();
        if (bpp != 16 && bpp != 24 && bpp != 32) bpp = 32;
        screen = true;
        topDown = true;
    } else if (bpp == 16) {
        bpp = 24;
    }
    if (!ImageLoadSizeAllowed(v.width, v.height, bpp)) return nullptr;
    if (v.compression == kRle8 || v.compression == kRle4) {
        // A run covers at most 255 pixels with 2 bytes; a picture far larger than its data could
        // cover is a bomb, not a drawing.
        if (static_cast<uint64_t>(v.width) * v.height > kRlePixelsPerByte * v.pixelBytes + 65536)
            return nullptr;
    } else if (v.pixelBytes / v.rowBytes < static_cast<size_t>(v.height)) {
        return nullptr;  // uncompressed data must be complete
    }
    auto bm = raster::Create(v.width, v.height, bpp, topDown, screen);
    if (!bm) return nullptr;

    const bool direct = (v.bpp == 24 || (v.bpp == 32 && v.standardMasks)) && !screen;
    if (direct) {
        size_t bytes = static_cast<size_t>(v.width) * (v.bpp / 8);
        for (int row = 0; row < v.height; ++row)  // stored order equals the bitmap's order
            std::memcpy(bm->bits.get() + static_cast<size_t>(row) * bm->stride,
                        v.pixels + static_cast<size_t>(row) * v.rowBytes, bytes);
        return bm;
    }
    if (v.compression == kRle8 || v.compression == kRle4) {
        DecodeRle(v, [&](int x, int y, const uint8_t* bgra) { StorePixel(*bm, x, y, bgra); });
        return bm;
    }
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(v.width) * 4]);
    if (!row) return nullptr;
    for (int stored = 0; stored < v.height; ++stored) {
        DecodeRow(v, v.pixels + static_cast<size_t>(stored) * v.rowBytes, row.get());
        StoreRow(*bm, v.topDown ? stored : v.height - 1 - stored, row.get());
    }
    return bm;
}

}  // namespace

bool DibParse(const uint8_t* dib, size_t size, size_t pixelOffset, int heightDivisor,
              DibView* view) {
    DibView v;
    if (!dib || size < 12) return false;
    uint32_t headerSize = U32(dib);
    int64_t width = 0, height = 0;
    size_t masksAfterHeader = 0;
    if (headerSize == 12) {
        width = U16(dib + 4);
        height = U16(dib + 6);
        v.bpp = static_cast<int>(U16(dib + 10));
        v.tableEntrySize = 3;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 ||
               headerSize == 108 || headerSize == 124) {
        if (size < headerSize) return false;
        width = static_cast<int32_t>(U32(dib + 4));
        height = static_cast<int32_t>(U32(dib + 8));
        v.bpp = static_cast<int>(U16(dib + 14));
        v.compression = static_cast<int>(U32(dib + 16));
        if (headerSize == 64 && v.compression >= kBitfields) return false;  // other meanings
        if (v.compression == kAlphaBitfields) v.compression = kBitfields;
        if (v.compression == kBitfields) {
            if (headerSize == 40) {
                masksAfterHeader = U32(dib + 16) == kAlphaBitfields ? 16 : 12;
                if (size < 40 + masksAfterHeader) return false;
                for (size_t i = 0; i < masksAfterHeader / 4; ++i)
                    v.masks[i] = U32(dib + 40 + i * 4);
            } else {
                for (int i = 0; i < 3; ++i)
                    v.masks[i] = U32(dib + 40 + i * 4);
                if (headerSize >= 56) v.masks[3] = U32(dib + 52);
            }
        }
    } else {
        return false;
    }
    if (height < 0) {
        v.topDown = true;
        height = -height;
    }
    if (heightDivisor > 1) height /= heightDivisor;
    if (width < 1 || height < 1 || width > raster::kMaxSide || height > raster::kMaxSide)
        return false;
    v.width = static_cast<int>(width);
    v.height = static_cast<int>(height);

    switch (v.compression) {
        case kRgb:
            if (v.bpp != 1 && v.bpp != 4 && v.bpp != 8 && v.bpp != 16 && v.bpp != 24 && v.bpp != 32)
                return false;
            if (v.bpp == 16) {
                v.masks[0] = 0x7C00, v.masks[1] = 0x03E0, v.masks[2] = 0x001F, v.masks[3] = 0;
            } else if (v.bpp == 32) {
                v.masks[0] = 0xFF0000, v.masks[1] = 0xFF00, v.masks[2] = 0xFF, v.masks[3] = 0;
            }
            break;
        case kRle8:
            if (v.bpp != 8 || v.topDown) return false;
            break;
        case kRle4:
            if (v.bpp != 4 || v.topDown) return false;
            break;
        case kBitfields:
            if (v.bpp != 16 && v.bpp != 32) return false;
            v.standardMasks = v.bpp == 32 && v.masks[0] == 0xFF0000 && v.masks[1] == 0xFF00 &&
                              v.masks[2] == 0xFF && (v.masks[3] == 0 || v.masks[3] == 0xFF000000u);
            break;
        default:
            return false;  // embedded JPEG or PNG, OS/2 Huffman and RLE24
    }

    // Colour table: `colours used` entries, or 2^bpp at 8 bits or fewer when that field is 0.
    uint64_t declared = 0;
    if (headerSize >= 40) declared = U32(dib + 32);
    if (declared == 0 && v.bpp <= 8) declared = uint64_t{1} << v.bpp;
    if (headerSize == 12 && v.bpp > 8) declared = 0;
    size_t tableAt = headerSize + masksAfterHeader;
    if (tableAt > size) return false;
    uint64_t tableBytes = declared * v.tableEntrySize;
    if (v.bpp <= 8) {
        uint64_t usable = std::min<uint64_t>(declared, uint64_t{1} << v.bpp);
        usable = std::min<uint64_t>(usable, (size - tableAt) / v.tableEntrySize);
        v.table = dib + tableAt;
        v.tableEntries = static_cast<int>(usable);
    }
    if (pixelOffset == 0) {
        if (tableBytes > size - tableAt) return false;
        pixelOffset = tableAt + static_cast<size_t>(tableBytes);
    }
    if (pixelOffset > size) return false;
    v.pixels = dib + pixelOffset;
    v.pixelBytes = size - pixelOffset;
    v.rowBytes = static_cast<size_t>((static_cast<uint64_t>(v.width) * v.bpp + 31) / 32 * 4);
    *view = v;
    return true;
}

bool DibDecodeBgra(const DibView& v, uint8_t* out, size_t outStride) {
    if (v.compression == kRle8 || v.compression == kRle4) {
        for (int y = 0; y < v.height; ++y)
            std::memset(out + static_cast<size_t>(y) * outStride, 0,
                        static_cast<size_t>(v.width) * 4);
        DecodeRle(v, [&](int x, int y, const uint8_t* bgra) {
            std::memcpy(out + static_cast<size_t>(y) * outStride + static_cast<size_t>(x) * 4, bgra,
                        4);
        });
        return true;
    }
    if (v.pixelBytes / v.rowBytes < static_cast<size_t>(v.height)) return false;
    for (int stored = 0; stored < v.height; ++stored) {
        int y = v.topDown ? stored : v.height - 1 - stored;
        DecodeRow(v, v.pixels + static_cast<size_t>(stored) * v.rowBytes,
                  out + static_cast<size_t>(y) * outStride);
    }
    return true;
}

std::unique_ptr<raster::Bitmap> BmpDecodeFile(ByteView file) {
    const uint8_t* data = file.data();
    const size_t size = file.size();
    if (size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return nullptr;
    size_t offBits = U32(data + 10);
    // A pixel offset that points outside the file is ignored in favour of the computed one.
    size_t pixelOffset = offBits >= 14 + 12 && offBits <= size ? offBits - 14 : 0;
    DibView v;
    if (!DibParse(data + 14, size - 14, pixelOffset, 1, &v)) return nullptr;
    return DecodeView(v);
}

std::unique_ptr<raster::Bitmap> BmpDecodePackedDib(ByteView dib) {
    DibView v;
    if (!DibParse(dib.data(), dib.size(), 0, 1, &v)) return nullptr;
    return DecodeView(v);
}

namespace {

// Why a BMP file was refused: the sides its header announces tell a picture over the limits from
// a damaged one.
ProbeAnswer BmpRefusal(ByteView file) {
    auto at = [&](size_t i, int bytes) {
        int64_t v = 0;
        for (int k = bytes - 1; k >= 0; --k)
            v = v << 8 | file[i + k];
        return bytes == 4 ? static_cast<int64_t>(static_cast<int32_t>(v)) : v;
    };
    if (file.size() < 26) return ProbeAnswer::Damaged;
    const bool core = at(14, 4) == 12;
    if (!core && file.size() < 30) return ProbeAnswer::Damaged;
    const int64_t w = core ? at(18, 2) : at(18, 4);
    int64_t h = core ? at(20, 2) : at(22, 4);
    if (h < 0) h = -h;
    if (w > raster::kMaxSide || h > raster::kMaxSide ||
        (w > 0 && h > 0 &&
         static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > ImageLoadLimits().maxPixels))
        return ProbeAnswer::TooLarge;
    return ProbeAnswer::Damaged;
}

bool LooksLikeBmp(ByteView head) {
    return head.size() >= 2 && head[0] == 'B' && head[1] == 'M';
}

// Our reader has the last word on BMP files: one it refuses is offered to no other format.
Probed ProbeBmp(ByteView file) {
    auto bm = BmpDecodeFile(file);
    if (!bm) return Probed{BmpRefusal(file), nullptr};
    const ProbeAnswer answer = bm->bpp == 32 ? ProbeAnswer::Rows32 : ProbeAnswer::Rows24;
    return Probed{answer, std::make_unique<ReadyBitmap>(std::move(bm))};
}

const ImageDecoder kBmpFormat = {.name = "BMP",
                                 .sniff = LooksLikeBmp,
                                 .probe = ProbeBmp,
                                 .alphaOnWhite = false,
                                 .mediaTypes = "image/bmp image/x-bmp image/x-ms-bmp"};

}  // namespace

const ImageDecoder* BmpFormat() {
    return &kBmpFormat;
}
