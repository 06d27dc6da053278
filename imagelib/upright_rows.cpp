#include "imagelib/upright_rows.h"

#include <algorithm>
#include <cstring>

#include "imagelib/decoder.h"
#include "imagelib/exif.h"

UprightRows::UprightRows(int orientation, int width, int height, uint8_t* buffer, size_t stride)
    : orientation_(orientation), width_(width), height_(height), buffer_(buffer), stride_(stride) {}

ptrdiff_t UprightRows::Offset(int x, int y) const {
    int ux = 0, uy = 0;
    ExifMapPixel(orientation_, width_, height_, x, y, &ux, &uy);
    return static_cast<ptrdiff_t>(uy) * static_cast<ptrdiff_t>(stride_) + ptrdiff_t{ux} * 3;
}

void UprightRows::FillFrom(int from) const {
    if (from >= height_) return;
    if (orientation_ == 1) {
        FillUndecodedRows(buffer_, static_cast<int>(stride_), width_, height_, from, 3);
        return;
    }
    for (int y = from; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            std::memset(buffer_ + Offset(x, y), kUndecodedGrey, 3);
}

void UprightRows::Place(const uint8_t* first, size_t rowStep, int y0, int y1) const {
    const int w = width_;
    if (orientation_ == 1) {
        for (int y = y0; y < y1; ++y)
            std::memcpy(buffer_ + static_cast<size_t>(y) * stride_,
                        first + static_cast<size_t>(y - y0) * rowStep, static_cast<size_t>(w) * 3);
        return;
    }
    // Stored (x, y) lands at origin + x * stepX + y * stepY.
    const ptrdiff_t origin = Offset(0, 0);
    const ptrdiff_t stepX = w > 1 ? Offset(1, 0) - origin : 0;
    const ptrdiff_t stepY = Offset(0, y0 + 1) - Offset(0, y0);
    if (!ExifSwapsSides(orientation_)) {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* src = first + static_cast<size_t>(y - y0) * rowStep;
            uint8_t* dst = buffer_ + origin + y * stepY;
            for (int x = 0; x < w; ++x, src += 3, dst += stepX)
                std::memcpy(dst, src, 3);
        }
        return;
    }
    // Each stored column of the rows becomes a run of consecutive pixels of one upright row:
    // the band is turned, its rows taken in the order their pixels lie in the runs, and the
    // upright rows taken forwards or backwards as the stored columns map to them.
    const uint8_t* rows[kMaxRows];
    const int n = y1 - y0;
    const bool runBackwards = stepY < 0;
    for (int i = 0; i < n; ++i)
        rows[i] = first + static_cast<size_t>(runBackwards ? n - 1 - i : i) * rowStep;
    const bool backwards = stepX < 0;
    uint8_t* const out = buffer_ + Offset(backwards ? w - 1 : 0, runBackwards ? y1 - 1 : y0);
    raster::TurnRows24(rows, n, w, backwards, out, static_cast<ptrdiff_t>(stride_));
}

namespace {

// Stored pixel (x, y) to base + x * stepX + y * stepY; a move of a constant size is one load and
// one store.
template <int kBytes>
void MoveLinear(const raster::Bitmap& stored, uint8_t* base, ptrdiff_t stepX, ptrdiff_t stepY) {
    for (int y = 0; y < stored.height; ++y) {
        const uint8_t* src = stored.Row(y);
        uint8_t* dst = base + y * stepY;
        for (int x = 0; x < stored.width; ++x, src += kBytes, dst += stepX)
            std::memcpy(dst, src, kBytes);
    }
}

}  // namespace

void TurnUpright(const raster::Bitmap& stored, int orientation, raster::Bitmap& upright) {
    const int n = upright.BytesPerPixel();
    // The map is linear: stored (x, y) lands at Row(0) + origin + x * stepX + y * stepY.
    const ptrdiff_t rowStep =
        upright.topDown ? upright.stride : -static_cast<ptrdiff_t>(upright.stride);
    auto offset = [&](int x, int y) {
        int ux = 0, uy = 0;
        ExifMapPixel(orientation, stored.width, stored.height, x, y, &ux, &uy);
        return uy * rowStep + ptrdiff_t{ux} * n;
    };
    const ptrdiff_t origin = offset(0, 0);
    const ptrdiff_t stepX = offset(1, 0) - origin, stepY = offset(0, 1) - origin;
    uint8_t* const base = upright.Row(0) + origin;
    if (n == 4) {
        MoveLinear<4>(stored, base, stepX, stepY);
    } else {
        MoveLinear<3>(stored, base, stepX, stepY);
    }
}
