// Loading picture files into numbered images: BMP files by our own reader, icon files, and every
// other file through the registered decoders (JPEG, then PNG). No operation shows a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/decoder.h"
#include "platform/raster.h"

// Limits that keep hostile files from costing unbounded memory or time. The defaults let every
// legitimate photo of 100 megapixels through, progressive and four-component JPEGs included.
struct LoadLimits {
    uint64_t maxPixels = uint64_t{1} << 28;     // width * height of one picture
    size_t maxDecoderMemory = size_t{1} << 31;  // working memory of one decoder library
    int maxJpegScans = 300;                     // scans of a progressive JPEG
    size_t maxFileBytes = size_t{1} << 30;      // a file read whole into memory
    bool pngIgnoreChecksums = false;            // fuzzers: let mutated data reach inflate
};

// Why a file was not loaded.
enum class LoadError {
    None,
    NotAPicture,  // no reader recognises the file
    Damaged,      // recognised, but broken, or cut off before the first row of the picture
    TooLarge,     // over the limits (sides, pixels, file size) or the memory at hand
    Unreadable,   // missing, not a regular file, no permission, read error
};

// The outcome of a load: the new bitmap, or null and the reason.
struct [[nodiscard]] LoadResult {
    raster::Bitmap* bitmap = nullptr;
    LoadError error = LoadError::None;
    explicit operator bool() const { return bitmap != nullptr; }
};

// ---------------------------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------------------------

// A reduced copy of the picture, made while it loads.
struct LoadPreview {
    // The preview's size for an upright picture of width x height.
    void (*size)(int width, int height, int& previewWidth, int& previewHeight) = nullptr;
    // Set by a successful load: a screen-compatible bitmap of that size holding the halftone
    // stretch of the whole picture onto it. Null when it could not be made.
    std::unique_ptr<raster::Bitmap> bitmap;
};

// Loads the picture file at `path` into image `number`, with the file's EXIF data (see
// ImageGetExif): the new image's bitmap, or the reason it was refused. A failed load leaves
// whatever the number held untouched. A file that breaks off inside the picture loads with the rows
// decoded before the break; the rest is neutral grey. With `preview`, also makes the preview; a
// decoder that can reduces the rows into it as they arrive, on a second thread. Pictures with alpha
// (PNG, icons, HEIF, WebP) come laid over white, each colour c with alpha a becoming
// (c * a + 255 * (255 - a) + 127) / 255, and opaque; BMP files keep their fourth byte.
LoadResult ImageLoadFile(int number, const char* path, LoadPreview* preview = nullptr);
// Loads a picture held in memory (a whole file's bytes) into a new bitmap, trying the readers in
// the order ImageLoadFile does, with alpha laid over white as there. Null when no reader accepts
// it.
std::unique_ptr<raster::Bitmap> ImageDecodeMemory(const uint8_t* data, size_t size);

// ---------------------------------------------------------------------------------------------
// Decoder registry
// ---------------------------------------------------------------------------------------------

// Empties the decoder table and forgets any file being decoded. Run once at start.
void ImageResetDecoders();
// Appends a decoder to the table (up to 100); a decoder already in the table is not added again.
void ImageRegisterDecoder(const ImageDecoder* decoder);
// Registers the JPEG decoder / the PNG decoder; a second call does nothing. The HEIF and WebP
// decoders register through heif_decoder.h and webp_decoder.h.
void RegisterJpegDecoder();
void RegisterPngDecoder();
// Opens the file and probes it with each decoder in registration order. Returns the first
// positive answer (that decoder becomes current and the file stays open); else the first refusal
// (DECODE_DAMAGED, DECODE_TOO_LARGE) of a decoder that recognised the file, else 0.
int ImageFindDecoder(const char* path);
// Makes a top-down bitmap for the current decoder's picture (24 bits, or 32 for DECODE_32BIT)
// and lets the decoder fill it, alpha laid over white; closes the file. Null when the bitmap
// cannot be made or not one row could be decoded. With `preview`, also makes the preview as
// ImageLoadFile does.
std::unique_ptr<raster::Bitmap> ImageDecodeBitmap(int format, LoadPreview* preview = nullptr);

// ---------------------------------------------------------------------------------------------
// Limits
// ---------------------------------------------------------------------------------------------

// The limits in force.
const LoadLimits& ImageLoadLimits();
// Replaces the limits (fuzzers and tests use smaller ones).
void ImageSetLoadLimits(const LoadLimits& limits);
// True when a picture of this size may be decoded: sides 1..raster::kMaxSide, at most
// maxPixels pixels, and the raster accepts the bitmap.
bool ImageLoadSizeAllowed(int width, int height, int bpp);
