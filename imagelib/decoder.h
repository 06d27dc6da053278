// The decoder interface: what a picture-file decoder offers the loader. A decoder recognises a
// file, reports the picture's size and writes pixel rows into memory the loader provides; it never
// sees the image table. Pixels are blue, green, red (and alpha at 4 bytes per pixel), rows from the
// top of the picture down, row k at buffer + k * stride.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/raster.h"

// Probe answers.
constexpr int DECODE_24BIT = 1;  // rows will hold 3 bytes per pixel
constexpr int DECODE_32BIT = 2;  // rows will hold 4 bytes per pixel

struct ImageDecoder {
    // 0 when the file is not in this format, else DECODE_24BIT or DECODE_32BIT. The stream is
    // positioned at offset 0. A successful probe leaves the decoder holding its state for decode.
    int (*probe)(std::FILE* stream, const char* path);
    // Writes the picture found by the last successful probe and releases the decoder's state.
    // A decoding error keeps the rows written so far.
    void (*decode)(uint8_t* buffer, int stride);
    // Width and height in pixels found by the last successful probe (upright, after any
    // orientation the file asks for).
    int (*width)();
    int (*height)();
    // Releases the state of a successful probe whose decode will never run. May be null.
    void (*discard)();
    // Like decode, and reduces the upright picture onto the whole of `preview` while the rows
    // arrive, with exactly the pixels of the halftone stretch of the finished picture. False when
    // the preview was not made that way (the picture is decoded all the same). May be null.
    bool (*decodeWithPreview)(uint8_t* buffer, int stride, raster::Bitmap& preview);
};

// Holds a decoder's state from its successful probe through the decoder table to the decode that
// follows, and offers the table's decode, width, height and discard entries over it. Session has
// Decode(buffer, stride), Width() and Height().
template <class Session>
struct DecoderSlot {
    static inline std::unique_ptr<Session> current;

    static void Decode(uint8_t* buffer, int stride) {
        if (!current) return;
        current->Decode(buffer, stride);
        current.reset();
    }
    static int Width() { return current ? current->Width() : 0; }
    static int Height() { return current ? current->Height() : 0; }
    static void Discard() { current.reset(); }
};
