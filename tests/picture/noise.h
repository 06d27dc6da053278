// Noisy pictures for the pixel tests: every byte, padding and fourth bytes included, is noise, so
// that a pixel moved to the wrong place, a channel swapped or padding read as a pixel shows; and
// a way to run a pass on one core.
#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <vector>

#include "platform/helper_thread.h"
#include "platform/raster.h"

// In a loaded file's layout (24 bits, bottom-up unless `topDown`, padded rows) or a screen
// bitmap's (32 bits, top-down).
inline std::unique_ptr<raster::Bitmap> Noise(int width = 40, int height = 30, int bpp = 24,
                                             bool topDown = false) {
    auto bm = raster::Create(width, height, bpp, topDown || bpp == 32, bpp == 32);
    uint32_t seed = 7;
    for (size_t i = 0; i < bm->ByteSize(); ++i)
        bm->bits[i] = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    return bm;
}

// The pixels only, row by row from the top: padding is no part of a picture.
inline std::vector<uint8_t> Pixels(const raster::Bitmap& bm) {
    std::vector<uint8_t> out(static_cast<size_t>(bm.width) * bm.height * bm.BytesPerPixel());
    raster::ReadPacked(bm, out.data());
    return out;
}

// Runs `work` with the helper thread held busy, so that every shared pass runs on one core.
template <typename F>
void OnOneCore(F work) {
    std::promise<void> release;
    helper::Job hold;
    // Without a second core the helper does not start, and everything runs on one anyway.
    (void)hold.Start([f = release.get_future().share()] { f.wait(); });
    work();
    release.set_value();
    hold.Wait();
}
