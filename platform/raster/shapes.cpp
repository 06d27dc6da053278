// Fills, pixels, rectangles, lines and ellipses, drawn exactly: every covered pixel is written
// (or inverted) once, far-off coordinates are clipped without overflow.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/raster.h"
#include "platform/raster/pixel.h"

namespace raster {

using pixel::Bgr;
using pixel::FromColour;
using pixel::Invert;
using pixel::Store;

namespace {

// Clips [x, x + w) to [0, limit); false when nothing is left.
bool ClipSpan(long long& x, long long& w, long long limit) {
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (x + w > limit) w = limit - x;
    return w > 0;
}

void PlotSpan(Bitmap& bm, int y, int x0, int x1, Bgr c, Mix mix) {  // [x0, x1], unclipped
    if (y < 0 || y >= bm.height) return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, bm.width - 1);
    if (x0 > x1) return;
    int bpp = bm.bpp, n = bpp / 8;
    uint8_t* p = bm.Row(y) + static_cast<size_t>(x0) * n;
    for (int x = x0; x <= x1; ++x, p += n) {
        if (mix == Mix::Invert) {
            Invert(p, bpp);
        } else {
            Store(p, bpp, c);
        }
    }
}

}  // namespace

void SetPixel(Bitmap& bm, int x, int y, uint32_t colour) {
    if (!bm.bits || x < 0 || y < 0 || x >= bm.width || y >= bm.height) return;
    Store(bm.Row(y) + static_cast<size_t>(x) * bm.BytesPerPixel(), bm.bpp, FromColour(colour));
}

void FillRect(Bitmap& bm, int x, int y, int w, int h, uint32_t colour, Mix mix) {
    if (!bm.bits) return;
    long long cx = x, cy = y, cw = w, ch = h;
    if (!ClipSpan(cx, cw, bm.width) || !ClipSpan(cy, ch, bm.height)) return;
    Bgr c = FromColour(colour);
    int n = bm.BytesPerPixel();
    for (long long yy = cy; yy < cy + ch; ++yy) {
        uint8_t* p = bm.Row(static_cast<int>(yy)) + static_cast<size_t>(cx) * n;
        if (mix == Mix::Copy && n == 4) {
            // The common case of solid 32-bit fills: build one pixel and repeat it.
            uint8_t px[4] = {c.b, c.g, c.r, 0};
            for (long long i = 0; i < cw; ++i)
                std::memcpy(p + i * 4, px, 4);
            continue;
        }
        for (long long i = 0; i < cw; ++i, p += n) {
            if (mix == Mix::Invert) {
                Invert(p, bm.bpp);
            } else {
                Store(p, bm.bpp, c);
            }
        }
    }
}

void Rectangle(Bitmap& bm, int x, int y, int w, int h, uint32_t pen, bool filled, uint32_t brush,
               Mix mix) {
    long long lx = x, ly = y, lw = w, lh = h;
    if (lw < 0) {
        lx += lw;
        lw = -lw;
    }
    if (lh < 0) {
        ly += lh;
        lh = -lh;
    }
    if (lw == 0 || lh == 0) return;
    // Clamp far-away coordinates into int range; anything beyond the bitmap is clipped anyway.
    auto clampInt = [](long long v) {
        return static_cast<int>(std::clamp<long long>(v, -(1LL << 29), 1LL << 29));
    };
    int X = clampInt(lx), Y = clampInt(ly), R = clampInt(lx + lw), B = clampInt(ly + lh);
    int W = R - X, H = B - Y;
    // Each pixel is touched once, so that the invert mode inverts every covered pixel once.
    FillRect(bm, X, Y, W, 1, pen, mix);
    if (H > 1) FillRect(bm, X, B - 1, W, 1, pen, mix);
    if (H > 2) {
        FillRect(bm, X, Y + 1, 1, H - 2, pen, mix);
        if (W > 1) FillRect(bm, R - 1, Y + 1, 1, H - 2, pen, mix);
        if (filled && W > 2) FillRect(bm, X + 1, Y + 1, W - 2, H - 2, brush, mix);
    }
}

void Line(Bitmap& bm, int x0, int y0, int x1, int y1, uint32_t colour, Mix mix) {
    if (!bm.bits) return;
    long long adx = std::llabs(static_cast<long long>(x1) - x0);
    long long ady = std::llabs(static_cast<long long>(y1) - y0);
    if (adx == 0 && ady == 0) return;
    int sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    Bgr c = FromColour(colour);
    int n = bm.BytesPerPixel();
    auto plot = [&](long long px, long long py) {
        if (px < 0 || py < 0 || px >= bm.width || py >= bm.height) return;
        uint8_t* p = bm.Row(static_cast<int>(py)) + static_cast<size_t>(px) * n;
        if (mix == Mix::Invert) {
            Invert(p, bm.bpp);
        } else {
            Store(p, bm.bpp, c);
        }
    };
    // Step i along the major axis (0 .. major - 1, the end point excluded) puts the minor
    // coordinate at round(i * minor / major), halves away from the start. Only the steps whose
    // major coordinate lies inside the bitmap are visited, so far-off lines cost nothing.
    bool xMajor = adx >= ady;
    long long major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    long long start = xMajor ? x0 : y0, sgn = xMajor ? sx : sy;
    long long limit = xMajor ? bm.width : bm.height;
    // Visible steps: 0 <= start + sgn * i < limit.
    long long lo, hi;
    if (sgn > 0) {
        lo = -start;
        hi = limit - 1 - start;
    } else {
        lo = start - (limit - 1);
        hi = start;
    }
    lo = std::max(lo, 0LL);
    hi = std::min(hi, major - 1);
    for (long long i = lo; i <= hi; ++i) {
        __int128 num = static_cast<__int128>(2) * i * minor + major;
        long long off = static_cast<long long>(num / (2 * static_cast<__int128>(major)));
        long long a = start + sgn * i;
        if (xMajor) {
            plot(a, y0 + sy * off);
        } else {
            plot(x0 + sx * off, a);
        }
    }
}

namespace {

// The ellipse inscribed in the box [L, R) x [T, B). Offsets are doubled so that pixel centres
// are integers: dx2 = 2 px + 1 - (L + R), likewise dy2; the semi-axes are then W and H.
//
// A pixel belongs to it when its centre lies inside (dx2^2 H^2 + dy2^2 W^2 <= W^2 H^2). That
// alone leaves the outer rows or columns of very thin boxes empty, so a row whose centre line
// misses the ellipse takes the pixels that its inner edge meets, and the columns that no row
// reaches are treated alike: the shape then always touches all four sides of its box.
class EllipseRows {
public:
    EllipseRows(long long L, long long T, long long R, long long B)
        : L_(L), T_(T), R_(R), B_(B), W_(R - L), H_(B - T) {
        W2_ = static_cast<__int128>(W_) * W_;
        H2_ = static_cast<__int128>(H_) * H_;
        // Widest reach of the centre rule, on the row nearest the middle.
        colMax_ = MaxOffset(W2_ * H2_ - (H_ % 2 ? 0 : W2_), H2_, W_ + 1);
    }

    // Pixels [a, b] of row py; false when the row has none.
    bool Span(long long py, long long& a, long long& b) const {
        if (py < T_ || py >= B_) return false;
        __int128 dy2 = 2 * static_cast<__int128>(py) + 1 - (T_ + B_);
        __int128 ady2 = dy2 < 0 ? -dy2 : dy2;
        __int128 inner = ady2 > 0 ? ady2 - 1 : 0;  // the row's edge nearest the centre
        long long m = MaxOffset(W2_ * H2_ - dy2 * dy2 * W2_, H2_, W_ + 1);
        if (m < 0) m = MaxOffset(W2_ * H2_ - inner * inner * W2_, H2_, W_ + 1);
        // Columns beyond colMax_: the column's inner edge against the row's centre.
        long long mb = MaxOffset(W2_ * H2_ - dy2 * dy2 * W2_, H2_, W_ + 1 + 1);
        if (mb >= 0 && mb + 1 > colMax_) m = std::max(m, std::min(mb + 1, W_ - 1));
        if (m < 0) return false;
        a = (L_ + R_ - 1 - m) / 2;  // exact: m has the parity of L + R - 1
        b = (L_ + R_ - 1 + m) / 2;
        return a <= b;
    }

private:
    // Largest m >= 0 with m^2 k2 <= rest and m of the parity of `parity`; -1 if none.
    static long long MaxOffset(__int128 rest, __int128 k2, long long parity) {
        if (rest < 0) return -1;
        long long m = static_cast<long long>(
            std::sqrt(static_cast<long double>(rest) / static_cast<long double>(k2)));
        while (m > 0 && static_cast<__int128>(m) * m * k2 > rest)
            --m;
        while (static_cast<__int128>(m + 1) * (m + 1) * k2 <= rest)
            ++m;
        if (((m - parity) % 2 + 2) % 2 != 0) --m;
        return m;
    }

    long long L_, T_, R_, B_, W_, H_;
    __int128 W2_, H2_;
    long long colMax_;
};

}  // namespace

void Ellipse(Bitmap& bm, int left, int top, int right, int bottom, uint32_t pen, bool filled,
             uint32_t brush, Mix mix) {
    if (!bm.bits) return;
    long long L = std::min(left, right), R = std::max(left, right);
    long long T = std::min(top, bottom), B = std::max(top, bottom);
    if (L == R || T == B) return;
    // Boxes beyond 2^30 pixels a side would overflow the exact row arithmetic; no such
    // shape can be meant for a bitmap of at most 32767 pixels a side.
    if (R - L > (1LL << 30) || B - T > (1LL << 30)) return;
    Bgr cp = FromColour(pen), cb = FromColour(brush);
    long long y0 = std::max(T, 0LL), y1 = std::min(B, static_cast<long long>(bm.height));
    auto toInt = [](long long v) {
        return static_cast<int>(std::clamp<long long>(v, -(1LL << 30), 1LL << 30));
    };
    EllipseRows rows(L, T, R, B);
    for (long long py = y0; py < y1; ++py) {
        long long a, b;
        if (!rows.Span(py, a, b)) continue;
        int y = static_cast<int>(py);
        // Outline: inside pixels with a 4-neighbour outside; rows are nested, so the pixels of
        // this row above or below the narrower neighbour's span (plus both ends) form it.
        long long ua, ub, da, db;
        bool up = rows.Span(py - 1, ua, ub);
        bool down = rows.Span(py + 1, da, db);
        long long na = std::max(ua, da), nb = std::min(ub, db);
        if (!up || !down || na > nb) {
            PlotSpan(bm, y, toInt(a), toInt(b), cp, mix);
            continue;
        }
        long long leftEnd = std::max(a, na - 1), rightStart = std::min(b, nb + 1);
        if (leftEnd + 1 >= rightStart) {
            PlotSpan(bm, y, toInt(a), toInt(b), cp, mix);
            continue;
        }
        PlotSpan(bm, y, toInt(a), toInt(leftEnd), cp, mix);
        PlotSpan(bm, y, toInt(rightStart), toInt(b), cp, mix);
        if (filled) PlotSpan(bm, y, toInt(leftEnd + 1), toInt(rightStart - 1), cb, mix);
    }
}

}  // namespace raster
