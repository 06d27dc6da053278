// Writing pictures as bytes: BMP files and packed device-independent bitmaps, and PNG files, into
// any byte sink, so that files and the clipboard get the very same bytes from one writer each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/raster.h"

// Where a writer's bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Appends the bytes; false when they could not all be taken (the write has failed).
    [[nodiscard]] virtual bool Write(std::span<const uint8_t> bytes) = 0;
};

// Bytes gathered in memory.
class MemorySink final : public ByteSink {
public:
    bool Write(std::span<const uint8_t> bytes) override;
    std::vector<uint8_t> bytes;
};

// Rows as encoders take them: `height` rows of `stride` bytes, the bottom row first, each pixel
// blue, green, red.
struct EncoderRows {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    size_t stride = 0;
};

// A bitmap converted to encoder rows (stride raster::StrideFor(width, 24), the fourth byte of
// 32-bit pixels dropped), with the memory that holds them. `pixels` is null when the bitmap is
// empty or memory runs out.
struct OwnedEncoderRows {
    std::unique_ptr<uint8_t[]> memory;
    EncoderRows rows;
};
[[nodiscard]] OwnedEncoderRows EncoderRowsOf(const raster::Bitmap& bitmap);

// ---------------------------------------------------------------------------------------------
// Writers
// ---------------------------------------------------------------------------------------------

// A 24-bit bottom-up BMP: the 14-byte file header ("BM", file size, pixels at 54), then the
// 40-byte information header (image size filled in, no colour table), then the rows as they are.
// False when the sizes do not fit the format's 32-bit fields or the sink fails.
[[nodiscard]] bool WriteBmp(ByteSink& sink, const EncoderRows& rows);
// An 8-bit RGB PNG at the fastest compression: pasting and batch output should feel instant.
// False when the library fails or the sink does.
[[nodiscard]] bool WritePng(ByteSink& sink, const EncoderRows& rows);
