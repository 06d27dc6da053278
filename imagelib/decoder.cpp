#include "imagelib/decoder.h"

#include "imagelib/exif.h"
#include "imagelib/load_limits.h"

std::unique_ptr<raster::Bitmap> DecodeWhole(const ImageDecoder& format, ByteView file) {
    Probed probed = format.probe(file);
    if (!Accepted(probed.answer)) return nullptr;
    if (auto ready = probed.decoder->TakeBitmap()) return ready;
    auto bm = raster::Create(probed.decoder->Width(), probed.decoder->Height(),
                             RowBits(probed.answer), true, false);
    if (!bm || probed.decoder->Decode(bm->bits.get(), bm->stride).decoded == 0) return nullptr;
    return bm;
}

std::optional<ProbeAnswer> PictureSizeRefusal(int width, int height, int bpp, size_t fileBytes,
                                              uint64_t maxPixelsPerByte,
                                              uint64_t workingBytesPerPixel) {
    if (!ImageLoadSizeAllowed(width, height, bpp)) return ProbeAnswer::TooLarge;
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (pixels > kSmallPicture && pixels / maxPixelsPerByte > fileBytes)
        return ProbeAnswer::Damaged;
    if (workingBytesPerPixel && pixels * workingBytesPerPixel > ImageLoadLimits().maxDecoderMemory)
        return ProbeAnswer::TooLarge;
    return std::nullopt;
}

void PlaceStoredRow(const uint8_t* row, int y, int width, int height, int bytesPerPixel,
                    int orientation, uint8_t* buffer, int stride) {
    for (int x = 0; x < width; ++x, row += bytesPerPixel) {
        int ux = 0, uy = 0;
        ExifMapPixel(orientation, width, height, x, y, &ux, &uy);
        std::memcpy(buffer + static_cast<size_t>(uy) * static_cast<size_t>(stride) +
                        static_cast<size_t>(ux) * bytesPerPixel,
                    row, static_cast<size_t>(bytesPerPixel));
    }
}

void FillUndecodedStoredRows(int from, int width, int height, int bytesPerPixel, int orientation,
                             uint8_t* buffer, int stride) {
    if (from >= height) return;
    std::vector<uint8_t> grey(static_cast<size_t>(width) * bytesPerPixel, kUndecodedGrey);
    for (int x = 0; bytesPerPixel == 4 && x < width; ++x)
        grey[x * 4 + 3] = 255;
    for (int y = from < 0 ? 0 : from; y < height; ++y)
        PlaceStoredRow(grey.data(), y, width, height, bytesPerPixel, orientation, buffer, stride);
}
