#include "imagelib/writers.h"

#include <png.h>

#include <csetjmp>
#include <new>

#include "imagelib/byte_order.h"

namespace {

void PngWriteData(png_structp png, png_bytep bytes, size_t length) {
    auto* sink = static_cast<ByteSink*>(png_get_io_ptr(png));
    if (!sink->Write({bytes, length})) png_error(png, "write failed");
}

void PngFlush(png_structp) {}

// A failed write is reported by the caller in its own words; libpng's English lines stay off
// standard error. The error function must not return: it leaves through the library's jump.
[[noreturn]] void PngQuietError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PngQuietWarning(png_structp, png_const_charp) {}

// Owns the library's write objects for the whole call.
struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngWriter() {
        png =
            png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngQuietError, PngQuietWarning);
        if (png) info = png_create_info_struct(png);
    }
    ~PngWriter() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;
};

// Library calls that can fail run here, with trivial locals only.
bool Compress(PngWriter* w, ByteSink* sink, const EncoderRows* rows) {
    if (setjmp(png_jmpbuf(w->png))) return false;
    png_set_write_fn(w->png, sink, PngWriteData, PngFlush);
    png_set_IHDR(w->png, w->info, static_cast<png_uint_32>(rows->width),
                 static_cast<png_uint_32>(rows->height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(w->png, 1);
    png_write_info(w->png, w->info);
    png_set_bgr(w->png);
    for (int y = 0; y < rows->height; ++y)
        png_write_row(w->png,
                      rows->pixels + rows->stride * static_cast<size_t>(rows->height - 1 - y));
    png_write_end(w->png, w->info);
    return true;
}

}  // namespace

bool MemorySink::Write(std::span<const uint8_t> more) {
    try {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

OwnedEncoderRows EncoderRowsOf(const raster::Bitmap& bitmap) {
    OwnedEncoderRows out;
    const size_t stride = raster::StrideFor(bitmap.width, 24);
    if (!bitmap.bits || bitmap.width <= 0 || bitmap.height <= 0 || stride == 0) return out;
    out.memory.reset(new (std::nothrow) uint8_t[stride * static_cast<size_t>(bitmap.height)]);
    if (!out.memory) return out;
    raster::ToBgr24BottomUp(bitmap, out.memory.get());
    out.rows = EncoderRows{out.memory.get(), bitmap.width, bitmap.height, stride};
    return out;
}

bool WriteBmp(ByteSink& sink, const EncoderRows& rows) {
    if (!rows.pixels || rows.width <= 0 || rows.height <= 0 || rows.stride == 0) return false;
    const uint64_t imageSize = uint64_t{rows.stride} * static_cast<uint64_t>(rows.height);
    if (imageSize + 54 > 0xffffffffu) return false;
    uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, static_cast<uint32_t>(54 + imageSize));
    Put32(header + 10, 54);
    uint8_t* info = header + 14;
    Put32(info, 40);
    Put32(info + 4, static_cast<uint32_t>(rows.width));
    Put32(info + 8, static_cast<uint32_t>(rows.height));  // positive: bottom row first
    Put16(info + 12, 1);
    Put16(info + 14, 24);
    Put32(info + 20, static_cast<uint32_t>(imageSize));
    return sink.Write(std::span<const uint8_t>(header)) &&
           sink.Write({rows.pixels, static_cast<size_t>(imageSize)});
}

bool WritePng(ByteSink& sink, const EncoderRows& rows) {
    if (!rows.pixels || rows.width <= 0 || rows.height <= 0) return false;
    PngWriter writer;
    return writer.info && Compress(&writer, &sink, &rows);
}
