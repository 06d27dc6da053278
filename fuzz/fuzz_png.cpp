// PNG files from arbitrary bytes. libpng itself is not instrumented, so most mutated files
// would stop at its chunk checks; the bytes are therefore also used as the description and row
// data of a well-formed PNG (every colour type, depth and interlacing, optional palette and
// transparency, random filter bytes), which reaches the transformations and the row reading.
#include <zlib.h>

#include <vector>

#include "fuzz_common.h"
#include "imagelib/png_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutBig32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<uint8_t>(v >> s));
}

void Chunk(Bytes& b, const char* type, const Bytes& data) {
    PutBig32(b, static_cast<uint32_t>(data.size()));
    size_t start = b.size();
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    PutBig32(
        b, static_cast<uint32_t>(crc32(0, b.data() + start, static_cast<uInt>(b.size() - start))));
}

// Rows of one pass or of the whole picture: a filter byte and the packed samples per row.
size_t RawBytes(uint32_t w, uint32_t h, int bitsPerPixel) {
    if (!w || !h) return 0;
    return h * (1 + (static_cast<size_t>(w) * bitsPerPixel + 7) / 8);
}

size_t InterlacedBytes(uint32_t w, uint32_t h, int bitsPerPixel) {
    static const int x0[7] = {0, 4, 0, 2, 0, 1, 0}, dx[7] = {8, 8, 4, 4, 2, 2, 1};
    static const int y0[7] = {0, 0, 4, 0, 2, 0, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
    size_t total = 0;
    for (int p = 0; p < 7; ++p) {
        uint32_t pw = w > static_cast<uint32_t>(x0[p]) ? (w - x0[p] + dx[p] - 1) / dx[p] : 0;
        uint32_t ph = h > static_cast<uint32_t>(y0[p]) ? (h - y0[p] + dy[p] - 1) / dy[p] : 0;
        total += RawBytes(pw, ph, bitsPerPixel);
    }
    return total;
}

Bytes WellFormed(const uint8_t* data, size_t size) {
    static const uint8_t kKinds[15][2] = {{0, 1}, {0, 2},  {0, 4},  {0, 8}, {0, 16},
                                          {2, 8}, {2, 16}, {3, 1},  {3, 2}, {3, 4},
                                          {3, 8}, {4, 8},  {4, 16}, {6, 8}, {6, 16}};
    static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    if (size < 6) return {};
    uint32_t w = 1 + data[0] % 48, h = 1 + data[1] % 48;
    uint8_t type = kKinds[data[2] % 15][0], depth = kKinds[data[2] % 15][1];
    bool interlaced = data[3] & 1, trns = data[3] & 2;
    int paletteSize = 1 + data[4];
    const uint8_t* rest = data + 6;
    size_t restSize = size - 6;
    auto byteAt = [&](size_t i) { return restSize ? rest[i % restSize] : uint8_t{0}; };

    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    PutBig32(ihdr, w);
    PutBig32(ihdr, h);
    ihdr.insert(ihdr.end(), {depth, type, 0, 0, static_cast<uint8_t>(interlaced)});
    Chunk(png, "IHDR", ihdr);
    if (type == 3) {
        Bytes plte;
        for (int i = 0; i < paletteSize * 3; ++i)
            plte.push_back(byteAt(i + 100));
        Chunk(png, "PLTE", plte);
    }
    if (trns && (type == 0 || type == 2 || type == 3)) {
        Bytes t;
        size_t n = type == 0 ? 2 : type == 2 ? 6 : static_cast<size_t>(data[5] % (paletteSize + 1));
        for (size_t i = 0; i < n; ++i)
            t.push_back(byteAt(i + 50));
        if (!t.empty()) Chunk(png, "tRNS", t);
    }
    int bpp = kChannels[type] * depth;
    size_t rawSize = interlaced ? InterlacedBytes(w, h, bpp) : RawBytes(w, h, bpp);
    Bytes raw(rawSize);
    for (size_t i = 0; i < rawSize; ++i)
        raw[i] = byteAt(i);
    // Filter bytes are whatever the data says; libpng must cope with bad ones too.
    uLongf zSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes z(zSize);
    if (compress(z.data(), &zSize, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) return {};
    z.resize(zSize);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    FuzzTouch(DecodeWhole(*PngDecoder(), ByteView(data, size)));
    Bytes png = WellFormed(data, size);
    if (!png.empty()) FuzzTouch(DecodeWhole(*PngDecoder(), png));
    return 0;
}
