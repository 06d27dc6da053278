#include "imagelib/jpeg_encoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <jpeglib.h>

#include "imagelib/save.h"

namespace {

struct ErrorJump {
    jpeg_error_mgr pub;  // first, so that the library's pointer is also ours
    jmp_buf jump;
};

// Replaces the library's exit(): returns to Compress. The caller reports the failure in its own
// words (the window's message, the batch's line); the library's English text stays unprinted.
[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->jump, 1);
}

// Owns the compression object for the whole call, so it is destroyed however Compress ends.
struct Compressor {
    jpeg_compress_struct cinfo;
    ErrorJump err;
    Compressor() {
        std::memset(&cinfo, 0, sizeof cinfo);
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = OnFatalError;
        err.pub.output_message = [](j_common_ptr) {};
    }
    ~Compressor() { jpeg_destroy_compress(&cinfo); }  // safe on a partly created object
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

// All library calls that can fail run here. Only trivial locals: a longjmp out of the library
// skips no destructors.
// Into `out` when set, else into the library's growing memory buffer `*memory` (which it
// allocates; the caller frees it whatever happens). `quality` is libjpeg's, 1..100.
bool Compress(Compressor* c, FILE* out, unsigned char** memory, unsigned long* memorySize,
              const uint8_t* pixels, int width, int height, int stride, int quality,
              const ImageMetadata* metadata, uint8_t* row) {
    if (setjmp(c->err.jump)) return false;
    jpeg_create_compress(&c->cinfo);
    if (out)
        jpeg_stdio_dest(&c->cinfo, out);
    else
        jpeg_mem_dest(&c->cinfo, memory, memorySize);
    c->cinfo.image_width = static_cast<JDIMENSION>(width);
    c->cinfo.image_height = static_cast<JDIMENSION>(height);
    c->cinfo.input_components = 3;
    c->cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c->cinfo);
    jpeg_set_quality(&c->cinfo, quality, FALSE);
    if (metadata && metadata->densityDpi > 0) {
        c->cinfo.density_unit = 1;  // dots per inch
        c->cinfo.X_density = c->cinfo.Y_density =
            static_cast<UINT16>(metadata->densityDpi > 65535 ? 65535 : metadata->densityDpi);
    }
    jpeg_start_compress(&c->cinfo, TRUE);
    // A marker holds at most 65533 bytes of body; longer data would corrupt the file.
    if (metadata && !metadata->exif.empty() && metadata->exif.size() <= 65533)
        jpeg_write_marker(&c->cinfo, JPEG_APP0 + 1, metadata->exif.data(),
                          static_cast<unsigned>(metadata->exif.size()));
    for (int y = 0; y < height; ++y) {
        // Rows arrive bottom-up; the file wants the top row first, red before blue.
        const uint8_t* src = pixels + static_cast<size_t>(stride) * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&c->cinfo, rows, 1);
    }
    jpeg_finish_compress(&c->cinfo);
    return true;
}

int Clamp(int quality) {
    return quality < 0 ? 0 : quality > 10 ? 10 : quality;
}

}  // namespace

int JpegEncode(const char* path, const uint8_t* pixels, int width, int height, int stride,
               int quality, const ImageMetadata* metadata) {
    if (!path || !pixels || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION || stride < width * 3)
        return 0;
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(width) * 3]);
    if (!row) return 0;
    FileReplace out(path);
    if (!out.stream()) return 0;
    Compressor compressor;
    if (!Compress(&compressor, out.stream(), nullptr, nullptr, pixels, width, height, stride,
                  Clamp(quality) * 10, metadata, row.get()))
        return 0;
    return out.Commit() ? 1 : 0;
}

bool JpegEncodeToMemory(std::vector<uint8_t>& out, const uint8_t* pixels, int width, int height,
                        int stride, int quality, const ImageMetadata* metadata) {
    out.clear();
    if (!pixels || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION || stride < width * 3 || quality < 1 || quality > 100)
        return false;
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(width) * 3]);
    if (!row) return false;
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    bool ok = false;
    {
        Compressor compressor;
        ok = Compress(&compressor, nullptr, &memory, &size, pixels, width, height, stride, quality,
                      metadata, row.get());
    }
    // The buffer is the library's, from malloc, even after a failure part way.
    struct Free {
        unsigned char* p;
        ~Free() { std::free(p); }
    } owned{memory};
    if (!ok || !memory) return false;
    try {
        out.assign(memory, memory + size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void RegisterJpegEncoder() {
    static const ImageEncoder encoder{JPEG_ENCODER_ID, JpegEncode};
    ImageRegisterEncoder(&encoder);
}
