// Raster: the program's pure C++ stand-in for a graphics device interface. Bitmaps, 1:1 copies,
// stretching, fills, pixels, rectangles, lines and ellipses. No toolkit; its library links
// nothing but the C++ runtime and threads. Process-wide state: the helper thread that large
// stretches share (platform/helper_thread.h) and the allocation test hook.
//
// Pixels are blue, green, red (and a fourth byte at 32 bits per pixel). Colours handed to the
// drawing functions are 32-bit values with red in bits 0-7, green in 8-15, blue in 16-23.
// Coordinates count from the top-left pixel whatever the row order in memory; right and bottom
// edges of every rectangle are exclusive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace raster {

// Largest side a bitmap may have: image records hold sides in 16 signed bits.
constexpr int kMaxSide = 32767;

// How a bitmap's pixel memory is given back: with delete[] unless `release` is set, which then
// receives the address and `size` (for memory mapped or shared with another process).
struct PixelRelease {
    void (*release)(uint8_t* bits, size_t size) = nullptr;
    size_t size = 0;
    void operator()(uint8_t* bits) const;
};
using PixelMemory = std::unique_ptr<uint8_t[], PixelRelease>;

struct Bitmap {
    int width = 0;
    int height = 0;
    int bpp = 0;          // 16 (screen bitmap on a shallow display, 5-6-5), 24 or 32
    bool topDown = true;  // false: the bottom row comes first in memory
    bool screen = false;  // screen-compatible (32 bpp on a 24-bit display, fourth byte 0)
    int stride = 0;       // bytes per row in memory, a multiple of 4
    PixelMemory bits;     // at least height * stride bytes

    // Row y counted from the top of the picture.
    uint8_t* Row(int y) {
        return bits.get() + static_cast<size_t>(topDown ? y : height - 1 - y) * stride;
    }
    const uint8_t* Row(int y) const {
        return bits.get() + static_cast<size_t>(topDown ? y : height - 1 - y) * stride;
    }
    int BytesPerPixel() const { return bpp / 8; }
    size_t ByteSize() const { return static_cast<size_t>(stride) * static_cast<size_t>(height); }
};

// ---------------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------------

// Row stride for a width and depth: width * bpp / 8 rounded up to a multiple of 4. 0 on overflow.
size_t StrideFor(int width, int bpp);

// True when a bitmap of this size and depth may be allocated: sides 1..kMaxSide, the byte count
// does not overflow and stays within what the machine can give. Checked before any allocation.
bool SizeAllowed(int width, int height, int bpp);

// A zero-filled bitmap, or null when the size is refused or the memory cannot be had.
std::unique_ptr<Bitmap> Create(int width, int height, int bpp, bool topDown, bool screen);

// A deep copy, or null when the memory cannot be had.
std::unique_ptr<Bitmap> Clone(const Bitmap& src);

// `size` bytes of pixel memory (zero-filled when `zeroed`), or null when it cannot be had. From
// 8 MiB on the memory is a mapping of its own at a 2 MiB boundary, advised for transparent huge
// pages, and zero-filled by the kernel whatever `zeroed` says.
PixelMemory AllocatePixels(size_t size, bool zeroed);

// `size` bytes of working memory (not zeroed) on a mapping of its own at a 2 MiB boundary,
// advised for transparent huge pages, whatever the size: for rows that are written all over at
// once from the start, where one fault of a huge page beats hundreds of small ones. Null when it
// cannot be had. Not counted by the allocation test hook.
PixelMemory AllocateHugeWorkingMemory(size_t size);

// Makes the pages of pixel memory from AllocatePixels present and writable without touching
// what they hold, so that the writes that follow take no page faults: the kernel's zero fill of
// a fresh picture happens here, on whichever thread calls this, while another thread may
// already be writing the pixels. Only memory on a mapping of its own (from 8 MiB on) is
// populated; for other memory, or where the system cannot, nothing happens.
void PopulatePixels(const Bitmap& bm);

// Test hook: the n-th pixel allocation from now on (Create, Clone, AllocatePixels; 1 = the next)
// fails as if the memory could not be had; 0 switches the failure off.
void FailAllocationForTest(int nth);

// ---------------------------------------------------------------------------------------------
// Raw pixel access
// ---------------------------------------------------------------------------------------------

// Packed top-down rows, width * bytesPerPixel bytes each, no padding. `out` must hold
// width * height * bpp / 8 bytes. Fourth bytes are copied as they are.
void ReadPacked(const Bitmap& bm, uint8_t* out);

// The picture as 24-bit bottom-up rows of `stride` = StrideFor(width, 24) bytes (blue, green,
// red), the layout of BMP files and of the encoders. `out` holds stride * height bytes.
void ToBgr24BottomUp(const Bitmap& bm, uint8_t* out);

// Colour of one pixel as red | green << 8 | blue << 16; 0 outside the bitmap.
uint32_t GetPixel(const Bitmap& bm, int x, int y);

// ---------------------------------------------------------------------------------------------
// Quarter turns
// ---------------------------------------------------------------------------------------------

// Turns a band of `count` 24-bit rows of `length` pixels each into `length` runs of `count`
// pixels: pixel u of rows[k] goes to pixel k of output row r, which starts at out + r * outStep,
// where r = u, or length - 1 - u when `backwards`. Nothing beside the runs is written; no byte
// past a row's `length` pixels is read. Bytes are moved as they are; byte shuffles are used
// where the processor has them.
void TurnRows24(const uint8_t* const* rows, int count, int length, bool backwards, uint8_t* out,
                ptrdiff_t outStep);

// Test hook: false makes TurnRows24 move pixel by pixel even where the processor could move
// them in blocks; true (the start) lets it choose again. The bytes are the same.
void AllowShufflesForTest(bool allowed);

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

enum class Mix { Copy, Invert };  // Invert: the pixels under the shape are inverted (R2_NOT)

// Sets one pixel; outside the bitmap nothing happens. Ignores the mix mode of other shapes.
void SetPixel(Bitmap& bm, int x, int y, uint32_t colour);

// Fills [x, x+w) x [y, y+h), clipped to the bitmap.
void FillRect(Bitmap& bm, int x, int y, int w, int h, uint32_t colour, Mix mix = Mix::Copy);

// A rectangle from (x, y) to (x + w, y + h), right and bottom exclusive: a one-pixel outline in
// `pen`, filled inside the outline with `brush` unless `filled` is false.
void Rectangle(Bitmap& bm, int x, int y, int w, int h, uint32_t pen, bool filled, uint32_t brush,
               Mix mix = Mix::Copy);

// A line from (x0, y0) towards (x1, y1); the end point itself is not drawn.
void Line(Bitmap& bm, int x0, int y0, int x1, int y1, uint32_t colour, Mix mix = Mix::Copy);

// An ellipse inscribed in the box (left, top) to (right, bottom), right and bottom exclusive: a
// one-pixel outline in `pen`, filled inside with `brush` unless `filled` is false.
void Ellipse(Bitmap& bm, int left, int top, int right, int bottom, uint32_t pen, bool filled,
             uint32_t brush, Mix mix = Mix::Copy);

// ---------------------------------------------------------------------------------------------
// Copying and stretching
// ---------------------------------------------------------------------------------------------

enum class Rop { SrcCopy, NotSrcErase };  // NotSrcErase: dest = ~(src | dest)

// Copies the w x h rectangle at (sx, sy) of `src` to (dx, dy) of `dst`, 1:1, clipped to both
// bitmaps. Depths may differ. Returns false when nothing could be copied.
bool Blit(Bitmap& dst, int dx, int dy, int w, int h, const Bitmap& src, int sx, int sy,
          Rop rop = Rop::SrcCopy);

enum class StretchMode { Halftone, ColorOnColor };

// Stretches the whole of `src` onto the dw x dh rectangle at (dx, dy) of `dst` (clipped to dst).
// Halftone: every destination pixel is the area-weighted mean of the source pixels it covers when
// reducing, a bilinear filter when enlarging. ColorOnColor: nearest source pixel. A source of a
// megapixel or more is shared between two threads, row by row of the destination: the same pixels.
bool Stretch(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, StretchMode mode,
             Rop rop = Rop::SrcCopy);

// The same for the sw x sh part at (sx, sy) of `src`, which must lie wholly inside it: exactly
// the pixels Stretch writes from a copy of that part. False for a part outside the source.
bool StretchPart(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, int sx, int sy,
                 int sw, int sh, StretchMode mode, Rop rop = Rop::SrcCopy);

// The halftone stretch of a picture whose rows arrive one at a time, top to bottom, onto the
// whole of `dst`: exactly the pixels Stretch(dst, 0, 0, dst.width, dst.height, src, Halftone)
// writes, without the picture ever being whole. Only for reductions of the height.
class RowReducer {
public:
    RowReducer();
    ~RowReducer();
    RowReducer(const RowReducer&) = delete;
    RowReducer& operator=(const RowReducer&) = delete;

    // Prepares for a source of srcWidth x srcHeight pixels of 24 or 32 bits. False (and Add
    // does nothing) when dst is taller than the source, a size is invalid or memory is short.
    bool Start(Bitmap& dst, int srcWidth, int srcHeight, int srcBpp);
    // The next source row; each destination row is written once its last source row arrived.
    void Add(const uint8_t* row);
    // True once every destination row has been written.
    bool Done() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace raster
