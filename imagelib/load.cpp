#include "imagelib/load.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "imagelib/bmp_reader.h"
#include "imagelib/confined_decode.h"
#include "imagelib/heif_decoder.h"
#include "imagelib/ico_reader.h"
#include "imagelib/image.h"
#include "imagelib/jpeg_decoder.h"
#include "imagelib/png_decoder.h"
#include "imagelib/webp_decoder.h"
#include "platform/helper_thread.h"

namespace {

// Owns a stdio stream for the length of a scope.
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for reading; pipes, devices and folders are not picture files.
File OpenRegular(const char* path, LoadError& error) {
    struct stat st;
    error = LoadError::Unreadable;
    if (!path || stat(path, &st) != 0) return nullptr;
    if (S_ISDIR(st.st_mode)) error = LoadError::Folder;
    if (!S_ISREG(st.st_mode)) return nullptr;
    return File(std::fopen(path, "rb"));
}

// The whole of an open file, within the size limit. Null when it cannot be had; `error` says
// why.
std::unique_ptr<uint8_t[]> ReadAll(std::FILE* f, size_t& size, LoadError& error) {
    error = LoadError::Unreadable;
    if (std::fseek(f, 0, SEEK_END) != 0) return nullptr;
    long length = std::ftell(f);
    if (length < 0 || std::fseek(f, 0, SEEK_SET) != 0) return nullptr;
    error = LoadError::TooLarge;
    if (static_cast<unsigned long>(length) > ImageLoadLimits().maxFileBytes) return nullptr;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[length > 0 ? length : 1]);
    if (!data) return nullptr;
    // A file that shrank since its length was taken is decoded as far as it goes.
    size = std::fread(data.get(), 1, static_cast<size_t>(length), f);
    error = std::ferror(f) ? LoadError::Unreadable : LoadError::None;
    return error == LoadError::None ? std::move(data) : nullptr;
}

void UnmapFile(uint8_t* bytes, size_t size) {
    munmap(bytes, size);
}

// The whole of an open file of a format decoded confined, within the size limit, read into a
// sealed memfd (`sealed`, see ConfinedFileBytes) and mapped from there: the helper then takes
// the very bytes the probes read without another copy. Null, and `sealed` -1, when it cannot
// be had that way; the file is then read as any other.
raster::PixelMemory ReadSealed(std::FILE* f, size_t& size, int& sealed) {
    struct stat st;
    sealed = -1;
    if (fstat(fileno(f), &st) != 0 || st.st_size <= 0 ||
        static_cast<uint64_t>(st.st_size) > ImageLoadLimits().maxFileBytes)
        return nullptr;
    const int fd = ConfinedFileBytes(fileno(f), static_cast<uint64_t>(st.st_size));
    if (fd < 0) return nullptr;
    struct stat got;
    void* map = MAP_FAILED;
    if (fstat(fd, &got) == 0 && got.st_size > 0)
        map = mmap(nullptr, static_cast<size_t>(got.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    size = static_cast<size_t>(got.st_size);
    sealed = fd;
    return raster::PixelMemory(static_cast<uint8_t*>(map), raster::PixelRelease{UnmapFile, size});
}

// True when one of the formats (only those decoded confined, with `confinedOnly`) recognises
// the file's first bytes.
bool AnySniffs(std::span<const ImageDecoder* const> formats, ByteView head,
               bool confinedOnly = false) {
    for (const ImageDecoder* f : formats)
        if ((!confinedOnly || ImageDecodesConfined(*f)) && f->sniff(head)) return true;
    return false;
}

// Probes the file with each format whose sniff test it passes, in table order; `sealed`, when
// given, holds the file for the confined formats (see ReadSealed).
void Probe(std::span<const ImageDecoder* const> formats, ByteView file, FoundDecoder& found,
           int sealed = -1) {
    found.error = LoadError::NotAPicture;
    const ByteView head = file.first(std::min(file.size(), kSniffBytes));
    for (const ImageDecoder* f : formats) {
        if (!f->sniff(head)) continue;
        Probed probed = ImageDecodesConfined(*f) ? ConfinedProbe(*f, file, sealed) : f->probe(file);
        if (Accepted(probed.answer)) {
            found.bpp = RowBits(probed.answer);
            found.entry = f;
            found.decoder = std::move(probed.decoder);
            found.error = LoadError::None;
            return;
        }
        if (Refused(probed.answer) && found.error == LoadError::NotAPicture)
            found.error =
                probed.answer == ProbeAnswer::TooLarge ? LoadError::TooLarge : LoadError::Damaged;
    }
}

// Pixels with alpha are laid over white, as on paper: nothing after loading draws with alpha,
// and the colour stored under a transparent pixel is often black or noise. The picture keeps its
// depth and becomes opaque.
void LayOnWhite(raster::Bitmap& bm) {
    if (bm.bpp != 32) return;
    for (int y = 0; y < bm.height; ++y) {
        uint8_t* p = bm.Row(y);
        for (int x = 0; x < bm.width; ++x, p += 4) {
            for (int c = 0; c < 3; ++c)
                p[c] = OverWhite(p[c], p[3]);
            p[3] = 255;
        }
    }
}

// A screen-compatible bitmap of the preview's size for a width x height picture, or null.
std::unique_ptr<raster::Bitmap> NewPreview(const LoadPreview& preview, int width, int height) {
    if (!preview.size) return nullptr;
    const PreviewSides sides = preview.size(width, height);
    return ImageMakeBitmap(sides.width, sides.height, IMAGE_SCREEN_BITMAP, 0);
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

}  // namespace

LoadResult ImageLoadFile(int number, const char* path, LoadPreview* preview) {
    LoadResult result;
    if (preview) preview->bitmap.reset();
    if (number < 0) {
        result.error = LoadError::Unreadable;
        return result;
    }
    std::vector<uint8_t> exif;
    auto picture = ImageDecodeBitmap(ImageFindDecoder(path), result, preview, &exif);
    if (!picture) return result;
    // Only a picture that loaded replaces what the number held.
    result.bitmap = ImageAdopt(number, std::move(picture), 0);
    if (!result.bitmap) {
        result.error = LoadError::TooLarge;
        result.rows = {};
        if (preview) preview->bitmap.reset();
        return result;
    }
    ImageSetExif(number, std::move(exif));
    return result;
}

std::unique_ptr<raster::Bitmap> ImageDecodeMemory(ByteView file) {
    if (file.size() > ImageLoadLimits().maxFileBytes) return nullptr;
    FoundDecoder found;
    Probe(ImageFormats(), file, found);
    LoadOutcome ignored;
    return ImageDecodeBitmap(std::move(found), ignored);
}

std::span<const ImageDecoder* const> ImageFormats() {
    static const ImageDecoder* const formats[] = {BmpFormat(),  IcoFormat(),   JpegDecoder(),
                                                  PngDecoder(), HeifDecoder(), WebpDecoder()};
    return formats;
}

FoundDecoder ImageFindDecoder(const char* path) {
    FoundDecoder found;
    File f = OpenRegular(path, found.error);
    if (!f) return found;
    uint8_t head[kSniffBytes];
    const size_t got = std::fread(head, 1, sizeof head, f.get());
    if (std::ferror(f.get())) return found;
    found.error = LoadError::NotAPicture;
    if (!AnySniffs(ImageFormats(), ByteView(head, got))) return found;
    size_t size = 0;
    int sealed = -1;
    if (AnySniffs(ImageFormats(), ByteView(head, got), true))
        found.file = ReadSealed(f.get(), size, sealed);
    if (!found.file)
        found.file = raster::PixelMemory(ReadAll(f.get(), size, found.error).release());
    if (!found.file) return found;
    f.reset();
    Probe(ImageFormats(), ByteView(found.file.get(), size), found, sealed);
    if (sealed >= 0) close(sealed);
    return found;
}

std::unique_ptr<raster::Bitmap> ImageDecodeBitmap(FoundDecoder found, LoadOutcome& outcome,
                                                  LoadPreview* preview, std::vector<uint8_t>* exif,
                                                  std::unique_ptr<raster::Bitmap> spare) {
    LoadError& error = outcome.error;
    outcome.rows = {};
    error = found.error;
    if (preview) preview->bitmap.reset();
    if (!found.decoder) return nullptr;
    PictureDecoder& d = *found.decoder;
    std::unique_ptr<raster::Bitmap> bm = d.TakeBitmap();
    std::unique_ptr<raster::Bitmap> reduced;
    helper::Job populate;  // declared before the picture it works on is filled, waited for first
    bool made = false;
    DecodedRows rows;
    const auto takeExif = [&] {
        if (!exif) return;
        try {
            *exif = d.Exif();
        } catch (const std::bad_alloc&) {
            exif->clear();  // the picture matters more than its tags
        }
    };
    if (bm) {
        rows = d.ReadyRows(bm->height);
        takeExif();  // a picture decoded by the confined helper has its tags with it
    } else {
        const int w = d.Width(), h = d.Height();
        const int bpp = found.bpp;
        bool fresh = false;
        if (spare && spare->bits && spare->width == w && spare->height == h && spare->bpp == bpp &&
            spare->topDown && !spare->screen) {
            bm = std::move(spare);  // its pages are mapped already
        } else {
            spare.reset();
            if (ImageLoadSizeAllowed(w, h, bpp)) bm = raster::Create(w, h, bpp, true, false);
            fresh = true;
        }
        error = LoadError::TooLarge;
        if (!bm) return nullptr;
        // A fresh picture's pages are made present on the second core while this one decodes,
        // so that the decoder's writes do not wait for the kernel to fault and zero them. With
        // the second core busy the decoder's own writes fault them in as they come.
        if (fresh) (void)populate.Start([picture = bm.get()] { raster::PopulatePixels(*picture); });
        takeExif();
        // Rows reduced as they arrive would miss the white under transparent pixels.
        if (preview && d.ReducesWhileDecoding() && bpp == 24) reduced = NewPreview(*preview, w, h);
        rows = reduced ? d.DecodeWithPreview(bm->bits.get(), bm->stride, *reduced, made)
                       : d.Decode(bm->bits.get(), bm->stride);
        populate.Wait();  // the preview's stretch may share its rows with the second core
        // A picture of which not one row could be decoded would be wholly made up.
        error = LoadError::Damaged;
        if (rows.decoded <= 0) return nullptr;
    }
    // The decoder's state and the file's bytes go before the preview is made.
    found.decoder.reset();
    found.file.reset();
    if (found.entry->alphaOnWhite) LayOnWhite(*bm);
    if (made) {
        preview->bitmap = std::move(reduced);
    } else {
        MakePreview(preview, *bm);
    }
    error = LoadError::None;
    outcome.rows = rows;
    return bm;
}
