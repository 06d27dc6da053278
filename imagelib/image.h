// Image objects: numbered pictures, each one raster bitmap with its size, depth and flags cached
// in the record, and the EXIF data of the file it came from. The library puts no meaning on
// numbers; the window program uses 100 (picture), 101 (preview) and 1 (scratch of the depth
// test). Bitmaps the code holds for itself (an export's cut, the batch's pictures) stay out of
// the table: the numbered operations are a face over the raster and the bitmap operations
// (BitmapSaveFile, BitmapToClipboard), and they keep their int results (non-zero for yes). No
// operation shows a message; failure returns 0 or null.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imagelib/draw.h"
#include "platform/raster.h"

constexpr uint8_t IMAGE_SCREEN_BITMAP = 128;

struct ImageRecord {
    raster::Bitmap* handle;  // the bitmap, owned by the record; null = number free
    int16_t width;
    int16_t height;              // always positive, whatever the row order
    int8_t depth;                // bits per pixel
    uint8_t flags;               // IMAGE_SCREEN_BITMAP or 0
    std::vector<uint8_t>* exif;  // the EXIF data of the file it came from, owned; null if none
};

// ---------------------------------------------------------------------------------------------
// Image objects
// ---------------------------------------------------------------------------------------------

// Makes the image table (16 slots, growth 16, release hook ImageRelease); images held before are
// released.
void ImageInit();
// A black screen-compatible image under `number` (an image held there is released first).
// Returns its bitmap, or null; on failure the number is free.
raster::Bitmap* ImageNew(int number, int width, int height);
// Releases the image under `number`; a free number is left alone.
void ImageRelease(int number);
// Releases every image.
void ImageReleaseAll();
// Non-zero when `number` holds an image.
int ImageExists(int number);
// Width, height, bits per pixel, bitmap of the image; 0 / null for a free number.
int ImageGetWidth(int number);
int ImageGetHeight(int number);
int ImageGetDepth(int number);
raster::Bitmap* ImageGetBitmap(int number);
// Flags of the image (IMAGE_SCREEN_BITMAP or 0); 0 for a free number.
int ImageGetFlags(int number);
// A new zero-filled bitmap: screen-compatible (the display's depth) when flags include
// IMAGE_SCREEN_BITMAP, else a bottom-up bitmap of `depth` bits. Null when refused.
std::unique_ptr<raster::Bitmap> ImageMakeBitmap(int width, int height, int flags, int depth);
// A drawing target on the image's bitmap, or null. Only one image is a target at a time:
// a target handed out earlier is closed first.
DrawTarget* ImageDrawTarget(int number);

// Stores `bitmap` under `number` with `flags`, releasing what the number held. Returns the
// stored bitmap, or null (number free) when the table cannot grow or the bitmap is null.
raster::Bitmap* ImageAdopt(int number, std::unique_ptr<raster::Bitmap> bitmap, uint8_t flags);
// Attaches the EXIF data (a TIFF structure) of the file the image came from; empty detaches.
// Replacing or releasing the image drops it.
void ImageSetExif(int number, std::vector<uint8_t> exif);
// The EXIF data attached to the image; null when none (or a free number).
const std::vector<uint8_t>* ImageGetExif(int number);
