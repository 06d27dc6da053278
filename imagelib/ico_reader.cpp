#include "imagelib/ico_reader.h"
#include "imagelib/byte_order.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imagelib/bmp_reader.h"
#include "imagelib/load_limits.h"
#include "imagelib/png_decoder.h"

namespace {

constexpr size_t kDirHeader = 6;
constexpr size_t kDirEntry = 16;
constexpr int kMaxEntries = 512;  // far more than any real icon carries
constexpr size_t kMaxTries = 4;

// One directory entry, described by its own data rather than by the directory's bytes.
struct Entry {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool png = false;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

bool DescribeEntry(const uint8_t* data, size_t size, Entry* e) {
    e->data = data;
    e->size = size;
    e->png = size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0;
    if (e->png) {
        int depth = 0;
        if (!PngPeekSize(ByteView(data, size), e->width, e->height, depth)) return false;
        e->bitsPerPixel = depth;
        return true;
    }
    DibView v;
    if (!DibParse(data, size, 0, 2, &v)) return false;
    e->width = v.width;
    e->height = v.height;
    e->bitsPerPixel = v.bpp;
    return true;
}

std::unique_ptr<raster::Bitmap> DecodeDibEntry(const Entry& e) {
    DibView v;
    if (!DibParse(e.data, e.size, 0, 2, &v)) return nullptr;
    // Icon entries are uncompressed; their colour rows must be all there before we allocate.
    if (v.compression == 1 || v.compression == 2) return nullptr;
    if (v.pixelBytes / v.rowBytes < static_cast<size_t>(v.height)) return nullptr;
    if (!ImageLoadSizeAllowed(v.width, v.height, 32)) return nullptr;
    auto bm = raster::Create(v.width, v.height, 32, true, false);
    if (!bm) return nullptr;
    // Icon rows are bottom-up whatever the header's sign says.
    v.topDown = false;
    if (!DibDecodeBgra(v, bm->bits.get(), bm->stride)) return nullptr;

    bool ownAlpha = false;
    if (v.bpp == 32)
        for (int y = 0; y < v.height && !ownAlpha; ++y)
            for (int x = 0; x < v.width; ++x)
                if (bm->Row(y)[x * 4 + 3]) {
                    ownAlpha = true;
                    break;
                }
    if (ownAlpha) return bm;

    // The AND mask follows the colour rows: 1 bit per pixel, rows padded to 4 bytes, bottom-up.
    // An icon whose mask is cut off is shown opaque where the mask is missing.
    size_t maskRow = (static_cast<size_t>(v.width) + 31) / 32 * 4;
    size_t colourBytes = v.rowBytes * v.height;
    const uint8_t* mask = v.pixelBytes > colourBytes ? v.pixels + colourBytes : nullptr;
    size_t maskBytes = mask ? v.pixelBytes - colourBytes : 0;
    for (int stored = 0; stored < v.height; ++stored) {
        uint8_t* row = bm->Row(v.height - 1 - stored);
        size_t at = static_cast<size_t>(stored) * maskRow;
        bool have = mask && maskBytes >= at + maskRow;
        for (int x = 0; x < v.width; ++x) {
            bool transparent = have && (mask[at + x / 8] >> (7 - x % 8)) & 1;
            row[x * 4 + 3] = transparent ? 0 : 255;
        }
    }
    return bm;
}

std::unique_ptr<raster::Bitmap> DecodePngEntry(const Entry& e) {
    auto pic = DecodeWhole(*PngDecoder(), ByteView(e.data, e.size));
    if (!pic || pic->bpp == 32) return pic;
    auto bm = raster::Create(pic->width, pic->height, 32, true, false);
    if (!bm) return nullptr;
    for (int y = 0; y < pic->height; ++y) {
        const uint8_t* src = pic->Row(y);
        uint8_t* dst = bm->Row(y);
        for (int x = 0; x < pic->width; ++x) {
            std::memcpy(dst + x * 4, src + x * 3, 3);
            dst[x * 4 + 3] = 255;
        }
    }
    return bm;
}

}  // namespace

bool IcoLooksLike(ByteView head) {
    return head.size() >= kDirHeader && U16(head.data()) == 0 && U16(head.data() + 2) == 1 &&
           U16(head.data() + 4) >= 1;
}

std::unique_ptr<raster::Bitmap> IcoDecode(ByteView file) {
    if (!IcoLooksLike(file)) return nullptr;
    const uint8_t* data = file.data();
    const size_t size = file.size();
    size_t count = std::min<size_t>(U16(data + 4), kMaxEntries);
    std::vector<Entry> entries;
    for (size_t i = 0; i < count; ++i) {
        size_t at = kDirHeader + i * kDirEntry;
        if (at + kDirEntry > size) break;
        size_t bytes = U32(data + at + 8);
        size_t offset = U32(data + at + 12);
        if (offset >= size) continue;
        bytes = std::min(bytes, size - offset);  // an entry cut off by the file's end
        Entry e;
        if (DescribeEntry(data + offset, bytes, &e)) entries.push_back(e);
    }
    // Largest first, then the most colourful; the directory's order among equals.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        uint64_t areaA = static_cast<uint64_t>(a.width) * a.height;
        uint64_t areaB = static_cast<uint64_t>(b.width) * b.height;
        if (areaA != areaB) return areaA > areaB;
        return a.bitsPerPixel > b.bitsPerPixel;
    });
    // A damaged best entry gives way to the next ones, a few at most.
    size_t tries = std::min<size_t>(entries.size(), kMaxTries);
    for (size_t i = 0; i < tries; ++i) {
        auto bm = entries[i].png ? DecodePngEntry(entries[i]) : DecodeDibEntry(entries[i]);
        if (bm) return bm;
    }
    return nullptr;
}

namespace {

// An icon file none of whose entries can be read is not taken for a picture at all.
Probed ProbeIco(ByteView file) {
    auto bm = IcoDecode(file);
    if (!bm) return Probed{};
    return Probed{ProbeAnswer::Rows32, std::make_unique<ReadyBitmap>(std::move(bm))};
}

const ImageDecoder kIcoFormat = {.name = "ICO",
                                 .sniff = IcoLooksLike,
                                 .probe = ProbeIco,
                                 .mediaTypes = "image/vnd.microsoft.icon image/x-icon"};

}  // namespace

const ImageDecoder* IcoFormat() {
    return &kIcoFormat;
}
