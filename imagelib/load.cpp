#include "imagelib/load.h"

#include <sys/stat.h>

#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "imagelib/bmp_reader.h"
#include "imagelib/heif_decoder.h"
#include "imagelib/ico_reader.h"
#include "imagelib/image.h"
#include "imagelib/jpeg_decoder.h"
#include "imagelib/png_decoder.h"
#include "imagelib/webp_decoder.h"

namespace {

constexpr int kMaxDecoders = 100;

struct DecoderTable {
    const ImageDecoder* entries[kMaxDecoders] = {};
    int count = 0;
    const ImageDecoder* current = nullptr;  // the decoder whose probe succeeded
    std::FILE* stream = nullptr;            // the file it decodes
    std::vector<uint8_t> exif;              // of the picture last decoded
    LoadError refusal = LoadError::None;    // why the last ImageDecodeBitmap gave nothing
};

DecoderTable g_decoders;
LoadLimits g_limits;

// Closes the open file and releases the current decoder's state if its decode never ran.
void ForgetCurrent() {
    if (g_decoders.current && g_decoders.current->discard) g_decoders.current->discard();
    g_decoders.current = nullptr;
    if (g_decoders.stream) std::fclose(g_decoders.stream);
    g_decoders.stream = nullptr;
}

// Owns a stdio stream for the length of a scope.
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for reading; pipes, devices and directories are not picture files.
File OpenRegular(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return File(std::fopen(path, "rb"));
}

// The whole of an open file, within the size limit. Null when it cannot be had; `error` says
// why.
std::unique_ptr<uint8_t[]> ReadAll(std::FILE* f, size_t* size, LoadError* error) {
    *error = LoadError::Unreadable;
    if (std::fseek(f, 0, SEEK_END) != 0) return nullptr;
    long length = std::ftell(f);
    if (length < 0 || std::fseek(f, 0, SEEK_SET) != 0) return nullptr;
    *error = LoadError::TooLarge;
    if (static_cast<unsigned long>(length) > g_limits.maxFileBytes) return nullptr;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[length > 0 ? length : 1]);
    if (!data) return nullptr;
    *size = std::fread(data.get(), 1, static_cast<size_t>(length), f);
    *error = LoadError::None;
    return data;
}

// Pixels with alpha are laid over white, as on paper: nothing after loading draws with alpha,
// and the colour stored under a transparent pixel is often black or noise. The picture keeps its
// depth and becomes opaque. 32-bit BMPs never come here: their fourth byte is rarely alpha.
std::unique_ptr<raster::Bitmap> OnWhite(std::unique_ptr<raster::Bitmap> bm) {
    if (!bm || bm->bpp != 32) return bm;
    for (int y = 0; y < bm->height; ++y) {
        uint8_t* p = bm->Row(y);
        for (int x = 0; x < bm->width; ++x, p += 4) {
            const unsigned a = p[3];
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>((p[c] * a + 255 * (255 - a) + 127) / 255);
            p[3] = 255;
        }
    }
    return bm;
}

// A screen-compatible bitmap of the preview's size for a width x height picture, or null.
std::unique_ptr<raster::Bitmap> NewPreview(const LoadPreview& preview, int width, int height) {
    int pw = 0, ph = 0;
    if (!preview.size) return nullptr;
    preview.size(width, height, pw, ph);
    return ImageMakeBitmap(pw, ph, IMAGE_SCREEN_BITMAP, 0);
}

// The preview stretched from the whole picture, as the drawing surface draws it.
void MakePreview(LoadPreview* preview, const raster::Bitmap& picture) {
    if (!preview) return;
    preview->bitmap = NewPreview(*preview, picture.width, picture.height);
    if (preview->bitmap &&
        !raster::Stretch(*preview->bitmap, 0, 0, preview->bitmap->width, preview->bitmap->height,
                         picture, raster::StretchMode::Halftone))
        preview->bitmap.reset();
}

// Why our BMP reader refused a file: the sides its header announces tell a picture over the
// limits from a damaged one.
LoadError BmpRefusal(const uint8_t* data, size_t size) {
    auto at = [&](size_t i, int bytes) {
        int64_t v = 0;
        for (int k = bytes - 1; k >= 0; --k)
            v = v << 8 | data[i + k];
        return bytes == 4 ? static_cast<int64_t>(static_cast<int32_t>(v)) : v;
    };
    if (size < 26) return LoadError::Damaged;
    const bool core = at(14, 4) == 12;
    if (!core && size < 30) return LoadError::Damaged;
    const int64_t w = core ? at(18, 2) : at(18, 4);
    int64_t h = core ? at(20, 2) : at(22, 4);
    if (h < 0) h = -h;
    if (w > raster::kMaxSide || h > raster::kMaxSide ||
        (w > 0 && h > 0 &&
         static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > g_limits.maxPixels))
        return LoadError::TooLarge;
    return LoadError::Damaged;
}

LoadError ProbeRefusal(int answer) {
    return answer == DECODE_TOO_LARGE ? LoadError::TooLarge : LoadError::Damaged;
}

}  // namespace

LoadResult ImageLoadFile(int number, const char* path, LoadPreview* preview) {
    LoadResult result;
    if (number < 0) {
        result.error = LoadError::Unreadable;
        return result;
    }
    std::unique_ptr<raster::Bitmap> picture;
    {
        File f = OpenRegular(path);
        if (!f) {
            result.error = LoadError::Unreadable;
            return result;
        }
        uint8_t head[6] = {};
        size_t got = std::fread(head, 1, sizeof head, f.get());
        if (std::ferror(f.get())) {
            result.error = LoadError::Unreadable;
            return result;
        }
        if (got >= 2 && head[0] == 'B' && head[1] == 'M') {
            // Our BMP reader has the last word on BMP files: none is offered further.
            size_t size = 0;
            auto data = ReadAll(f.get(), &size, &result.error);
            if (!data) return result;
            picture = BmpDecodeFile(data.get(), size);
            if (!picture) {
                result.error = BmpRefusal(data.get(), size);
                return result;
            }
        } else if (IcoLooksLike(head, got)) {
            size_t size = 0;
            LoadError ignored;
            auto data = ReadAll(f.get(), &size, &ignored);
            if (data) picture = OnWhite(IcoDecode(data.get(), size));
        }
    }
    if (preview) preview->bitmap.reset();
    std::vector<uint8_t> exif;
    if (picture) {
        MakePreview(preview, *picture);
    } else {
        int format = ImageFindDecoder(path);
        if (format <= 0) {
            result.error = format < 0 ? ProbeRefusal(format) : LoadError::NotAPicture;
            if (preview) preview->bitmap.reset();
            return result;
        }
        picture = ImageDecodeBitmap(format, preview);
        exif.swap(g_decoders.exif);
        if (!picture) {
            result.error = g_decoders.refusal;
            if (preview) preview->bitmap.reset();
            return result;
        }
    }
    // Only a picture that loaded replaces what the number held.
    result.bitmap = ImageAdopt(number, std::move(picture), 0);
    if (!result.bitmap) result.error = LoadError::TooLarge;
    if (result.bitmap) ImageSetExif(number, std::move(exif));
    return result;
}

std::unique_ptr<raster::Bitmap> ImageDecodeMemory(const uint8_t* data, size_t size) {
    if (!data) return nullptr;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return BmpDecodeFile(data, size);
    if (IcoLooksLike(data, size))
        if (auto icon = IcoDecode(data, size)) return OnWhite(std::move(icon));
    if (auto jpeg = JpegDecodeMemory(data, size)) return jpeg;
    if (auto png = OnWhite(PngDecodeMemory(data, size))) return png;
    if (auto heif = OnWhite(HeifDecodeMemory(data, size))) return heif;
    return OnWhite(WebpDecodeMemory(data, size));
}

void ImageResetDecoders() {
    ForgetCurrent();
    g_decoders.count = 0;
}

void ImageRegisterDecoder(const ImageDecoder* decoder) {
    if (!decoder || g_decoders.count >= kMaxDecoders) return;
    for (int i = 0; i < g_decoders.count; ++i)
        if (g_decoders.entries[i] == decoder) return;
    g_decoders.entries[g_decoders.count++] = decoder;
}

int ImageFindDecoder(const char* path) {
    ForgetCurrent();
    File f = OpenRegular(path);
    if (!f) return 0;
    int refusal = 0;
    for (int i = 0; i < g_decoders.count; ++i) {
        const ImageDecoder* d = g_decoders.entries[i];
        if (std::fseek(f.get(), 0, SEEK_SET) != 0) return 0;
        int format = d->probe(f.get(), path);
        if (format > 0) {
            g_decoders.current = d;
            g_decoders.stream = f.release();
            return format;
        }
        if (format < 0 && refusal == 0) refusal = format;
    }
    return refusal;
}

std::unique_ptr<raster::Bitmap> ImageDecodeBitmap(int format, LoadPreview* preview) {
    const ImageDecoder* d = g_decoders.current;
    g_decoders.refusal = LoadError::NotAPicture;
    if (!d) return nullptr;
    int w = d->width(), h = d->height();
    int bpp = format == DECODE_32BIT ? 32 : 24;
    std::unique_ptr<raster::Bitmap> bm;
    if (ImageLoadSizeAllowed(w, h, bpp)) bm = raster::Create(w, h, bpp, true, false);
    if (!bm) {
        ForgetCurrent();
        g_decoders.refusal = LoadError::TooLarge;
        return nullptr;
    }
    g_decoders.exif.clear();
    if (d->exif) {
        try {
            d->exif(&g_decoders.exif);
        } catch (const std::bad_alloc&) {
            g_decoders.exif.clear();  // the picture matters more than its tags
        }
    }
    // A picture of which not one row could be decoded would be wholly made up.
    std::unique_ptr<raster::Bitmap> reduced;
    // Rows reduced as they arrive would miss the white under transparent pixels.
    if (preview && d->decodeWithPreview && bpp == 24) reduced = NewPreview(*preview, w, h);
    bool made = false;
    const bool decoded = reduced ? d->decodeWithPreview(bm->bits.get(), bm->stride, *reduced, &made)
                                 : d->decode(bm->bits.get(), bm->stride);
    g_decoders.current = nullptr;
    ForgetCurrent();
    g_decoders.refusal = decoded ? LoadError::None : LoadError::Damaged;
    if (!decoded) return nullptr;
    bm = OnWhite(std::move(bm));
    if (made) {
        preview->bitmap = std::move(reduced);
    } else {
        MakePreview(preview, *bm);
    }
    return bm;
}

const LoadLimits& ImageLoadLimits() {
    return g_limits;
}

void ImageSetLoadLimits(const LoadLimits& limits) {
    g_limits = limits;
}

bool ImageLoadSizeAllowed(int width, int height, int bpp) {
    if (width < 1 || height < 1 || width > raster::kMaxSide || height > raster::kMaxSide)
        return false;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > g_limits.maxPixels)
        return false;
    return raster::SizeAllowed(width, height, bpp);
}
