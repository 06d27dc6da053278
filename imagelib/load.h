// Loading picture files into numbered images through one constant table of formats: our BMP and
// icon readers first, then JPEG, PNG, HEIF and WebP, each chosen by its sniff test and probe,
// never by the file's name. No operation shows a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "imagelib/decoder.h"
#include "imagelib/load_limits.h"
#include "platform/raster.h"

// Why a file was not loaded.
enum class LoadError {
    None,
    NotAPicture,  // no reader recognises the file
    Damaged,      // recognised, but broken, or cut off before the first row of the picture
    TooLarge,     // over the limits (sides, pixels, file size) or the memory at hand
    Unreadable,   // missing, not a regular file, no permission, read error
    Folder,       // a folder, not a file
};

// How a load or decode ended: the reason it failed, or how much of the picture the file held.
struct LoadOutcome {
    LoadError error = LoadError::None;
    // With a picture: its rows that were decoded, of all. Fewer when the file broke off inside
    // the picture (the rest is neutral grey); the picture is then not what the file was meant
    // to hold, and whoever shows or writes it says so.
    DecodedRows rows;
    bool Incomplete() const { return error == LoadError::None && !rows.Whole(); }
};

// The outcome of a load: the new bitmap, or null and the reason.
struct [[nodiscard]] LoadResult : LoadOutcome {
    raster::Bitmap* bitmap = nullptr;
    explicit operator bool() const { return bitmap != nullptr; }
};

// ---------------------------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------------------------

// The sides of a preview in pixels.
struct PreviewSides {
    int width = 0;
    int height = 0;
    bool operator==(const PreviewSides&) const = default;
};

// A reduced copy of the picture, made while it loads.
struct LoadPreview {
    // The preview's size for an upright picture of width x height.
    PreviewSides (*size)(int width, int height) = nullptr;
    // Set by a successful load: a screen-compatible bitmap of that size holding the halftone
    // stretch of the whole picture onto it. Null when it could not be made.
    std::unique_ptr<raster::Bitmap> bitmap;
};

// Loads the picture file at `path` into image `number`, with the file's EXIF data (see
// ImageGetExif): the new image's bitmap, or the reason it was refused. The file is read once,
// whole. A failed load leaves whatever the number held untouched. A file that breaks off inside
// the picture loads with the rows decoded before the break (the result's rows say how many); the
// rest is neutral grey. With
// `preview`, also makes the preview; a decoder that can reduces the rows into it as they arrive,
// on a second thread. Pictures with alpha (PNG, icons, HEIF, WebP) come laid over white, each
// colour c with alpha a becoming (c * a + 255 * (255 - a) + 127) / 255, and opaque; BMP files
// keep their fourth byte.
LoadResult ImageLoadFile(int number, const char* path, LoadPreview* preview = nullptr);
// Decodes a picture held in memory (a whole file's bytes) into a new bitmap through the format
// table, with alpha laid over white as ImageLoadFile does. Null when no format
// accepts it; a picture that breaks off is kept with its grey rest.
std::unique_ptr<raster::Bitmap> ImageDecodeMemory(ByteView file);

// ---------------------------------------------------------------------------------------------
// Formats
// ---------------------------------------------------------------------------------------------

// The format table, in probe order: BMP, icons, JPEG, PNG, HEIF, WebP. Files and pictures held in
// memory alike go through all of it.
std::span<const ImageDecoder* const> ImageFormats();

// A file and the decoder that recognised it, owned by the caller from the probe to the decode.
struct [[nodiscard]] FoundDecoder {
    // The bits per pixel of the rows the decoder writes, 24 or 32; 0 when there is no decoder,
    // and `error` says why.
    int bpp = 0;
    LoadError error = LoadError::NotAPicture;
    const ImageDecoder* entry = nullptr;
    raster::PixelMemory file;  // the bytes the decoder reads; outlives it
    std::unique_ptr<PictureDecoder> decoder;
};

// Reads the file at `path` once, whole (within maxFileBytes) and probes it with each format of
// the table whose sniff test its first bytes pass, in table order. The first format to accept it
// wins; else the first refusal (Damaged, TooLarge) of a format that recognised the file, else
// NotAPicture. Nothing is read past the first bytes when no format recognises them.
FoundDecoder ImageFindDecoder(const char* path);
// Makes a top-down bitmap for the found picture (of `found.bpp` bits; a reader's own bitmap as
// it is) and lets the decoder fill it, alpha laid over white when its format says so;
// hands out the EXIF data through `exif` when not null. Null when the bitmap cannot be made
// (`outcome.error` TooLarge) or not one row could be decoded (Damaged); else `outcome.rows`
// says how many rows were decoded. With `preview`, also makes the preview as ImageLoadFile does.
// `spare`, a bitmap of an earlier picture that is done with, lends its memory when it has the
// new picture's size and depth (the decoder writes every pixel); otherwise it is freed first.
[[nodiscard]] std::unique_ptr<raster::Bitmap> ImageDecodeBitmap(
    FoundDecoder found, LoadOutcome& outcome, LoadPreview* preview = nullptr,
    std::vector<uint8_t>* exif = nullptr, std::unique_ptr<raster::Bitmap> spare = nullptr);
