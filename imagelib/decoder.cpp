#include "imagelib/decoder.h"

#include "imagelib/load_limits.h"

std::unique_ptr<raster::Bitmap> DecodeWhole(const ImageDecoder& format, ByteView file) {
    Probed probed = format.probe(file);
    if (probed.answer <= 0) return nullptr;
    if (auto ready = probed.decoder->TakeBitmap()) return ready;
    auto bm = raster::Create(probed.decoder->Width(), probed.decoder->Height(),
                             probed.answer == DECODE_32BIT ? 32 : 24, true, false);
    if (!bm || probed.decoder->Decode(bm->bits.get(), bm->stride).decoded == 0) return nullptr;
    return bm;
}

int PictureSizeRefusal(int width, int height, int bpp, size_t fileBytes, uint64_t maxPixelsPerByte,
                       uint64_t workingBytesPerPixel) {
    if (!ImageLoadSizeAllowed(width, height, bpp)) return DECODE_TOO_LARGE;
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (pixels > kSmallPicture && pixels / maxPixelsPerByte > fileBytes) return DECODE_DAMAGED;
    if (workingBytesPerPixel && pixels * workingBytesPerPixel > ImageLoadLimits().maxDecoderMemory)
        return DECODE_TOO_LARGE;
    return 0;
}
