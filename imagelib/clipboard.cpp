#include "imagelib/clipboard.h"
#include "imagelib/byte_order.h"

#include <sys/stat.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>

#include <png.h>

#include "imagelib/bmp_reader.h"
#include "imagelib/image.h"
#include "imagelib/load.h"
#include "platform/clipboard.h"

namespace {

// --- writing PNG ---------------------------------------------------------------------------------

struct PngSink {
    uint8_t* data = nullptr;
    size_t size = 0, capacity = 0;
    ~PngSink() { std::free(data); }
};

void PngWriteData(png_structp png, png_bytep bytes, size_t length) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    if (length > sink->capacity - sink->size) {
        size_t want = sink->capacity ? sink->capacity * 2 : 65536;
        if (want < sink->size + length) want = sink->size + length;
        auto* grown = static_cast<uint8_t*>(std::realloc(sink->data, want));
        if (!grown) png_error(png, "out of memory");
        sink->data = grown;
        sink->capacity = want;
    }
    std::memcpy(sink->data + sink->size, bytes, length);
    sink->size += length;
}

void PngFlush(png_structp) {}

// Owns the library's write objects for the whole call.
struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngWriter() {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (png) info = png_create_info_struct(png);
    }
    ~PngWriter() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;
};

// Library calls that can fail run here, with trivial locals only.
bool WritePng(PngWriter* w, PngSink* sink, const uint8_t* rows, int width, int height,
              size_t stride) {
    if (setjmp(png_jmpbuf(w->png))) return false;
    png_set_write_fn(w->png, sink, PngWriteData, PngFlush);
    png_set_IHDR(w->png, w->info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Pasting should feel instant; the best ratio is not worth seconds on a large photo.
    png_set_compression_level(w->png, 1);
    png_write_info(w->png, w->info);
    png_set_bgr(w->png);
    for (int y = 0; y < height; ++y)
        png_write_row(w->png, rows + stride * static_cast<size_t>(height - 1 - y));
    png_write_end(w->png, w->info);
    return true;
}

// PNG from 24-bit bottom-up rows.
std::vector<uint8_t> PngFromBottomUp(const uint8_t* rows, int width, int height, size_t stride) {
    PngWriter writer;
    if (!writer.info) return {};
    PngSink sink;
    if (!WritePng(&writer, &sink, rows, width, height, stride)) return {};
    try {
        return std::vector<uint8_t>(sink.data, sink.data + sink.size);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// --- the clipboard's offers ----------------------------------------------------------------------

bool Offered(const std::vector<std::string>& formats, const char* mime) {
    for (const std::string& f : formats)
        if (f == mime) return true;
    return false;
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A BMP file whose pixel offset points into its headers or past its end lies about its layout;
// such data is refused rather than read from a guessed place.
bool PixelOffsetPlausible(const ClipboardData& file) {
    if (file.size() < 18) return false;
    const uint64_t offset = Le32(file.data() + 10), headers = 14 + uint64_t{Le32(file.data() + 14)};
    return offset >= headers && offset < file.size();
}

bool TooLarge(const ClipboardData& data) {
    return data.size() > ImageLoadLimits().maxFileBytes;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The local path of a uri-list holding exactly one file: URL; empty otherwise.
std::string SingleLocalFile(const ClipboardData& data) {
    if (data.size() > 65536) return {};
    std::string text(data.begin(), data.end());
    std::string uri;
    int count = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        uri = line;
        ++count;
    }
    if (count != 1) return {};
    std::string rest;
    if (uri.rfind("file:///", 0) == 0) {
        rest = uri.substr(7);
    } else if (uri.rfind("file://localhost/", 0) == 0) {
        rest = uri.substr(16);
    } else {
        return {};
    }
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%') {
            if (i + 2 >= rest.size()) return {};
            const int hi = HexValue(rest[i + 1]), lo = HexValue(rest[i + 2]);
            if (hi < 0 || lo < 0) return {};
            char c = static_cast<char>(hi * 16 + lo);
            if (c == '\0') return {};
            path += c;
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

// The whole of a regular file, within the loader's size limit; empty otherwise.
ClipboardData ReadSmallFile(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
        static_cast<uint64_t>(st.st_size) > ImageLoadLimits().maxFileBytes)
        return {};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    ClipboardData bytes;
    try {
        bytes.resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        std::fclose(f);
        return {};
    }
    size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) return {};
    return bytes;
}

// The clipboard's picture, decoded; the lossless offers are preferred.
std::unique_ptr<raster::Bitmap> ClipboardPicture() {
    const std::vector<std::string> formats = ClipboardFormats();
    for (const char* mime :
         {"image/png", "image/bmp", "image/x-bmp", "image/x-ms-bmp", "image/webp", "image/jpeg",
          "image/heic", "image/heif", "image/avif", "text/uri-list"}) {
        if (!Offered(formats, mime)) continue;
        ClipboardData data = ClipboardGet(mime);
        if (data.empty() || TooLarge(data)) continue;
        std::unique_ptr<raster::Bitmap> picture;
        if (std::strstr(mime, "bmp")) {
            // Some programs offer a bare packed DIB under this name instead of a file.
            const bool file = data.size() >= 2 && data[0] == 'B' && data[1] == 'M';
            if (file && !PixelOffsetPlausible(data)) continue;
            picture = file ? BmpDecodeFile(data.data(), data.size())
                           : BmpDecodePackedDib(data.data(), data.size());
        } else if (std::strcmp(mime, "text/uri-list") == 0) {
            const std::string path = SingleLocalFile(data);
            if (path.empty()) continue;
            const ClipboardData file = ReadSmallFile(path);
            if (!file.empty()) picture = ImageDecodeMemory(file);
        } else {
            picture = ImageDecodeMemory(data);
        }
        if (picture) return picture;
    }
    return nullptr;
}

}  // namespace

// --- public operations ---------------------------------------------------------------------------

std::vector<uint8_t> PackedDibFromBitmap(const raster::Bitmap* bitmap) {
    if (!bitmap || bitmap->width <= 0 || bitmap->height <= 0) return {};
    const size_t stride = raster::StrideFor(bitmap->width, 24);
    const uint64_t imageSize = static_cast<uint64_t>(stride) * bitmap->height;
    if (stride == 0 || imageSize > 0xffffffffu - 54) return {};
    std::vector<uint8_t> dib;
    try {
        dib.resize(40 + imageSize);
    } catch (const std::bad_alloc&) {
        return {};
    }
    uint8_t* h = dib.data();
    Put32(h, 40);
    Put32(h + 4, static_cast<uint32_t>(bitmap->width));
    Put32(h + 8, static_cast<uint32_t>(bitmap->height));  // positive: bottom row first
    Put16(h + 12, 1);
    Put16(h + 14, 24);
    Put32(h + 20, static_cast<uint32_t>(imageSize));
    raster::ToBgr24BottomUp(*bitmap, h + 40);
    return dib;
}

std::vector<uint8_t> PngFromBitmap(const raster::Bitmap* bitmap) {
    const std::vector<uint8_t> dib = PackedDibFromBitmap(bitmap);
    if (dib.empty()) return {};
    return PngFromBottomUp(dib.data() + 40, bitmap->width, bitmap->height,
                           raster::StrideFor(bitmap->width, 24));
}

raster::Bitmap* ImageFromClipboard(int number) {
    std::unique_ptr<raster::Bitmap> picture = ClipboardPicture();
    if (!picture) return nullptr;
    std::unique_ptr<raster::Bitmap> screen =
        ImageMakeBitmap(picture->width, picture->height, IMAGE_SCREEN_BITMAP, 0);
    if (!screen) return nullptr;
    if (!raster::Blit(*screen, 0, 0, picture->width, picture->height, *picture, 0, 0))
        return nullptr;
    picture.reset();  // the two full copies need not coexist with the stored one
    return ImageAdopt(number, std::move(screen), IMAGE_SCREEN_BITMAP);
}

int ImageToClipboard(int number) {
    const raster::Bitmap* bitmap = ImageGetBitmap(number);
    if (!bitmap) return 0;
    const std::vector<uint8_t> dib = PackedDibFromBitmap(bitmap);
    if (dib.empty()) return 0;

    std::map<std::string, ClipboardData> offers;
    try {
        // A BMP file is the packed DIB behind a 14-byte file header.
        ClipboardData file(14 + dib.size());
        file[0] = 'B';
        file[1] = 'M';
        Put32(file.data() + 2, static_cast<uint32_t>(file.size()));
        Put32(file.data() + 10, 54);
        std::memcpy(file.data() + 14, dib.data(), dib.size());
        offers["image/bmp"] = std::move(file);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::vector<uint8_t> png = PngFromBottomUp(dib.data() + 40, bitmap->width, bitmap->height,
                                               raster::StrideFor(bitmap->width, 24));
    if (!png.empty()) offers["image/png"] = std::move(png);
    return ClipboardSet(offers) ? 1 : 0;
}
