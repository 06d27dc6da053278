#include "load_fixtures.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <lcms2.h>
#include <libheif/heif.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <tuple>

namespace fixtures {

void Put(Bytes& b, uint32_t v, int size, bool bigEndian) {
    for (int i = 0; i < size; ++i)
        b.push_back(static_cast<uint8_t>(v >> 8 * (bigEndian ? size - 1 - i : i)));
}

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts)
        b.insert(b.end(), p.begin(), p.end());
    return b;
}

Rgba Gradient(int x, int y) {
    return Rgba{static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(y * 53 + 7),
                static_cast<uint8_t>(x * 5 + y * 23 + 100), 255};
}

Bytes Convert(int width, int height, const Pattern& colour, const std::string& options,
              const std::string& out) {
    std::vector<Rgba> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(colour(x, y));
    const bool alpha = std::any_of(pixels.begin(), pixels.end(), [](Rgba c) { return c.a != 255; });
    const std::string head = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " +
                             std::to_string(height) + "\nDEPTH " + (alpha ? "4" : "3") +
                             "\nMAXVAL 255\nTUPLTYPE " + (alpha ? "RGB_ALPHA" : "RGB") +
                             "\nENDHDR\n";
    Bytes pam(head.begin(), head.end());
    for (const Rgba& c : pixels) {
        const auto* rgba = reinterpret_cast<const uint8_t*>(&c);  // r, g, b and a in this order
        pam.insert(pam.end(), rgba, rgba + (alpha ? 4 : 3));
    }
    static int serial = 0;
    const std::string in = WriteTemp("convert" + std::to_string(++serial) + ".pam", pam),
                      result = in + ".out";
    if (std::system(("convert " + in + " " + options + " " + out + result).c_str()) != 0) return {};
    return ReadFile(result);
}

Bytes BmpSaying(int32_t width, int32_t height, uint16_t bpp, uint32_t compression,
                uint32_t pixelBytes, uint32_t colours) {
    Bytes b = {'B', 'M'};
    Put(b, 54 + pixelBytes, 4), Put(b, 0, 4), Put(b, 54, 4);  // file size, reserved, pixel offset
    Put(b, 40, 4), Put(b, uint32_t(width), 4), Put(b, uint32_t(height), 4), Put(b, 1, 2);
    Put(b, bpp, 2), Put(b, compression, 4), Put(b, pixelBytes, 4);
    Put(b, 2835, 4), Put(b, 2835, 4), Put(b, colours, 4), Put(b, 0, 4);  // 72 dpi; colours used
    b.resize(b.size() + pixelBytes, 0x80);
    return b;
}

IconEntry EntryOf(const Bytes& bmp) {
    IconEntry e{Bytes(bmp.begin() + 14, bmp.end()), bmp.at(18), bmp.at(22), bmp.at(28)};
    e.data.at(8) = static_cast<uint8_t>(2 * e.height);  // the colour rows and the mask
    e.data.resize(e.data.size() + (e.width + 31) / 32 * 4 * e.height, 0);
    return e;
}

Bytes MakeIco(const std::vector<IconEntry>& entries) {
    Bytes b;
    Put(b, 0, 2), Put(b, 1, 2), Put(b, static_cast<uint32_t>(entries.size()), 2);
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(entries.size());
    for (const IconEntry& e : entries) {
        b.insert(b.end(), {static_cast<uint8_t>(e.width), static_cast<uint8_t>(e.height), 0, 0});
        Put(b, 1, 2), Put(b, e.bitCount, 2), Put(b, static_cast<uint32_t>(e.data.size()), 4);
        Put(b, offset, 4);
        offset += static_cast<uint32_t>(e.data.size());
    }
    for (const IconEntry& e : entries)
        b.insert(b.end(), e.data.begin(), e.data.end());
    return b;
}

uint32_t Sample(uint8_t v, int depth) {
    return depth == 16 ? v * 257u : (v * ((1u << depth) - 1) + 127) / 255;
}

Bytes MakePng(const PngDesc& s) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("png write failed");
    }
    const auto write = [](png_structp p, png_bytep data, size_t length) {
        auto* to = static_cast<Bytes*>(png_get_io_ptr(p));
        to->insert(to->end(), data, data + length);
    };
    png_set_write_fn(png, &out, write, nullptr);
    png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colourType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> pal;
    for (const Rgba& c : s.palette)
        pal.push_back(png_color{c.r, c.g, c.b});
    if (s.colourType == 3) png_set_PLTE(png, info, pal.data(), static_cast<int>(pal.size()));
    const Rgba key = s.transparentRgb.value_or(Rgba{});
    auto sample = [&](int v) { return static_cast<png_uint_16>(Sample(uint8_t(v), s.bitDepth)); };
    png_color_16 trns{0, sample(key.r), sample(key.g), sample(key.b),
                      png_uint_16(s.transparentGrey)};
    if (!s.paletteAlpha.empty() || s.transparentGrey >= 0 || s.transparentRgb)
        png_set_tRNS(png, info, s.paletteAlpha.data(), static_cast<int>(s.paletteAlpha.size()),
                     s.transparentGrey >= 0 || s.transparentRgb ? &trns : nullptr);
    if (!s.exif.empty())
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(s.exif.size()),
                       const_cast<png_bytep>(s.exif.data()));
    png_write_info(png, info);
    const int depth = s.bitDepth;
    if (depth < 8) png_set_packing(png);  // one byte per sample, packed by the library
    Bytes image;                          // one byte or two per sample, row after row
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const Rgba c = s.colour(x, y);
            std::vector<uint32_t> v = {s.colourType == 3 ? s.index(x, y) : Sample(c.r, depth)};
            if (s.colourType == 2 || s.colourType == 6)
                v.insert(v.end(), {Sample(c.g, depth), Sample(c.b, depth)});
            if (s.colourType & 4) v.push_back(Sample(c.a, depth));  // grey from red
            for (uint32_t e : v) {
                if (depth == 16) image.push_back(static_cast<uint8_t>(e >> 8));
                image.push_back(static_cast<uint8_t>(e));
            }
        }
    std::vector<png_bytep> rows;
    for (int y = 0; y < s.height; ++y)
        rows.push_back(image.data() + image.size() / s.height * y);
    png_write_image(png, rows.data());
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
    const bool grey = s.kind == JpegKind::Grey, cmyk = !grey && s.kind != JpegKind::Rgb;
    c.input_components = grey ? 1 : cmyk ? 4 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (s.kind == JpegKind::Ycck) jpeg_set_colorspace(&c, JCS_YCCK);
    if (s.kind == JpegKind::CmykPlain) c.write_Adobe_marker = FALSE;
    jpeg_set_quality(&c, s.quality, TRUE);
    if (s.progressive) jpeg_simple_progression(&c);
    c.optimize_coding = s.optimize ? TRUE : FALSE;
    c.arith_code = s.arithmetic ? TRUE : FALSE;
    for (int i = 0; s.fullChroma && i < c.num_components; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    if (s.orientation) {
        const Bytes exif = Joined(
            {{'E', 'x', 'i', 'f', 0, 0}, ExifTiff(s.orientation, s.exifBigEndian, s.exifType)});
        jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    }
    if (!s.app1.empty())
        jpeg_write_marker(&c, JPEG_APP0 + 1, s.app1.data(), static_cast<unsigned>(s.app1.size()));
    if (!s.icc.empty())
        jpeg_write_icc_profile(&c, s.icc.data(), static_cast<unsigned>(s.icc.size()));
    Bytes row(static_cast<size_t>(s.width) * c.input_components);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < s.width; ++x) {
            const Rgba p = s.colour(x, static_cast<int>(c.next_scanline));
            const int max = std::max({p.r, p.g, p.b});
            // Inverted inks: what each ink lets through, scaled by the black ink's.
            auto ink = [max](int v) { return uint8_t(max ? (255 * v + max / 2) / max : 255); };
            const uint8_t inverted[4] = {ink(p.r), ink(p.g), ink(p.b), uint8_t(max)};
            const uint8_t rgb[3] = {p.r, p.g, p.b};
            std::copy_n(cmyk ? inverted : rgb, c.input_components, &row[x * c.input_components]);
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

Bytes ExifTiff(int orientation, bool bigEndian, int type) {
    Bytes t(2, bigEndian ? 'M' : 'I');
    auto p16 = [&](uint32_t v) { Put(t, v, 2, bigEndian); };
    auto p32 = [&](uint32_t v) { Put(t, v, 4, bigEndian); };
    p16(42), p32(8), p16(2);                       // two entries: an unrelated one first
    p16(0x010F), p16(2), p32(4), p32(0x00414141);  // Make: "AAA"
    p16(0x0112), p16(type), p32(1);                // one value, at the start of the value field
    const int size = type == 1 || type == 6 ? 1 : type == 3 || type == 8 ? 2 : 4;
    Put(t, orientation, size, bigEndian);
    t.resize(t.size() + 4 - size, 0);
    p32(0);
    return t;
}

Bytes DisplayP3Profile() {
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const Bytes out = SavedProfile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    return out;
}

Bytes SavedProfile(void* profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes out(size);
    cmsSaveProfileToMem(profile, out.data(), &size);
    cmsCloseProfile(profile);
    return out;
}

Bytes MakeHeif(const HeifDesc& s) {
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    Bytes out;
    if (!ctx || heif_context_get_encoder_for_format(
                    ctx, s.avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder)
                        .code != heif_error_Ok) {
        heif_context_free(ctx);
        return out;
    }
    heif_encoder_set_lossy_quality(encoder, 95);
    heif_image* image = nullptr;
    heif_image_create(s.width, s.height, heif_colorspace_RGB,
                      s.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, s.width, s.height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const int bytes = s.alpha ? 4 : 3;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const Rgba c = s.colour(x, y);  // r, g, b, a: the order of the plane
            std::memcpy(plane + static_cast<size_t>(y) * stride + x * bytes, &c, bytes);
        }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(s.orientation);
    heif_image_handle* handle = nullptr;
    heif_context_encode_image(ctx, image, encoder, options, &handle);
    if (handle && !s.exif.empty())
        heif_context_add_exif_metadata(ctx, handle, s.exif.data(), static_cast<int>(s.exif.size()));
    heif_writer writer = {1, [](heif_context*, const void* data, size_t size, void* to) {
                              const auto* p = static_cast<const uint8_t*>(data);
                              static_cast<Bytes*>(to)->assign(p, p + size);
                              return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
                          }};
    if (handle) heif_context_write(ctx, &writer, &out);
    heif_image_handle_release(handle);
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(ctx);
    return out;
}

Bytes MakeWebp(const WebpDesc& s) {
    const Pattern colour = [&s](int x, int y) {
        Rgba c = s.colour(x, y);
        c.a = s.alpha ? c.a : 255;
        return c;
    };
    return Convert(s.width, s.height, colour,
                   s.lossless ? "-define webp:lossless=true" : "-quality 95", "WEBP:");
}

namespace {

// Big-endian fields of `size` bytes each.
Bytes Big(std::initializer_list<uint32_t> values, int size) {
    Bytes b;
    for (uint32_t v : values)
        Put(b, v, size, true);
    return b;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// A box: size, type, body; a full box has version and flags first.
Bytes Box(const std::string& type, const Bytes& body) {
    return Joined({Big({static_cast<uint32_t>(body.size() + 8)}, 4), Text(type), body});
}

Bytes FullBox(const std::string& type, uint8_t version, const Bytes& body) {
    return Box(type, Joined({{version, 0, 0, 0}, body}));
}

// The first box of `type` anywhere in `file` (searched by its name), whole.
Bytes FindBox(const Bytes& file, const std::string& type) {
    for (size_t i = 4; i + 4 <= file.size(); ++i)
        if (std::equal(type.begin(), type.end(), file.begin() + static_cast<long>(i))) {
            const auto box = file.begin() + static_cast<long>(i) - 4;
            return Bytes(box, box + (uint32_t{box[0]} << 24 | box[1] << 16 | box[2] << 8 | box[3]));
        }
    throw std::runtime_error("no " + type + " box");
}

// An item's entry (version 2) of item type `type`.
Bytes Infe(uint16_t id, const std::string& type) {
    return FullBox("infe", 2, Joined({Big({id, 0}, 2), Text(type), {0}}));
}

}  // namespace

Bytes MakeHeifBoxes(const HeifBoxes& d) {
    const Bytes coded =
        MakeHeif({.width = d.width, .height = d.height, .avif = d.avif, .colour = d.colour});
    if (coded.empty()) return {};
    const Bytes config = FindBox(coded, d.avif ? "av1C" : "hvcC");
    const Bytes mdat = FindBox(coded, "mdat");
    const Bytes picture(mdat.begin() + 8, mdat.end());  // the one item's data
    const bool overlay = d.canvasWidth > 0, grid = d.gridWidth > 0 || overlay;
    const uint32_t items = grid ? 2 : 1;
    // Properties: the primary item's, in its order; a derived item's tile has the code and its
    // ispe.
    Bytes ipco;
    std::vector<uint8_t> primary, tile;
    int count = 0;
    auto property = [&](const Bytes& box) {  // its 1-based index
        ipco.insert(ipco.end(), box.begin(), box.end());
        return static_cast<uint8_t>(++count);
    };
    const Bytes ispe = Big({uint32_t(d.width), uint32_t(d.height)}, 4),
                canvas = Big({d.canvasWidth, d.canvasHeight}, 4),
                clap = Big({uint32_t(d.clapWidth), 1, uint32_t(d.clapHeight), 1, 0, 1, 0, 1}, 4);
    for (const std::string& p : d.properties) {
        if (p == "code" && !grid) primary.push_back(0x80 | property(config));
        if (p == "ispe") primary.push_back(property(FullBox("ispe", 0, overlay ? canvas : ispe)));
        if (p == "irot") primary.push_back(0x80 | property(Box("irot", {uint8_t(d.quarterTurns)})));
        if (p == "imir") primary.push_back(0x80 | property(Box("imir", {0})));
        if (p == "clap") primary.push_back(0x80 | property(Box("clap", clap)));
    }
    if (grid) {
        tile.push_back(0x80 | property(config));
        tile.push_back(property(FullBox("ispe", 0, ispe)));
    }
    Bytes ipma = Joined({Big({items}, 4), Big({1}, 2), {uint8_t(primary.size())}, primary});
    if (grid) ipma = Joined({ipma, Big({2}, 2), {uint8_t(tile.size())}, tile});
    // Items: 1 the picture (or the grid or overlay, whose data follows the picture's in mdat),
    // 2 its tile.
    const std::string codeType = d.avif ? "av01" : "hvc1";
    Bytes iinf = Joined({Big({items}, 2), Infe(1, overlay ? "iovl" : grid ? "grid" : codeType)});
    if (grid) iinf = Joined({iinf, Infe(2, codeType)});
    // A grid: version, 32-bit sizes, one row, one column, its size. An overlay: version, 32-bit
    // fields, the canvas's fill colour and size, the tile's place.
    Bytes gridData = Joined({{0, 1, 0, 0}, Big({d.gridWidth, d.gridHeight}, 4)});
    if (overlay)
        gridData =
            Joined({{0, 1},
                    Big({0xFFFF, 0, 0, 0xFFFF}, 2),
                    Big({d.canvasWidth, d.canvasHeight, uint32_t(d.tileX), uint32_t(d.tileY)}, 4)});
    auto iloc = [&](uint32_t dataStart) {
        // Each item: its id, no data reference, one extent.
        auto entry = [](uint32_t id, uint32_t offset, size_t length) {
            return Joined({Big({id, 0, 1}, 2), Big({offset, static_cast<uint32_t>(length)}, 4)});
        };
        const Bytes head = Joined({{0x44, 0x00}, Big({items}, 2)});
        if (!grid) return FullBox("iloc", 0, Joined({head, entry(1, dataStart, picture.size())}));
        const uint32_t gridStart = dataStart + static_cast<uint32_t>(picture.size());
        return FullBox("iloc", 0,
                       Joined({head, entry(1, gridStart, gridData.size()),
                               entry(2, dataStart, picture.size())}));
    };
    Bytes ftypBody = Joined({Text(d.major), Big({0}, 4)});
    for (const std::string& c : d.compatible)
        ftypBody = Joined({ftypBody, Text(c)});
    const Bytes ftyp = Box("ftyp", ftypBody);
    const Bytes hdlr = Joined({Bytes(4, 0), Text("pict"), Bytes(13, 0)});
    const Bytes iref = grid ? FullBox("iref", 0, Box("dimg", Big({1, 1, 2}, 2))) : Bytes{};
    auto meta = [&](uint32_t dataStart) {
        return FullBox(
            "meta", 0,
            Joined({FullBox("hdlr", 0, hdlr), FullBox("pitm", 0, Big({1}, 2)),
                    FullBox("iinf", 0, iinf), iloc(dataStart), iref,
                    Box("iprp", Joined({Box("ipco", ipco), FullBox("ipma", 0, ipma)}))}));
    };
    const uint32_t start = static_cast<uint32_t>(ftyp.size() + meta(0).size() + 8);
    return Joined({ftyp, meta(start), Box("mdat", grid ? Joined({picture, gridData}) : picture)});
}

Bytes RiffChunk(const std::string& type, const Bytes& body) {
    Bytes b(type.begin(), type.end());
    Put(b, static_cast<uint32_t>(body.size()), 4);
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2) b.push_back(0);
    return b;
}

Bytes WebpFile(const std::vector<Bytes>& chunks) {
    Bytes body = {'W', 'E', 'B', 'P'};
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    return RiffChunk("RIFF", body);  // of even size: every chunk is
}

Bytes WebpExtended(const Bytes& simple, int width, int height, const Bytes& icc,
                   const std::vector<std::pair<std::string, Bytes>>& after) {
    uint8_t flags = icc.empty() ? 0 : 0x20;
    for (const auto& [type, body] : after)
        flags |= type == "EXIF" ? 0x08 : 0;
    Bytes vp8x = {flags, 0, 0, 0};
    Put(vp8x, static_cast<uint32_t>(width - 1), 3), Put(vp8x, static_cast<uint32_t>(height - 1), 3);
    std::vector<Bytes> chunks = {RiffChunk("VP8X", vp8x)};
    if (!icc.empty()) chunks.push_back(RiffChunk("ICCP", icc));
    chunks.emplace_back(simple.begin() + 12, simple.end());
    for (const auto& [type, bytes] : after)
        chunks.push_back(RiffChunk(type, bytes));
    return WebpFile(chunks);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
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
    const std::string path = (dir.path / name).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

}  // namespace fixtures
