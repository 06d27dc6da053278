// The decoder interface: what a picture-file decoder offers the loader. A decoder recognises a
// file, reports the picture's size and writes pixel rows into memory the loader provides; it never
// sees the image table. Pixels are blue, green, red (and alpha at 4 bytes per pixel), rows from the
// top of the picture down, row k at buffer + k * stride.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/raster.h"

// Probe answers.
constexpr int DECODE_24BIT = 1;  // rows will hold 3 bytes per pixel
constexpr int DECODE_32BIT = 2;  // rows will hold 4 bytes per pixel
// Refusals of a probe that recognised its format; the next decoder is still tried.
constexpr int DECODE_DAMAGED = -1;    // the file is broken (its header, or far too short)
constexpr int DECODE_TOO_LARGE = -2;  // the picture is over the load limits
// What a decode that breaks off leaves in the pixels it could not decode: neutral grey, opaque.
constexpr uint8_t kUndecodedGrey = 128;

struct ImageDecoder {
    // 0 when the file is not in this format, else DECODE_24BIT or DECODE_32BIT, or a refusal.
    // The stream is positioned at offset 0. A successful probe leaves the decoder holding its
    // state for decode.
    int (*probe)(std::FILE* stream, const char* path);
    // Writes the picture found by the last successful probe and releases the decoder's state.
    // A decode that breaks off keeps the rows decoded before the break and fills the rest with
    // kUndecodedGrey (alpha 255); false when not one row could be decoded.
    bool (*decode)(uint8_t* buffer, int stride);
    // Width and height in pixels found by the last successful probe (upright, after any
    // orientation the file asks for).
    int (*width)();
    int (*height)();
    // Releases the state of a successful probe whose decode will never run. May be null.
    void (*discard)();
    // Like decode (same answer), and reduces the upright picture onto the whole of `preview`
    // while the rows arrive, with exactly the pixels of the halftone stretch of the finished
    // picture; *previewMade is false when the preview was not made that way. May be null.
    bool (*decodeWithPreview)(uint8_t* buffer, int stride, raster::Bitmap& preview,
                              bool* previewMade);
    // The EXIF data (a TIFF structure) of the picture found by the last successful probe, empty
    // when it has none. Asked before decode. May be null.
    void (*exif)(std::vector<uint8_t>* out);
};

// Fills rows [from, height) of a picture `width` pixels wide with kUndecodedGrey, opaque.
inline void FillUndecodedRows(uint8_t* buffer, int stride, int width, int height, int from,
                              int bytesPerPixel) {
    for (int y = from < 0 ? 0 : from; y < height; ++y) {
        uint8_t* row = buffer + static_cast<size_t>(y) * static_cast<size_t>(stride);
        std::memset(row, kUndecodedGrey, static_cast<size_t>(width) * bytesPerPixel);
        if (bytesPerPixel == 4)
            for (int x = 0; x < width; ++x)
                row[x * 4 + 3] = 255;
    }
}

// Holds a decoder's state from its successful probe through the decoder table to the decode that
// follows, and offers the table's decode, width, height, discard and exif entries over it.
// Session has bool Decode(buffer, stride), Width(), Height() and Exif() (the TIFF bytes, or empty).
template <class Session>
struct DecoderSlot {
    static inline std::unique_ptr<Session> current;

    static bool Decode(uint8_t* buffer, int stride) {
        if (!current) return false;
        const bool decoded = current->Decode(buffer, stride);
        current.reset();
        return decoded;
    }
    static int Width() { return current ? current->Width() : 0; }
    static int Height() { return current ? current->Height() : 0; }
    static void Discard() { current.reset(); }
    static void Exif(std::vector<uint8_t>* out) {
        out->clear();
        if (current) *out = current->Exif();
    }
};
