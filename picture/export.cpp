#include "picture/export.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>

#include "picture/cast.h"
#include "picture/rounding.h"
#include "platform/helper_thread.h"

namespace {

// Row y of a bitmap begins at Row(0) + y * RowStep: rows stored bottom-up step backwards.
ptrdiff_t RowStep(const raster::Bitmap& bm) {
    return bm.topDown ? bm.stride : -static_cast<ptrdiff_t>(bm.stride);
}

// A bitmap of the same kind as `like`: numbered images hold screen bitmaps top-down and every
// other picture bottom-up.
std::unique_ptr<raster::Bitmap> SameKind(const raster::Bitmap& like, int width, int height) {
    return raster::Create(width, height, like.bpp, like.screen, like.screen);
}

}  // namespace

PixelRect FrameToPicture(const PixelRect& s, float factor) {
    const double f = factor;
    return {Nearest(s.left * f), Nearest(s.top * f), Nearest(s.width * f), Nearest(s.height * f)};
}

PixelRect LargestFrame(int width, int height, float ratio) {
    if (width <= 0 || height <= 0 || !(ratio > 0)) return {};
    const int fullWidthHeight = Nearest(static_cast<double>(width) * static_cast<double>(ratio));
    if (fullWidthHeight <= height) return {0, 0, width, std::max(fullWidthHeight, 1)};
    const int w = Nearest(static_cast<double>(height) / static_cast<double>(ratio));
    return {0, 0, std::clamp(w, 1, width), height};
}

PixelRect PreviewFrameCut(const PreviewFrame& p) {
    const int W = p.pictureWidth, H = p.pictureHeight;
    const int pw = p.previewWidth, ph = p.previewHeight;
    if (W <= 0 || H <= 0 || pw <= 0 || ph <= 0) return {};
    const PixelRect& s = p.frame;
    PixelRect cut = FrameToPicture(s, static_cast<float>(W) / static_cast<float>(pw));
    const bool ratio = p.ratio > 0;
    const bool right = int64_t{s.left} + s.width >= pw;
    const bool bottom =
        int64_t{s.top} + s.height >= ph ||
        (ratio && s.top + int64_t{Nearest((s.width + 1.0) * static_cast<double>(p.ratio))} > ph);
    if (ratio && ((s.left <= 0 && right) || (s.top <= 0 && bottom))) {
        const PixelRect largest = LargestFrame(W, H, p.ratio);
        cut.width = largest.width;
        cut.height = largest.height;
    }
    if (s.left <= 0) {
        cut.left = 0;
    } else if (right) {
        cut.left = W - cut.width;
    }
    if (s.top <= 0) {
        cut.top = 0;
    } else if (bottom) {
        cut.top = H - cut.height;
    }
    cut.left = std::max(0, std::min(cut.left, W - cut.width));
    cut.top = std::max(0, std::min(cut.top, H - cut.height));
    return cut;
}

PixelRect ClipToPicture(const PixelRect& frame, int width, int height) {
    // In 64 bits: left + width may not fit in an int. Frames rounded from preview pixels can
    // reach past the picture by a pixel.
    const int64_t left = std::max<int64_t>(frame.left, 0), top = std::max<int64_t>(frame.top, 0);
    const int64_t right = std::min<int64_t>(int64_t{frame.left} + frame.width, width);
    const int64_t bottom = std::min<int64_t>(int64_t{frame.top} + frame.height, height);
    if (frame.width <= 0 || frame.height <= 0 || right <= left || bottom <= top) return {};
    return {static_cast<int32_t>(left), static_cast<int32_t>(top),
            static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top)};
}

std::optional<Sides> OutputSizeFor(int index, int width, int height) {
    if (index < 1 || index >= kOutputPresetCount || width <= 0 || height <= 0) return {};
    const float ratio = static_cast<float>(width) / static_cast<float>(height);
    const int n = kOutputPresets[index].shorterSide;
    if (kOutputPresets[index].boundsWidth) {
        if (width <= n) return {};
        return Sides{n, std::max(1, Nearest(n / static_cast<double>(ratio)))};
    }
    if (width > height) {
        if (height <= n) return {};
        return Sides{Nearest(n * static_cast<double>(ratio)), n};
    }
    if (width <= n) return {};
    return Sides{n, Nearest(n / static_cast<double>(ratio))};
}

bool OutputResize(const raster::Bitmap& cut, raster::Bitmap& reduced) {
    return raster::Stretch(reduced, 0, 0, reduced.width, reduced.height, cut,
                           raster::StretchMode::Halftone);
}

ExportResult ExportPicture(raster::Bitmap& picture, const PixelRect& frame,
                           const ExportSettings& settings, const ToneProgress& progress,
                           const ExportDelivery& deliver) {
    ExportResult result;
    const PixelRect cut = ClipToPicture(frame, picture.width, picture.height);
    // Reduced, the cut is stretched straight from the picture's rows and needs no copy of its own.
    std::unique_ptr<raster::Bitmap> out;
    const std::optional<Sides> reduced =
        cut.width > 0 ? OutputSizeFor(settings.preset, cut.width, cut.height) : std::nullopt;
    const bool reducing = reduced.has_value();
    const int width = reducing ? reduced->width : cut.width;
    const int height = reducing ? reduced->height : cut.height;
    if (cut.width > 0) {
        out = SameKind(picture, width, height);
        if (!out) return result;
    }

    // Adjusted in place, in the same sweep as the cast removal; progress counts the rows done.
    TonePass pass(settings.tone, settings.cast);
    uint8_t* const first = picture.bits ? picture.Row(0) : nullptr;
    const ptrdiff_t step = RowStep(picture);
    int done = 0;
    std::function<void(int)> row;
    if (progress)
        row = [&](int) {
            progress(static_cast<int>((static_cast<int64_t>(done++) * 100) / picture.height));
        };
    auto adjust = [&](int top, int rows) {
        if (!first || rows <= 0) return;
        uint8_t* at = first + top * step;
        pass.Run(at, step, at, step, picture.width, rows, picture.BytesPerPixel(), row);
    };
    result.adjusted = true;
    if (!out) {
        adjust(0, picture.height);
        return result;
    }

    // The cut's rows first, then the cut made; then the other rows, while it is delivered.
    adjust(cut.top, cut.height);
    bool made = reducing
                    ? raster::StretchPart(*out, 0, 0, width, height, picture, cut.left, cut.top,
                                          cut.width, cut.height, raster::StretchMode::Halftone)
                    : raster::Blit(*out, 0, 0, cut.width, cut.height, picture, cut.left, cut.top);
    if (made) made = SharpenBitmap(*out, settings.sharpen);
    // What the delivery throws on the helper thread is thrown again here, as if it had run here.
    helper::Job delivery;
    std::exception_ptr thrown;
    const bool aside = made && deliver && delivery.Start([&] {
        try {
            result.delivered = deliver(*out);
        } catch (...) {
            thrown = std::current_exception();
        }
    });
    if (!settings.cutRowsOnly) {
        adjust(0, cut.top);
        adjust(cut.top + cut.height, picture.height - cut.top - cut.height);
    }
    delivery.Wait();
    if (thrown) std::rethrow_exception(thrown);
    if (!made) return result;
    if (deliver && !aside) result.delivered = deliver(*out);
    result.cut = std::move(out);
    return result;
}

std::unique_ptr<raster::Bitmap> ExportCut(const raster::Bitmap& picture, const PixelRect& frame,
                                          const ExportSettings& settings, int width, int height) {
    const PixelRect cut = ClipToPicture(frame, picture.width, picture.height);
    if (cut.width <= 0 || !picture.bits) return nullptr;
    if (width <= 0 || height <= 0) {
        const Sides sides = OutputSizeFor(settings.preset, cut.width, cut.height)
                                .value_or(Sides{cut.width, cut.height});
        width = sides.width;
        height = sides.height;
    }
    std::unique_ptr<raster::Bitmap> out = SameKind(picture, width, height);
    if (!out) return nullptr;
    TonePass pass(settings.tone, settings.cast);
    const int bytes = picture.BytesPerPixel();
    const ptrdiff_t step = RowStep(picture);
    const uint8_t* const first = picture.Row(cut.top) + static_cast<size_t>(cut.left) * bytes;
    const bool reducing = width != cut.width || height != cut.height;
    bool made = false;
    if (!reducing) {
        // Same size: the cut copied and adjusted in place (the pass leaves a fourth byte alone,
        // so it must already be the picture's).
        made = raster::Blit(*out, 0, 0, cut.width, cut.height, picture, cut.left, cut.top);
        if (made)
            pass.Run(out->Row(0), RowStep(*out), out->Row(0), RowStep(*out), width, height, bytes);
    } else {
        // Reduced, the adjusted rows stream through the reducer a band at a time, so that the
        // cut never needs a copy of its own at full size; what the reducer cannot take (a
        // height not reduced) is adjusted whole and stretched.
        raster::RowReducer reducer;
        const size_t rowBytes = static_cast<size_t>(cut.width) * bytes;
        if (reducer.Start(*out, cut.width, cut.height, picture.bpp)) {
            constexpr size_t kBandBytes = size_t{4} << 20;
            const int band = static_cast<int>(
                std::clamp<size_t>(kBandBytes / rowBytes, 1, static_cast<size_t>(cut.height)));
            std::unique_ptr<uint8_t[]> rows(new (std::nothrow) uint8_t[rowBytes * band]);
            if (!rows) return nullptr;
            for (int y = 0; y < cut.height; y += band) {
                const int n = std::min(band, cut.height - y);
                for (int r = 0; r < n; ++r)
                    std::memcpy(rows.get() + r * rowBytes, first + (y + r) * step, rowBytes);
                pass.Run(rows.get(), static_cast<ptrdiff_t>(rowBytes), rows.get(),
                         static_cast<ptrdiff_t>(rowBytes), cut.width, n, bytes);
                for (int r = 0; r < n; ++r)
                    reducer.Add(rows.get() + r * rowBytes);
            }
            made = reducer.Done();
        } else {
            std::unique_ptr<raster::Bitmap> whole = SameKind(picture, cut.width, cut.height);
            if (!whole) return nullptr;
            made = raster::Blit(*whole, 0, 0, cut.width, cut.height, picture, cut.left, cut.top);
            if (made)
                pass.Run(whole->Row(0), RowStep(*whole), whole->Row(0), RowStep(*whole), cut.width,
                         cut.height, bytes);
            made = made && OutputResize(*whole, *out);
        }
    }
    if (!made || !SharpenBitmap(*out, settings.sharpen)) return nullptr;
    return out;
}

Sides ExportSize(const PixelRect& frame, int pictureWidth, int pictureHeight, int preset) {
    const PixelRect cut = ClipToPicture(frame, pictureWidth, pictureHeight);
    return OutputSizeFor(preset, cut.width, cut.height).value_or(Sides{cut.width, cut.height});
}
