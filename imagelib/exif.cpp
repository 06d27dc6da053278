#include "imagelib/exif.h"

#include <algorithm>

namespace {

// A bounds-checked reader over a TIFF structure in either byte order.
struct TiffReader {
    const uint8_t* data;
    size_t size;
    bool bigEndian;

    bool U16(size_t at, uint32_t* out) const {
        if (at > size || size - at < 2) return false;
        const uint8_t* p = data + at;
        *out = bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
        return true;
    }
    bool U8(size_t at, uint32_t* out) const {
        if (at >= size) return false;
        *out = data[at];
        return true;
    }
    bool U32(size_t at, uint32_t* out) const {
        if (at > size || size - at < 4) return false;
        const uint8_t* p = data + at;
        *out = bigEndian ? (uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3])
                         : (uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0]);
        return true;
    }
};

constexpr uint32_t kTagOrientation = 0x0112;

// Bytes of one value of an integer field type (BYTE, SHORT, LONG and their signed forms); 0 for
// every other type. A single value lies at the start of the entry's value field.
int IntegerSize(uint32_t type) {
    switch (type) {
        case 1:  // BYTE
        case 6:  // SBYTE
            return 1;
        case 3:  // SHORT
        case 8:  // SSHORT
            return 2;
        case 4:  // LONG
        case 9:  // SLONG
            return 4;
        default:
            return 0;
    }
}

}  // namespace

int ExifOrientationFromTiff(const uint8_t* tiff, size_t size) {
    if (!tiff || size < 8) return 1;
    TiffReader r{tiff, size, false};
    if (tiff[0] == 'M' && tiff[1] == 'M') {
        r.bigEndian = true;
    } else if (!(tiff[0] == 'I' && tiff[1] == 'I')) {
        return 1;
    }
    uint32_t magic = 0, ifd = 0, count = 0;
    if (!r.U16(2, &magic) || magic != 42 || !r.U32(4, &ifd) || !r.U16(ifd, &count)) return 1;
    // Entries are read only while they lie inside the data, so a huge count costs nothing.
    for (uint32_t i = 0; i < count; ++i) {
        size_t entry = size_t{ifd} + 2 + size_t{i} * 12;
        uint32_t tag = 0, type = 0, n = 0, value = 0;
        if (!r.U16(entry, &tag) || !r.U16(entry + 2, &type) || !r.U32(entry + 4, &n)) return 1;
        if (tag != kTagOrientation) continue;
        // Writers disagree on the type; any integer does. A negative signed value reads as a
        // large unsigned one and is refused with the other values outside 1..8.
        const int bytes = IntegerSize(type);
        const bool read = bytes == 1   ? r.U8(entry + 8, &value)
                          : bytes == 2 ? r.U16(entry + 8, &value)
                                       : bytes == 4 && r.U32(entry + 8, &value);
        if (n != 1 || !read) return 1;
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}

bool ExifFindInJpeg(const uint8_t* data, size_t size, size_t* offset, size_t* length) {
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) return false;
        uint8_t marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;  // markers without a length
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return false;  // scan data or end: no EXIF before it
        size_t segment = size_t{data[at + 2]} << 8 | data[at + 3];
        if (segment < 2 || segment > size - at - 2) return false;
        const uint8_t* body = data + at + 4;
        size_t bodySize = segment - 2;
        static const uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
        if (marker == 0xE1 && bodySize >= 6 && std::equal(kExif, kExif + 6, body)) {
            *offset = static_cast<size_t>(body + 6 - data);
            *length = bodySize - 6;
            return true;
        }
        at += 2 + segment;
    }
    return false;
}

bool ExifSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

void ExifMapPixel(int orientation, int width, int height, int x, int y, int* outX, int* outY) {
    // Stored picture width x height; the upright picture is width x height for 1..4 and
    // height x width for 5..8.
    int ux = x, uy = y;
    switch (orientation) {
        case 2:
            ux = width - 1 - x;
            break;  // mirrored left-right
        case 3:
            ux = width - 1 - x;
            uy = height - 1 - y;
            break;  // turned 180 degrees
        case 4:
            uy = height - 1 - y;
            break;  // mirrored top-bottom
        case 5:
            ux = y;
            uy = x;
            break;  // transposed
        case 6:
            ux = height - 1 - y;
            uy = x;
            break;  // needs 90 degrees clockwise
        case 7:
            ux = height - 1 - y;
            uy = width - 1 - x;
            break;  // transversed
        case 8:
            ux = y;
            uy = width - 1 - x;
            break;  // needs 90 degrees anticlockwise
        default:
            break;
    }
    *outX = ux;
    *outY = uy;
}
