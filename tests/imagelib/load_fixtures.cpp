#include "load_fixtures.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fixtures {

namespace {

// Appends `v` in `size` bytes, least significant first unless `bigEndian`.
void Put(Bytes& b, uint32_t v, int size, bool bigEndian = false) {
    for (int i = 0; i < size; ++i)
        b.push_back(static_cast<uint8_t>(v >> 8 * (bigEndian ? size - 1 - i : i)));
}
void Put16(Bytes& b, uint32_t v) {
    Put(b, v, 2);
}
void Put32(Bytes& b, uint32_t v) {
    Put(b, v, 4);
}

int Shift(uint32_t mask) {
    int s = 0;
    while (mask && !((mask >> s) & 1))
        ++s;
    return s;
}

uint32_t Scale(uint8_t value, uint32_t mask) {
    if (!mask) return 0;
    uint32_t max = mask >> Shift(mask);
    return ((value * max + 127) / 255) << Shift(mask);
}

// Row-by-row RLE: runs of equal indices, literal stretches for the rest.
void EncodeRleRow(Bytes& out, const std::vector<uint8_t>& row, bool four) {
    size_t i = 0;
    while (i < row.size()) {
        size_t run = 1;
        size_t limit = std::min<size_t>(255, row.size() - i);
        // RLE4 runs alternate two nibbles; we only use runs of one value.
        while (run < limit && row[i + run] == row[i])
            ++run;
        if (run >= 2 || row.size() - i < 3) {
            out.push_back(static_cast<uint8_t>(run));
            out.push_back(four ? static_cast<uint8_t>(row[i] << 4 | row[i]) : row[i]);
            i += run;
            continue;
        }
        size_t lit = 0;
        while (lit < limit && (i + lit + 1 >= row.size() || row[i + lit] != row[i + lit + 1]))
            ++lit;
        if (lit < 3) lit = std::min<size_t>(3, row.size() - i);
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(lit));
        size_t start = out.size();
        for (size_t k = 0; k < lit; ++k) {
            if (!four) {
                out.push_back(row[i + k]);
            } else if (k % 2 == 0) {
                out.push_back(static_cast<uint8_t>(row[i + k] << 4));
            } else {
                out.back() |= row[i + k];
            }
        }
        if ((out.size() - start) % 2) out.push_back(0);
        i += lit;
    }
    out.push_back(0);
    out.push_back(0);
}

uint32_t PixelValue(const BmpDesc& s, int x, int y) {
    if (s.index) return s.index(x, y);
    Rgba c = s.colour(x, y);
    if (s.compression == 3) return PackMasked(c, s.masks);
    if (s.bpp == 16) {
        static const uint32_t k555[4] = {0x7C00, 0x3E0, 0x1F, 0};
        return PackMasked(c, k555);
    }
    return uint32_t{c.r} << 16 | c.g << 8 | c.b;
}

Bytes PixelRows(const BmpDesc& s, int rows, int stride) {
    Bytes out;
    for (int stored = 0; stored < rows; ++stored) {
        int y = s.topDown ? stored : rows - 1 - stored;
        Bytes row(stride, 0);
        for (int x = 0; x < s.width; ++x) {
            uint32_t v = PixelValue(s, x, y);
            if (s.bpp <= 8) {
                int per = 8 / s.bpp;
                row[x / per] |= static_cast<uint8_t>(v << (8 - s.bpp * (x % per + 1)));
            } else {
                for (int k = 0; k < s.bpp / 8; ++k)
                    row[x * s.bpp / 8 + k] = static_cast<uint8_t>(v >> (8 * k));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void PutHeader(Bytes& b, const BmpDesc& s, int height, uint32_t imageSize) {
    if (s.headerSize == 12) {
        Put32(b, 12);
        Put16(b, s.width);
        Put16(b, height);
        Put16(b, 1);
        Put16(b, s.bpp);
        return;
    }
    Put32(b, s.headerSize);
    Put32(b, static_cast<uint32_t>(s.width));
    Put32(b, static_cast<uint32_t>(s.topDown ? -height : height));
    Put16(b, 1);
    Put16(b, s.bpp);
    Put32(b, s.compression);
    Put32(b, imageSize);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, static_cast<uint32_t>(s.palette.size()));
    Put32(b, 0);
    if (s.headerSize >= 52)
        for (int i = 0; i < 3; ++i)
            Put32(b, s.masks[i]);
    if (s.headerSize >= 56) Put32(b, s.masks[3]);
    b.resize(b.size() + s.headerSize - std::min(s.headerSize, 56), 0);
}

void PutTable(Bytes& b, const BmpDesc& s) {
    if (s.headerSize == 40 && s.compression == 3)
        for (int i = 0; i < 3; ++i)
            Put32(b, s.masks[i]);
    for (const Rgba& c : s.palette) {
        b.push_back(c.b);
        b.push_back(c.g);
        b.push_back(c.r);
        if (s.headerSize != 12) b.push_back(0);
    }
}

Bytes Pixels(const BmpDesc& s) {
    if (s.compression == 1 || s.compression == 2) {
        Bytes out;
        for (int stored = 0; stored < s.height; ++stored) {
            std::vector<uint8_t> row(s.width);
            for (int x = 0; x < s.width; ++x)
                row[x] = PixelValue(s, x, s.height - 1 - stored);
            EncodeRleRow(out, row, s.compression == 2);
        }
        out.push_back(0);
        out.push_back(1);
        return out;
    }
    int stride = (s.width * s.bpp + 31) / 32 * 4;
    return PixelRows(s, s.height, stride);
}

void WriteToVector(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void FlushNothing(png_structp) {}

uint32_t Sample(uint8_t v, int depth) {
    if (depth == 16) return v * 257u;
    uint32_t max = (1u << depth) - 1;
    return (v * max + 127) / 255;
}

Bytes ExifOrientation(int orientation, bool bigEndian, int type) {
    Bytes t = {'E', 'x', 'i', 'f', 0, 0};
    auto p16 = [&](uint32_t v) { Put(t, v, 2, bigEndian); };
    auto p32 = [&](uint32_t v) { Put(t, v, 4, bigEndian); };
    t.push_back(bigEndian ? 'M' : 'I');
    t.push_back(bigEndian ? 'M' : 'I');
    p16(42);
    p32(8);
    p16(2);                                        // two entries: an unrelated one first
    p16(0x010F), p16(2), p32(4), p32(0x00414141);  // Make: "AAA"
    p16(0x0112), p16(type), p32(1);                // one value, at the start of the value field
    const int size = type == 1 || type == 6 ? 1 : type == 3 || type == 8 ? 2 : 4;
    Put(t, orientation, size, bigEndian);
    t.resize(t.size() + 4 - size, 0);
    p32(0);
    return t;
}

}  // namespace

Rgba Gradient(int x, int y) {
    return Rgba{static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(y * 53 + 7),
                static_cast<uint8_t>(x * 5 + y * 23 + 100), 255};
}

uint32_t PackMasked(const Rgba& c, const uint32_t masks[4]) {
    return Scale(c.r, masks[0]) | Scale(c.g, masks[1]) | Scale(c.b, masks[2]) |
           Scale(c.a, masks[3]);
}

Bytes MakeDib(const BmpDesc& s) {
    Bytes px = Pixels(s);
    Bytes b;
    PutHeader(b, s, s.height, static_cast<uint32_t>(px.size()));
    PutTable(b, s);
    b.insert(b.end(), px.begin(), px.end());
    return b;
}

Bytes MakeBmp(const BmpDesc& s) {
    Bytes dib = MakeDib(s);
    size_t table = s.palette.size() * (s.headerSize == 12 ? 3 : 4) +
                   (s.headerSize == 40 && s.compression == 3 ? 12 : 0);
    Bytes b = {'B', 'M'};
    Put32(b, static_cast<uint32_t>(14 + dib.size()));
    Put32(b, 0);
    Put32(b, static_cast<uint32_t>(14 + s.headerSize + table));
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

Bytes MakeIconDib(const BmpDesc& s, const std::function<bool(int, int)>& transparent) {
    BmpDesc colour = s;
    colour.topDown = false;
    int stride = (s.width * s.bpp + 31) / 32 * 4;
    Bytes px = PixelRows(colour, s.height, stride);
    BmpDesc mask = colour;
    mask.bpp = 1;
    mask.index = [&](int x, int y) { return transparent(x, y) ? 1u : 0u; };
    Bytes m = PixelRows(mask, s.height, (s.width + 31) / 32 * 4);
    Bytes b;
    PutHeader(b, colour, s.height * 2, static_cast<uint32_t>(px.size()));
    PutTable(b, colour);
    b.insert(b.end(), px.begin(), px.end());
    b.insert(b.end(), m.begin(), m.end());
    return b;
}

Bytes MakeIco(const std::vector<IconEntry>& entries) {
    Bytes b;
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, static_cast<uint32_t>(entries.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(entries.size());
    for (const IconEntry& e : entries) {
        b.push_back(static_cast<uint8_t>(e.width));
        b.push_back(static_cast<uint8_t>(e.height));
        b.push_back(0);
        b.push_back(0);
        Put16(b, 1);
        Put16(b, e.bitCount);
        Put32(b, static_cast<uint32_t>(e.data.size()));
        Put32(b, offset);
        offset += static_cast<uint32_t>(e.data.size());
    }
    for (const IconEntry& e : entries)
        b.insert(b.end(), e.data.begin(), e.data.end());
    return b;
}

Bytes MakePng(const PngDesc& s) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("png write failed");
    }
    png_set_write_fn(png, &out, WriteToVector, FlushNothing);
    png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colourType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> pal;
    for (const Rgba& c : s.palette)
        pal.push_back(png_color{c.r, c.g, c.b});
    if (s.colourType == 3) png_set_PLTE(png, info, pal.data(), static_cast<int>(pal.size()));
    if (!s.paletteAlpha.empty())
        png_set_tRNS(png, info, s.paletteAlpha.data(), static_cast<int>(s.paletteAlpha.size()),
                     nullptr);
    if (s.transparentGrey >= 0) {
        png_color_16 t{};
        t.gray = static_cast<png_uint_16>(s.transparentGrey);
        png_set_tRNS(png, info, nullptr, 0, &t);
    }
    png_write_info(png, info);
    int channels = s.colourType == 0 || s.colourType == 3 ? 1
                   : s.colourType == 4                    ? 2
                   : s.colourType == 2                    ? 3
                                                          : 4;
    size_t rowBytes = (static_cast<size_t>(s.width) * channels * s.bitDepth + 7) / 8;
    std::vector<Bytes> rows(s.height, Bytes(rowBytes, 0));
    for (int y = 0; y < s.height; ++y) {
        std::vector<uint32_t> samples;
        for (int x = 0; x < s.width; ++x) {
            if (s.colourType == 3) {
                samples.push_back(s.index(x, y));
                continue;
            }
            Rgba c = s.colour(x, y);
            std::vector<uint8_t> v;
            if (s.colourType == 0 || s.colourType == 4)
                v.push_back(c.r);
            else
                v.insert(v.end(), {c.r, c.g, c.b});
            if (s.colourType & 4) v.push_back(c.a);
            for (uint8_t e : v)
                samples.push_back(Sample(e, s.bitDepth));
        }
        for (size_t i = 0; i < samples.size(); ++i) {
            const uint32_t v = samples[i];
            const int per = s.bitDepth < 8 ? 8 / s.bitDepth : 1, bytes = s.bitDepth / 8;
            if (s.bitDepth < 8)
                rows[y][i / per] |= static_cast<uint8_t>(v << (8 - s.bitDepth * (i % per + 1)));
            for (int k = 0; k < bytes; ++k)
                rows[y][i * bytes + k] = static_cast<uint8_t>(v >> 8 * (bytes - 1 - k));
        }
    }
    std::vector<png_bytep> pointers;
    for (Bytes& r : rows)
        pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes MakeJpeg(const JpegDesc& s) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    jpeg_mem_dest(&c, &mem, &memSize);
    c.image_width = s.width;
    c.image_height = s.height;
    bool grey = s.kind == JpegKind::Grey;
    bool cmyk = !grey && s.kind != JpegKind::Rgb;
    c.input_components = grey ? 1 : cmyk ? 4 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (s.kind == JpegKind::Ycck) jpeg_set_colorspace(&c, JCS_YCCK);
    if (s.kind == JpegKind::CmykPlain) c.write_Adobe_marker = FALSE;
    jpeg_set_quality(&c, s.quality, TRUE);
    if (s.progressive) jpeg_simple_progression(&c);
    c.optimize_coding = s.optimize ? TRUE : FALSE;
    c.arith_code = s.arithmetic ? TRUE : FALSE;
    if (s.fullChroma)
        for (int i = 0; i < c.num_components; ++i)
            c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    if (s.orientation) {
        Bytes exif = ExifOrientation(s.orientation, s.exifBigEndian, s.exifType);
        jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    }
    Bytes row(static_cast<size_t>(s.width) * c.input_components);
    while (c.next_scanline < c.image_height) {
        int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < s.width; ++x) {
            Rgba p = s.colour(x, y);
            if (grey) {
                row[x] = p.r;
            } else if (!cmyk) {
                row[x * 3] = p.r, row[x * 3 + 1] = p.g, row[x * 3 + 2] = p.b;
            } else {
                int max = std::max({p.r, p.g, p.b});
                int ink[4] = {0, 0, 0, 255 - max};
                if (max > 0) {
                    ink[0] = (255 * (max - p.r) + max / 2) / max;
                    ink[1] = (255 * (max - p.g) + max / 2) / max;
                    ink[2] = (255 * (max - p.b) + max / 2) / max;
                }
                for (int k = 0; k < 4; ++k)
                    row[x * 4 + k] = static_cast<uint8_t>(255 - ink[k]);
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(mem, mem + memSize);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

std::string WriteTemp(const std::string& name, const Bytes& bytes) {
    // One folder per test process, removed again when the process ends.
    struct TempDir {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("kadrovo-load-" + std::to_string(::getpid()));
        TempDir() { std::filesystem::create_directories(path); }
        ~TempDir() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static TempDir dir;
    std::string path = (dir.path / name).string();
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    return path;
}

}  // namespace fixtures
