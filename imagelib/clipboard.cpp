#include "imagelib/clipboard.h"
#include "imagelib/byte_order.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>

#include "imagelib/bmp_reader.h"
#include "imagelib/image.h"
#include "imagelib/load.h"
#include "imagelib/writers.h"
#include "platform/clipboard.h"

namespace {

// --- the clipboard's offers ----------------------------------------------------------------------

bool Offered(const std::vector<std::string>& formats, const char* mime) {
    for (const std::string& f : formats)
        if (f == mime) return true;
    return false;
}

// A BMP file whose pixel offset points into its headers or past its end lies about its layout;
// such data is refused rather than read from a guessed place.
bool PixelOffsetPlausible(const ClipboardData& file) {
    if (file.size() < 18) return false;
    const uint64_t offset = U32(file.data() + 10), headers = 14 + uint64_t{U32(file.data() + 14)};
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
            picture = file ? BmpDecodeFile(data) : BmpDecodePackedDib(data);
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

std::vector<uint8_t> PngFromBitmap(const raster::Bitmap* bitmap) {
    if (!bitmap) return {};
    const OwnedEncoderRows converted = EncoderRowsOf(*bitmap);
    MemorySink png;
    if (!WritePng(png, converted.rows)) return {};
    return std::move(png.bytes);
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
    return bitmap ? BitmapToClipboard(*bitmap) : 0;
}

int BitmapToClipboard(const raster::Bitmap& bitmap) {
    const OwnedEncoderRows converted = EncoderRowsOf(bitmap);
    MemorySink bmp, png;
    if (!WriteBmp(bmp, converted.rows)) return 0;
    std::map<std::string, ClipboardData> offers;
    try {
        offers["image/bmp"] = std::move(bmp.bytes);
        if (WritePng(png, converted.rows)) offers["image/png"] = std::move(png.bytes);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return ClipboardSet(offers) ? 1 : 0;
}
