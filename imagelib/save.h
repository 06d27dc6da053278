// Saving numbered images: the built-in BMP writer and a registry of encoders chosen by a 32-bit
// identifier. A file is written under a temporary name next to its target and renamed over it
// only when every byte reached the disk, so a failed save never leaves a truncated picture and
// never replaces an existing file. No operation shows a message; failure returns 0.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "imagelib/writers.h"
#include "platform/raster.h"

// Format identifiers: 0 is the BMP writer; "JPEG" read as a little-endian 32-bit value.
constexpr uint32_t IMAGE_FORMAT_BMP = 0;
constexpr uint32_t JPEG_ENCODER_ID = 0x4745504A;

// What a file carries besides its pixels; an encoder writes what its format can hold.
struct ImageMetadata {
    std::vector<uint8_t> exif;  // an APP1 segment's body: "Exif\0\0" and a TIFF structure
    int densityDpi = 0;         // pixels per inch to record; 0 leaves the encoder's default
};

// One encoder. `encode` receives h rows of `stride` bytes, bottom row first, blue-green-red
// pixels, and the metadata to write (may be null), and returns 1 when the file was written
// completely, else 0.
struct ImageEncoder {
    uint32_t identifier;
    int (*encode)(const char* path, const uint8_t* pixels, int width, int height, int stride,
                  int quality, const ImageMetadata* metadata);
};

// ---------------------------------------------------------------------------------------------
// Saving
// ---------------------------------------------------------------------------------------------

// Writes image `number` to `path`: format 0 as a 24-bit BMP, otherwise through the encoder with
// that identifier, which receives `quality` and `metadata` unchanged (the BMP writer ignores
// both). 1 on success, 0 on failure (no image, no path, no memory, no such encoder, the file
// could not be written completely).
[[nodiscard]] int ImageSaveFile(int number, const char* path, uint32_t format, int quality,
                                const ImageMetadata* metadata = nullptr);
// Writes `bitmap` as ImageSaveFile writes an image; needs no image table, so threads may write
// bitmaps of their own at the same time.
[[nodiscard]] int BitmapSaveFile(const raster::Bitmap& bitmap, const char* path, uint32_t format,
                                 int quality, const ImageMetadata* metadata = nullptr);
// Writes a 24-bit bottom-up BMP file (54-byte headers, no colour table) from encoder-layout
// rows through WriteBmp. 1 on success, 0 on failure.
[[nodiscard]] int BmpWriter(const char* path, const uint8_t* pixels, int width, int height,
                            int stride);

// ---------------------------------------------------------------------------------------------
// Encoder registry (at most 100 encoders; the first with a matching identifier wins)
// ---------------------------------------------------------------------------------------------

// Appends `encoder` (not copied: it must outlive the program's use of the registry). Ignored
// when null, when it is in the table already or when the table is full.
void ImageRegisterEncoder(const ImageEncoder* encoder);
// Calls the first registered encoder with `identifier`; 0 when there is none.
[[nodiscard]] int ImageEncode(const char* path, const uint8_t* pixels, uint32_t identifier,
                              int width, int height, int stride, int quality,
                              const ImageMetadata* metadata = nullptr);

// ---------------------------------------------------------------------------------------------
// Complete-or-nothing file writing, for the writer and the encoders
// ---------------------------------------------------------------------------------------------

class FileReplace final : public ByteSink {
public:
    // Opens a temporary file in the folder of `path`; stream() is null when that fails.
    explicit FileReplace(const char* path);
    // Removes the temporary file unless Commit succeeded.
    ~FileReplace();
    FileReplace(const FileReplace&) = delete;
    FileReplace& operator=(const FileReplace&) = delete;

    FILE* stream() const { return file_; }
    // Appends to the temporary file; false when it is not open or the write fails.
    bool Write(std::span<const uint8_t> bytes) override;
    // Flushes, syncs and closes the temporary file and renames it over the target. False when
    // any step failed; the target is then untouched and the temporary gone.
    [[nodiscard]] bool Commit();

private:
    std::string target_;
    std::string temp_;
    FILE* file_ = nullptr;
    bool committed_ = false;
};
