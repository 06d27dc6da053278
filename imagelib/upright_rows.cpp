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

// A turned picture is copied in tiles of columns, so that each upright row receives a run of
// consecutive pixels while the stored rows stay in the cache.
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
    const uint8_t* rows[kMaxRows];
    const int n = y1 - y0;
    for (int i = 0; i < n; ++i)
        rows[i] = first + static_cast<size_t>(i) * rowStep;
    // Each stored column of the rows becomes a run of n consecutive pixels of one upright row. A
    // tile of the rows is first copied together row by row, so that gathering the runs touches
    // one page rather than one page per stored row; each run is then written pixel by pixel in
    // memory order, four bytes for three: the fourth lands under the next pixel and is written
    // over by it, and the run's last pixel is written as three, so that nothing past the run is
    // touched. Each tile row has a spare byte for the fourth.
    constexpr int kTile = 32;
    uint8_t tile[kMaxRows][kTile * 3 + 1];
    const bool backwards = stepY < 0;
    const int firstRow = backwards ? y1 - 1 : y0;  // the run's first pixel in memory order
    for (int x0 = 0; x0 < w; x0 += kTile) {
        const int width = std::min(w - x0, kTile);
        // Copies of a constant size compile to a few vector moves.
        for (int i = 0; i < n; ++i) {
            if (width == kTile) {
                std::memcpy(tile[i], rows[i] + static_cast<size_t>(x0) * 3, kTile * 3);
            } else {
                std::memcpy(tile[i], rows[i] + static_cast<size_t>(x0) * 3,
                            static_cast<size_t>(width) * 3);
            }
        }
        for (int c = 0; c < width; ++c) {
            uint8_t* out = buffer_ + origin + (x0 + c) * stepX + firstRow * stepY;
            const uint8_t* const column = &tile[0][0] + c * 3;
            constexpr size_t kTileRow = sizeof tile[0];
            if (backwards) {
                for (int i = n - 1; i > 0; --i, out += 3)
                    std::memcpy(out, column + i * kTileRow, 4);
                std::memcpy(out, column, 3);
            } else {
                for (int i = 0; i < n - 1; ++i, out += 3)
                    std::memcpy(out, column + i * kTileRow, 4);
                std::memcpy(out, column + (n - 1) * kTileRow, 3);
            }
        }
    }
}

void TurnUpright(const raster::Bitmap& stored, int orientation, raster::Bitmap& upright) {
    const int n = upright.BytesPerPixel();
    for (int y = 0; y < stored.height; ++y) {
        const uint8_t* src = stored.Row(y);
        for (int x = 0; x < stored.width; ++x, src += n) {
            int ux = 0, uy = 0;
            ExifMapPixel(orientation, stored.width, stored.height, x, y, &ux, &uy);
            std::memcpy(upright.Row(uy) + static_cast<size_t>(ux) * n, src, n);
        }
    }
}
