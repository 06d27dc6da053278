#include "picture/cast.h"

#include <algorithm>

#include "picture/parallel.h"
#include "picture/tone.h"

namespace {

inline uint8_t Limit254(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 254 ? 254 : v));
}

}  // namespace

uint32_t CastMeasureBuffer(const uint8_t* source, int width, int height, int bytesPerPixel,
                           const PixelRect& frame) {
    if (source == nullptr || width <= 0 || height <= 0) return 0;
    if (bytesPerPixel != 3 && bytesPerPixel != 4) return 0;

    // The frame may reach past the picture (it is kept in preview pixels): sample only the part
    // that lies on it. The frame's last row is not sampled.
    const int64_t top = std::max<int64_t>(frame.top, 0);
    const int64_t bottom = std::min<int64_t>(int64_t{frame.top} + frame.height - 1, height);
    const int64_t left = std::max<int64_t>(frame.left, 0);
    const int64_t right = std::min<int64_t>(int64_t{frame.left} + frame.width, width);

    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
    int64_t count = 0, sumRed = 0, sumGreen = 0, sumBlue = 0;
    for (int64_t y = top; y < bottom; ++y) {
        const uint8_t* p = source + static_cast<size_t>(y) * rowBytes +
                           static_cast<size_t>(left) * static_cast<size_t>(bytesPerPixel);
        for (int64_t x = left; x < right; ++x, p += bytesPerPixel) {
            const int lum = ToneLuminance(p[2], p[1], p[0]);
            if (lum < kCastLowestLuminance || lum > kCastHighestLuminance) continue;
            ++count;
            sumRed += p[2];
            sumGreen += p[1];
            sumBlue += p[0];
        }
    }
    if (count == 0) return 0;

    const int64_t red = sumRed / count, green = sumGreen / count, blue = sumBlue / count;
    const int64_t least = std::min({red, green, blue});
    auto component = [least](int64_t mean) {
        return static_cast<uint32_t>(std::min<int64_t>(mean - least, kCastCap));
    };
    return component(red) + component(green) * 256 + component(blue) * 65536;
}

void CastRemoveBuffer(uint8_t* target, int width, int height, int bytesPerPixel, uint32_t cast) {
    CastRemoveRows(target, static_cast<ptrdiff_t>(width) * bytesPerPixel, width, height,
                   bytesPerPixel, cast);
}

void CastRemoveRows(uint8_t* first, ptrdiff_t step, int width, int height, int bytesPerPixel,
                    uint32_t cast) {
    if (first == nullptr || width <= 0 || height <= 0) return;
    if (bytesPerPixel != 3 && bytesPerPixel != 4) return;

    const int red = static_cast<int>(cast & 0xFF);
    const int green = static_cast<int>((cast >> 8) & 0xFF);
    const int blue = static_cast<int>((cast >> 16) & 0xFF);
    const int mean = (red + green + blue) / 3;
    // What each channel gains; one table per channel keeps the loop to lookups.
    uint8_t mapRed[256], mapGreen[256], mapBlue[256];
    for (int v = 0; v < 256; ++v) {
        mapRed[v] = Limit254(v - red + mean);
        mapGreen[v] = Limit254(v - green + mean);
        mapBlue[v] = Limit254(v - blue + mean);
    }
    // Copies in the band, so that its byte stores do not make every value be read again.
    ParallelRows(width, height, [=, &mapRed, &mapGreen, &mapBlue](int top, int bottom) {
        const uint8_t *r = mapRed, *g = mapGreen, *b = mapBlue;
        const int n = bytesPerPixel;
        for (int y = top; y < bottom; ++y) {
            uint8_t* p = first + y * step;
            for (int x = 0; x < width; ++x, p += n) {
                p[0] = b[p[0]];
                p[1] = g[p[1]];
                p[2] = r[p[2]];
            }
        }
    });
}

uint32_t CastSwatchColour(uint32_t cast) {
    const uint32_t red = cast & 0xFF, green = (cast >> 8) & 0xFF, blue = (cast >> 16) & 0xFF;
    return (4 * red + 128) + (4 * green + 128) * 256 + (4 * blue + 128) * 65536;
}
