#include "imagelib/image.h"

#include <new>
#include <utility>

#include "platform/display.h"
#include "platform/registry.h"

namespace {

// The image drawing target: the image currently open as a drawing target (none when `open` is
// null) and the descriptor handed to the drawing surface.
struct ImageTargetBlock {
    raster::Bitmap* open = nullptr;
    DrawTarget target;
};

// The image objects' state: the numbered table and the drawing target.
struct ImageState {
    ObjectTable<ImageRecord> images;
    ImageTargetBlock target;
};
ImageState g_image;

// Closes the image drawing target, if one is open. A drawing surface still working on it stops
// drawing: the pixels it would reach may be gone after this.
void CloseImageTarget() {
    if (!g_image.target.open) return;
    DrawForget(&g_image.target.target);
    g_image.target.open = nullptr;
    g_image.target.target.surface = nullptr;
}

void FinishImageTarget(DrawTarget*) {
    CloseImageTarget();
}

ImageRecord* Find(int number) {
    return ObjectTableFind(g_image.images, number);
}

// Fills `record` from `bitmap`, whose ownership passes to the record.
raster::Bitmap* Store(ImageRecord* record, std::unique_ptr<raster::Bitmap> bitmap, uint8_t flags) {
    record->handle = bitmap.release();
    record->width = static_cast<int16_t>(record->handle->width);
    record->height = static_cast<int16_t>(record->handle->height);
    record->depth = static_cast<int8_t>(record->handle->bpp);
    record->flags = flags;
    return record->handle;
}

}  // namespace

void ImageInit() {
    if (g_image.images.records)
        ImageReleaseAll();  // a second start-up must not leak the old images
    ObjectTableCreate(g_image.images, 16, ImageRelease);
    CloseImageTarget();
    g_image.target = ImageTargetBlock{};
}

raster::Bitmap* ImageNew(int number, int width, int height) {
    ImageRecord* record = ObjectTableObtain(g_image.images, number);
    if (!record) return nullptr;
    std::unique_ptr<raster::Bitmap> bitmap = ImageMakeBitmap(width, height, IMAGE_SCREEN_BITMAP, 0);
    if (!bitmap) return nullptr;
    // Bitmaps come zero-filled, which is black in every pixel format.
    return Store(record, std::move(bitmap), IMAGE_SCREEN_BITMAP);
}

void ImageRelease(int number) {
    ImageRecord* record = Find(number);
    if (!record) return;
    if (g_image.target.open == record->handle) CloseImageTarget();
    delete record->handle;
    delete record->exif;
    ObjectTableClear(g_image.images, number);
}

void ImageReleaseAll() {
    ObjectTableFirst(g_image.images);
    int number = 0;
    while (ObjectTableNext(g_image.images, &number))
        ImageRelease(number);
}

int ImageExists(int number) {
    return Find(number) ? 1 : 0;
}

int ImageGetWidth(int number) {
    ImageRecord* record = Find(number);
    return record ? record->width : 0;
}

int ImageGetHeight(int number) {
    ImageRecord* record = Find(number);
    return record ? record->height : 0;
}

int ImageGetDepth(int number) {
    ImageRecord* record = Find(number);
    return record ? record->depth : 0;
}

raster::Bitmap* ImageGetBitmap(int number) {
    ImageRecord* record = Find(number);
    return record ? record->handle : nullptr;
}

int ImageGetFlags(int number) {
    ImageRecord* record = Find(number);
    return record ? record->flags : 0;
}

std::unique_ptr<raster::Bitmap> ImageMakeBitmap(int width, int height, int flags, int depth) {
    if (flags & IMAGE_SCREEN_BITMAP) {
        return raster::Create(width, height, DisplayBitmapBpp(), true, true);
    }
    return raster::Create(width, height, depth, false, false);
}

DrawTarget* ImageDrawTarget(int number) {
    CloseImageTarget();
    ImageRecord* record = Find(number);
    if (!record) return nullptr;
    g_image.target.open = record->handle;
    g_image.target.target.kind = 2;
    g_image.target.target.surface = record->handle;
    g_image.target.target.finish = FinishImageTarget;
    g_image.target.target.owner = &g_image.target;
    return &g_image.target.target;
}

raster::Bitmap* ImageAdopt(int number, std::unique_ptr<raster::Bitmap> bitmap, uint8_t flags) {
    ImageRecord* record = ObjectTableObtain(g_image.images, number);
    if (!record || !bitmap || !bitmap->bits) return nullptr;
    if (bitmap->width < 1 || bitmap->height < 1 || bitmap->width > raster::kMaxSide ||
        bitmap->height > raster::kMaxSide) {
        return nullptr;  // the record cannot describe it
    }
    return Store(record, std::move(bitmap), flags);
}

void ImageSetExif(int number, std::vector<uint8_t> exif) {
    ImageRecord* record = Find(number);
    if (!record) return;
    delete record->exif;
    record->exif = nullptr;
    if (!exif.empty()) record->exif = new (std::nothrow) std::vector<uint8_t>(std::move(exif));
}

const std::vector<uint8_t>* ImageGetExif(int number) {
    ImageRecord* record = Find(number);
    return record ? record->exif : nullptr;
}
