#include "imagelib/decoder.h"

std::unique_ptr<raster::Bitmap> DecodeWhole(const ImageDecoder& format, ByteView file) {
    Probed probed = format.probe(file);
    if (probed.answer <= 0) return nullptr;
    if (auto ready = probed.decoder->TakeBitmap()) return ready;
    auto bm = raster::Create(probed.decoder->Width(), probed.decoder->Height(),
                             probed.answer == DECODE_32BIT ? 32 : 24, true, false);
    if (!bm || !probed.decoder->Decode(bm->bits.get(), bm->stride)) return nullptr;
    return bm;
}
