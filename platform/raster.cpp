#include "platform/raster.h"

#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <system_error>
#include <vector>

#include "platform/helper_thread.h"

namespace raster {

namespace {

// ---------------------------------------------------------------------------------------------
// Pixel helpers
// ---------------------------------------------------------------------------------------------

struct Bgr {
    uint8_t b, g, r;
};

Bgr FromColour(uint32_t colour) {
    return {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
            static_cast<uint8_t>(colour)};
}

uint16_t Pack565(uint8_t b, uint8_t g, uint8_t r) {
    return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

Bgr Unpack565(uint16_t v) {
    unsigned r5 = (v >> 11) & 31, g6 = (v >> 5) & 63, b5 = v & 31;
    return {static_cast<uint8_t>((b5 << 3) | (b5 >> 2)),
            static_cast<uint8_t>((g6 << 2) | (g6 >> 4)),
            static_cast<uint8_t>((r5 << 3) | (r5 >> 2))};
}

Bgr Load(const uint8_t* p, int bpp) {
    if (bpp == 16) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return Unpack565(v);
    }
    return {p[0], p[1], p[2]};
}

// Writes a colour; the fourth byte of a 32-bit pixel becomes 0 like on the screen.
void Store(uint8_t* p, int bpp, Bgr c) {
    if (bpp == 16) {
        uint16_t v = Pack565(c.b, c.g, c.r);
        std::memcpy(p, &v, 2);
        return;
    }
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
    if (bpp == 32) p[3] = 0;
}

// Inverts the colour bits; a fourth byte is left as it is.
void Invert(uint8_t* p, int bpp) {
    p[0] = static_cast<uint8_t>(~p[0]);
    p[1] = static_cast<uint8_t>(~p[1]);
    if (bpp != 16) p[2] = static_cast<uint8_t>(~p[2]);
}

// dest = ~(src | dest) on the colour bits, with src already in the destination's format.
void NotSrcErase(uint8_t* d, const uint8_t* s, int bpp) {
    d[0] = static_cast<uint8_t>(~(d[0] | s[0]));
    d[1] = static_cast<uint8_t>(~(d[1] | s[1]));
    if (bpp != 16) d[2] = static_cast<uint8_t>(~(d[2] | s[2]));
}

// Writes `c` (with fourth byte `a` for 32-bit destinations that keep one) under the raster op.
void Put(uint8_t* p, const Bitmap& dst, Bgr c, uint8_t a, Rop rop) {
    if (rop == Rop::SrcCopy) {
        Store(p, dst.bpp, c);
        if (dst.bpp == 32 && !dst.screen) p[3] = a;
        return;
    }
    uint8_t s[4];
    Store(s, dst.bpp, c);
    NotSrcErase(p, s, dst.bpp);
}

bool IsValidBpp(int bpp) {
    return bpp == 16 || bpp == 24 || bpp == 32;
}

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

// ---------------------------------------------------------------------------------------------
// Stretch filter
// ---------------------------------------------------------------------------------------------

// How one destination position along an axis is made from consecutive source pixels: `count`
// pixels from `first`, weighted wFirst, then wMid for each inner one, then wLast. The weights of
// every position sum to the axis's `denominator`, so a value is sum(weight * pixel) / denominator
// exactly; no weight is rounded.
struct Tap {
    int first;
    int count;
    uint32_t wFirst, wMid, wLast;
};

struct Axis {
    std::vector<Tap> taps;  // one per visible destination position
    uint32_t denominator = 1;
};

constexpr uint32_t kBilinearOne = 1 << 14;

// Area average: destination pixel i covers source [i * s / d, (i + 1) * s / d). Counted in units
// of 1/d source pixel, a source pixel is d units and a destination pixel s units, so the
// overlaps are integers summing to s.
Tap AreaTap(int s, int d, int i) {
    long long lo = static_cast<long long>(i) * s, hi = lo + s;
    int j0 = static_cast<int>(lo / d), j1 = static_cast<int>((hi - 1) / d);
    Tap t{j0, j1 - j0 + 1, 0, static_cast<uint32_t>(d), 0};
    if (j0 == j1) {
        t.wFirst = static_cast<uint32_t>(s);
        return t;
    }
    t.wFirst = static_cast<uint32_t>((static_cast<long long>(j0) + 1) * d - lo);
    t.wLast = static_cast<uint32_t>(hi - static_cast<long long>(j1) * d);
    return t;
}

// Bilinear: the two source pixels around the destination pixel's centre, edges clamped.
Tap BilinearTap(int s, int d, int i) {
    long long num = (2LL * i + 1) * s - d, den = 2LL * d;  // centre in source pixels: num / den
    int j = 0;
    uint32_t frac = 0;
    if (num > 0) {
        j = static_cast<int>(num / den);
        frac = static_cast<uint32_t>(((num % den) * kBilinearOne * 2 + den) / (2 * den));
        if (frac == kBilinearOne) {
            ++j;
            frac = 0;
        }
    }
    if (j >= s - 1) {
        j = s - 1;
        frac = 0;
    }
    if (frac == 0) return Tap{j, 1, kBilinearOne, 0, 0};
    return Tap{j, 2, kBilinearOne - frac, 0, frac};
}

Tap NearestTap(int s, int d, int i) {
    long long j = ((2LL * i + 1) * s) / (2LL * d);
    return Tap{static_cast<int>(std::min<long long>(j, s - 1)), 1, 1, 0, 0};
}

// Taps for destination positions [from, to) of a d-long axis made from s source pixels.
void MakeAxis(Axis& a, int s, int d, int from, int to, StretchMode mode) {
    a.taps.reserve(to - from);
    a.denominator = mode == StretchMode::ColorOnColor ? 1u
                    : d <= s                          ? static_cast<uint32_t>(s)
                                                      : kBilinearOne;
    for (int i = from; i < to; ++i) {
        if (mode == StretchMode::ColorOnColor) {
            a.taps.push_back(NearestTap(s, d, i));
        } else if (d <= s) {
            a.taps.push_back(AreaTap(s, d, i));
        } else {
            a.taps.push_back(BilinearTap(s, d, i));
        }
    }
}

// Stretches from a source of at least this many pixels are shared with the helper thread, in
// bands of destination rows made from about kBandSourceRows source rows each.
constexpr long long kSharedStretchPixels = 1LL << 20;
constexpr long long kBandSourceRows = 128;

// sum[i] += row[i] over n bytes. The inner rows of a reduction all weigh the same, so they are
// summed unweighted first; at most kMaxUnweighted rows keep the 16-bit sums from overflowing.
constexpr int kMaxUnweighted = 257;

// sum[i] += r[0][i] + ... + r[K-1][i] over n bytes: K rows in one pass over the sums.
template <int K>
void AddRows(uint16_t* __restrict sum, const uint8_t* const* r, size_t n) {
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        __m128i lo = zero, hi = zero;
        for (int k = 0; k < K; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[k] + i));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
        }
        __m128i* s = reinterpret_cast<__m128i*>(sum + i);
        _mm_storeu_si128(s, _mm_add_epi16(_mm_loadu_si128(s), lo));
        _mm_storeu_si128(s + 1, _mm_add_epi16(_mm_loadu_si128(s + 1), hi));
    }
#endif
    for (; i < n; ++i) {
        unsigned v = sum[i];
        for (int k = 0; k < K; ++k)
            v += r[k][i];
        sum[i] = static_cast<uint16_t>(v);
    }
}

void AddRow(uint16_t* sum, const uint8_t* row, size_t n) {
    AddRows<1>(sum, &row, n);
}

// acc[i] = wa * a[i] + wb * b[i] + wm * mid[i], plus acc[i] itself when `keep`; a null row adds
// nothing. Every weight fits 16 bits and every result 32 bits.
void Combine(uint32_t* __restrict acc, bool keep, const uint8_t* a, uint32_t wa, const uint8_t* b,
             uint32_t wb, const uint16_t* mid, uint32_t wm, size_t n) {
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i va = _mm_set1_epi16(static_cast<short>(wa));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(wb));
    const __m128i vm = _mm_set1_epi16(static_cast<short>(wm));
    // 8 unsigned 16-bit values times a 16-bit weight, as two vectors of 32-bit products.
    auto mul = [](__m128i x, __m128i w, __m128i& lo, __m128i& hi) {
        __m128i l = _mm_mullo_epi16(x, w), h = _mm_mulhi_epu16(x, w);
        lo = _mm_unpacklo_epi16(l, h);
        hi = _mm_unpackhi_epi16(l, h);
    };
    for (; i + 8 <= n; i += 8) {
        __m128i lo = zero, hi = zero, l2, h2, x;
        if (a) {
            x = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + i)), zero);
            mul(x, va, lo, hi);
        }
        if (b) {
            x = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + i)), zero);
            mul(x, vb, l2, h2);
            lo = _mm_add_epi32(lo, l2);
            hi = _mm_add_epi32(hi, h2);
        }
        if (mid) {
            mul(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mid + i)), vm, l2, h2);
            lo = _mm_add_epi32(lo, l2);
            hi = _mm_add_epi32(hi, h2);
        }
        __m128i* d = reinterpret_cast<__m128i*>(acc + i);
        if (keep) {
            lo = _mm_add_epi32(lo, _mm_loadu_si128(d));
            hi = _mm_add_epi32(hi, _mm_loadu_si128(d + 1));
        }
        _mm_storeu_si128(d, lo);
        _mm_storeu_si128(d + 1, hi);
    }
#endif
    for (; i < n; ++i) {
        uint32_t v = a ? wa * a[i] : 0;
        if (b) v += wb * b[i];
        if (mid) v += wm * mid[i];
        acc[i] = keep ? acc[i] + v : v;
    }
}

// Rounds sum / den to the nearest integer, halves up, for sums of at most 255 * den (what a
// weighted mean of 8-bit values reaches; anything larger gives 255): floor(n / d) with
// n = 2 sum + den and d = 2 den, by one multiplication with a fixed-point reciprocal
// M = ceil(2^(64 + s) / d). That is exact while n * d < 2^(64 + s) for every n: n * M / 2^(64 + s)
// then exceeds n / d by less than 1 / d, too little to reach the next integer.
struct Divider {
    explicit Divider(uint64_t den) : den(den) {
        const unsigned __int128 d = 2 * static_cast<unsigned __int128>(den);
        const unsigned __int128 most = (511 * static_cast<unsigned __int128>(den) + 1) * d;
        while (most >> (64 + shift) != 0)
            ++shift;
        const unsigned __int128 power = static_cast<unsigned __int128>(1) << (64 + shift);
        magic = static_cast<uint64_t>(power / d + (power % d != 0));
    }
    uint8_t operator()(uint64_t sum) const {
        if (sum > 255 * den) return 255;
        const uint64_t n = 2 * sum + den;
        const uint64_t q = static_cast<uint64_t>((static_cast<unsigned __int128>(n) * magic) >> 64);
        return static_cast<uint8_t>(q >> shift);
    }
    uint64_t den;
    unsigned shift = 0;
    uint64_t magic = 0;
};

// The horizontal pass of a halftone stretch: one vertically summed row (32-bit sums, C channels
// per source pixel) into one destination row, each value divided by both axes' denominators.
class Horizontal {
public:
    Horizontal(const Bitmap& dst, const Axis& ax, uint32_t verticalDenominator, int channels,
               Rop rop)
        : dst_(dst),
          ax_(ax),
          divide_(static_cast<uint64_t>(ax.denominator) * verticalDenominator),
          channels_(channels),
          rop_(rop),
          dn_(dst.BytesPerPixel()),
          keepFourth_(channels == 4 && dst.bpp == 32 && !dst.screen),
          plainCopy_(rop == Rop::SrcCopy && dst.bpp != 16),
          innerFits32_(InnerFits32(ax, verticalDenominator)) {}

    // Values after each row of vertical sums that Run reads: one spare for the vector loads.
    static constexpr size_t kSpare = 1;

    void Run(const uint32_t* acc, uint8_t* d) const {
        if (channels_ == 4) {
            Pass<4>(acc, d);
        } else {
            Pass<3>(acc, d);
        }
    }

private:
    // True when the inner sum of every tap fits 32 bits: each vertical sum is at most 255 times
    // the vertical denominator.
    static bool InnerFits32(const Axis& ax, uint32_t verticalDenominator) {
        uint64_t most = 0;
        for (const Tap& t : ax.taps)
            most = std::max<uint64_t>(most, t.count > 2 ? t.count - 2 : 0);
        return most * 255 * verticalDenominator < (uint64_t{1} << 32);
    }

    template <int C>
    void Pass(const uint32_t* acc, uint8_t* d) const {
        for (const Tap& t : ax_.taps) {
            const uint32_t* p = acc + static_cast<size_t>(t.first) * C;
            uint64_t sum[C];
            for (int c = 0; c < C; ++c)
                sum[c] = static_cast<uint64_t>(t.wFirst) * p[c];
            if (t.count > 1) {
                uint64_t inner[C] = {};
                const uint32_t* q = p + C;
#ifdef __SSE2__
                if (innerFits32_) {
                    // A pixel's channels side by side in one vector (the row has a spare value
                    // at its end for the 3-channel load of the last pixel).
                    __m128i v = _mm_setzero_si128();
                    for (int k = 1; k < t.count - 1; ++k, q += C)
                        v = _mm_add_epi32(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)));
                    alignas(16) uint32_t lanes[4];
                    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
                    for (int c = 0; c < C; ++c)
                        inner[c] = lanes[c];
                } else
#endif
                {
                    for (int k = 1; k < t.count - 1; ++k, q += C) {
                        for (int c = 0; c < C; ++c)
                            inner[c] += q[c];
                    }
                }
                for (int c = 0; c < C; ++c) {
                    sum[c] += static_cast<uint64_t>(t.wMid) * inner[c] +
                              static_cast<uint64_t>(t.wLast) * q[c];
                }
            }
            Bgr colour{divide_(sum[0]), divide_(sum[1]), divide_(sum[2])};
            uint8_t fourth = 0;
            if constexpr (C == 4) fourth = keepFourth_ ? divide_(sum[3]) : 0;
            if (plainCopy_) {  // the usual case, without the general pixel writer
                d[0] = colour.b;
                d[1] = colour.g;
                d[2] = colour.r;
                if (dn_ == 4) d[3] = fourth;
            } else {
                Put(d, dst_, colour, fourth, rop_);
            }
            d += dn_;
        }
    }

    const Bitmap& dst_;
    const Axis& ax_;
    Divider divide_;
    int channels_;
    Rop rop_;
    int dn_;
    bool keepFourth_;
    bool plainCopy_;
    bool innerFits32_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------------

size_t StrideFor(int width, int bpp) {
    if (width < 0 || bpp <= 0) return 0;
    unsigned long long bits = static_cast<unsigned long long>(width) * static_cast<unsigned>(bpp);
    unsigned long long bytes = (bits + 31) / 32 * 4;
    if (bytes > static_cast<unsigned long long>(SIZE_MAX) || bytes > 0x7fffffffULL) return 0;
    return static_cast<size_t>(bytes);
}

bool SizeAllowed(int width, int height, int bpp) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
    if (!IsValidBpp(bpp)) return false;
    size_t stride = StrideFor(width, bpp);
    if (stride == 0) return false;
    if (stride > SIZE_MAX / static_cast<size_t>(height)) return false;
    size_t bytes = stride * static_cast<size_t>(height);
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
        unsigned long long phys =
            static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize);
        if (bytes > phys) return false;
    }
    return true;
}

namespace {
int g_failAllocation = 0;  // see FailAllocationForTest
}  // namespace

void FailAllocationForTest(int nth) {
    g_failAllocation = nth < 0 ? 0 : nth;
}

std::unique_ptr<uint8_t[]> AllocatePixels(size_t size, bool zeroed) {
    if (g_failAllocation > 0 && --g_failAllocation == 0) return nullptr;
    const size_t n = size > 0 ? size : 1;
    return std::unique_ptr<uint8_t[]>(zeroed ? new (std::nothrow) uint8_t[n]()
                                             : new (std::nothrow) uint8_t[n]);
}

std::unique_ptr<Bitmap> Create(int width, int height, int bpp, bool topDown, bool screen) {
    if (!SizeAllowed(width, height, bpp)) return nullptr;
    std::unique_ptr<Bitmap> bm(new (std::nothrow) Bitmap);
    if (!bm) return nullptr;
    bm->width = width;
    bm->height = height;
    bm->bpp = bpp;
    bm->topDown = topDown;
    bm->screen = screen;
    bm->stride = static_cast<int>(StrideFor(width, bpp));
    bm->bits = AllocatePixels(bm->ByteSize(), true);
    if (!bm->bits) return nullptr;
    return bm;
}

std::unique_ptr<Bitmap> Clone(const Bitmap& src) {
    std::unique_ptr<Bitmap> bm(new (std::nothrow) Bitmap);
    if (!bm) return nullptr;
    bm->width = src.width;
    bm->height = src.height;
    bm->bpp = src.bpp;
    bm->topDown = src.topDown;
    bm->screen = src.screen;
    bm->stride = src.stride;
    if (src.bits) {
        bm->bits = AllocatePixels(src.ByteSize(), false);
        if (!bm->bits) return nullptr;
        std::memcpy(bm->bits.get(), src.bits.get(), src.ByteSize());
    }
    return bm;
}

// ---------------------------------------------------------------------------------------------
// Raw pixel access
// ---------------------------------------------------------------------------------------------

void ReadPacked(const Bitmap& bm, uint8_t* out) {
    size_t row = static_cast<size_t>(bm.width) * bm.BytesPerPixel();
    for (int y = 0; y < bm.height; ++y)
        std::memcpy(out + row * y, bm.Row(y), row);
}

void WritePacked(Bitmap& bm, const uint8_t* in) {
    size_t row = static_cast<size_t>(bm.width) * bm.BytesPerPixel();
    for (int y = 0; y < bm.height; ++y)
        std::memcpy(bm.Row(y), in + row * y, row);
}

void ToBgr24BottomUp(const Bitmap& bm, uint8_t* out) {
    size_t stride = StrideFor(bm.width, 24);
    size_t used = static_cast<size_t>(bm.width) * 3;
    int n = bm.BytesPerPixel();
    for (int k = 0; k < bm.height; ++k) {
        const uint8_t* s = bm.Row(bm.height - 1 - k);
        uint8_t* d = out + stride * k;
        if (bm.bpp == 24) {
            std::memcpy(d, s, used);
        } else {
            for (int x = 0; x < bm.width; ++x, s += n, d += 3) {
                Bgr c = Load(s, bm.bpp);
                d[0] = c.b;
                d[1] = c.g;
                d[2] = c.r;
            }
            d = out + stride * k;
        }
        std::memset(d + used, 0, stride - used);
    }
}

uint32_t GetPixel(const Bitmap& bm, int x, int y) {
    if (!bm.bits || x < 0 || y < 0 || x >= bm.width || y >= bm.height) return 0;
    Bgr c = Load(bm.Row(y) + static_cast<size_t>(x) * bm.BytesPerPixel(), bm.bpp);
    return c.r | (c.g << 8) | (static_cast<uint32_t>(c.b) << 16);
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------------
// Copying and stretching
// ---------------------------------------------------------------------------------------------

bool Blit(Bitmap& dst, int dx, int dy, int w, int h, const Bitmap& src, int sx, int sy, Rop rop) {
    if (!dst.bits || !src.bits || w <= 0 || h <= 0) return false;
    if (&dst == &src) {
        std::unique_ptr<Bitmap> copy = Clone(src);
        if (!copy) return false;
        return Blit(dst, dx, dy, w, h, *copy, sx, sy, rop);
    }
    long long X = dx, Y = dy, SX = sx, SY = sy, W = w, H = h;
    // Clip against the source, then against the destination, moving both corners together.
    auto clip = [](long long& a, long long& b, long long& len, long long limit) {
        if (a < 0) {
            b -= a;
            len += a;
            a = 0;
        }
        if (a + len > limit) len = limit - a;
    };
    clip(SX, X, W, src.width);
    clip(SY, Y, H, src.height);
    clip(X, SX, W, dst.width);
    clip(Y, SY, H, dst.height);
    if (W <= 0 || H <= 0) return false;
    int sn = src.BytesPerPixel(), dn = dst.BytesPerPixel();
    for (long long r = 0; r < H; ++r) {
        const uint8_t* s = src.Row(static_cast<int>(SY + r)) + SX * sn;
        uint8_t* d = dst.Row(static_cast<int>(Y + r)) + X * dn;
        if (rop == Rop::SrcCopy && sn == dn) {
            std::memcpy(d, s, static_cast<size_t>(W) * dn);
            // A screen bitmap keeps its fourth bytes 0 whatever the source held there.
            if (dn == 4 && dst.screen && !src.screen) {
                for (long long i = 0; i < W; ++i)
                    d[i * 4 + 3] = 0;
            }
            continue;
        }
        for (long long i = 0; i < W; ++i, s += sn, d += dn) {
            uint8_t a = (sn == 4 && !src.screen) ? s[3] : 0;
            Put(d, dst, Load(s, src.bpp), a, rop);
        }
    }
    return true;
}

bool Stretch(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, StretchMode mode,
             Rop rop) {
    return StretchPart(dst, dx, dy, dw, dh, src, 0, 0, src.width, src.height, mode, rop);
}

bool StretchPart(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, int sx, int sy,
                 int sw, int sh, StretchMode mode, Rop rop) {
    if (!dst.bits || !src.bits || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || sx < 0 || sy < 0 ||
        sw > src.width - sx || sh > src.height - sy) {
        return false;
    }
    if (&dst == &src) {
        std::unique_ptr<Bitmap> copy = Clone(src);
        if (!copy) return false;
        return StretchPart(dst, dx, dy, dw, dh, *copy, sx, sy, sw, sh, mode, rop);
    }
    // Visible part of the destination rectangle, in its own coordinates.
    long long vx0 = std::max<long long>(0, -static_cast<long long>(dx));
    long long vy0 = std::max<long long>(0, -static_cast<long long>(dy));
    long long vx1 = std::min<long long>(dw, static_cast<long long>(dst.width) - dx);
    long long vy1 = std::min<long long>(dh, static_cast<long long>(dst.height) - dy);
    if (vx0 >= vx1 || vy0 >= vy1) return false;

    Axis ax, ay;
    try {
        MakeAxis(ax, sw, dw, static_cast<int>(vx0), static_cast<int>(vx1), mode);
        MakeAxis(ay, sh, dh, static_cast<int>(vy0), static_cast<int>(vy1), mode);
    } catch (const std::bad_alloc&) {
        return false;
    }

    // Channels summed per source pixel: a 16-bit source row is widened to 3 first.
    const int channels = src.bpp == 32 ? 4 : 3;
    const size_t n = static_cast<size_t>(sw) * channels;
    // Row j of the part.
    const size_t skip = static_cast<size_t>(sx) * src.BytesPerPixel();
    auto part = [&](int j) { return src.Row(sy + j) + skip; };
    const Horizontal horizontal(dst, ax, ay.denominator, channels, rop);

    // Destination rows [y0, y1), each made from its own source rows alone; false without memory.
    auto rows = [&](long long y0, long long y1) {
        std::unique_ptr<uint32_t[]> acc(new (std::nothrow) uint32_t[n + Horizontal::kSpare]());
        std::unique_ptr<uint16_t[]> mid(new (std::nothrow) uint16_t[n]);
        std::unique_ptr<uint8_t[]> scratch;
        if (src.bpp == 16) scratch.reset(new (std::nothrow) uint8_t[2 * n]);
        if (!acc || !mid || (src.bpp == 16 && !scratch)) return false;
        auto row = [&](int j, int slot) -> const uint8_t* {
            if (src.bpp != 16) return part(j);
            uint8_t* out = scratch.get() + slot * n;
            const uint8_t* in = part(j);
            for (int x = 0; x < sw; ++x) {
                Bgr c = Load(in + x * 2, 16);
                out[x * 3] = c.b;
                out[x * 3 + 1] = c.g;
                out[x * 3 + 2] = c.r;
            }
            return out;
        };
        for (long long y = y0; y < y1; ++y) {
            const Tap& t = ay.taps[static_cast<size_t>(y - vy0)];
            // Vertical pass: the weighted sum of the source rows of this destination row.
            if (t.count == 1) {
                Combine(acc.get(), false, row(t.first, 0), t.wFirst, nullptr, 0, nullptr, 0, n);
            } else {
                bool keep = false;
                int pending = 0;
                const int end = t.first + t.count - 1;
                for (int j = t.first + 1; j < end;) {
                    if (pending == 0) std::memset(mid.get(), 0, n * sizeof(uint16_t));
                    // Up to four rows at a time where the source rows can be read as they are.
                    const int k =
                        src.bpp == 16 ? 1 : std::min({4, end - j, kMaxUnweighted - pending});
                    if (k > 1) {
                        const uint8_t* some[4] = {part(j), part(j + 1), nullptr, nullptr};
                        for (int i = 2; i < k; ++i)
                            some[i] = part(j + i);
                        if (k == 4) {
                            AddRows<4>(mid.get(), some, n);
                        } else if (k == 3) {
                            AddRows<3>(mid.get(), some, n);
                        } else {
                            AddRows<2>(mid.get(), some, n);
                        }
                    } else {
                        AddRow(mid.get(), row(j, 0), n);
                    }
                    j += k;
                    pending += k;
                    if (pending == kMaxUnweighted) {
                        Combine(acc.get(), keep, nullptr, 0, nullptr, 0, mid.get(), t.wMid, n);
                        keep = true;
                        pending = 0;
                    }
                }
                Combine(acc.get(), keep, row(t.first, 0), t.wFirst, row(t.first + t.count - 1, 1),
                        t.wLast, pending ? mid.get() : nullptr, t.wMid, n);
            }
            horizontal.Run(acc.get(),
                           dst.Row(static_cast<int>(dy + y)) + (dx + vx0) * dst.BytesPerPixel());
        }
        return true;
    };

    // A large stretch is shared with the helper thread, a band of destination rows at a time.
    // Every destination row is computed the same way wherever it is computed.
    const bool share = static_cast<long long>(sw) * sh >= kSharedStretchPixels;
    const long long count = vy1 - vy0;
    // Bands of about kBandSourceRows source rows: few enough that taking one costs nothing.
    const long long band = std::clamp<long long>(kBandSourceRows * dh / sh, 1, count);
    std::atomic<bool> ok{true};
    helper::ShareRows(static_cast<int>(count), static_cast<int>(band), share,
                      [&](int first, int last) {
                          if (!rows(vy0 + first, vy0 + last)) ok = false;
                      });
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Row reducer
// ---------------------------------------------------------------------------------------------

struct RowReducer::State {
    Bitmap* dst = nullptr;
    Axis ax, ay;
    std::unique_ptr<Horizontal> horizontal;
    size_t n = 0;  // channels of one source row
    std::unique_ptr<uint32_t[]> acc;
    std::unique_ptr<uint16_t[]> mid;
    int next = 0;     // index of the next source row
    int y = 0;        // destination row being summed
    int pending = 0;  // rows in `mid` not yet weighed into `acc`
};

RowReducer::RowReducer() = default;
RowReducer::~RowReducer() = default;

bool RowReducer::Start(Bitmap& dst, int srcWidth, int srcHeight, int srcBpp) {
    state_.reset();
    if (!dst.bits || srcWidth <= 0 || srcHeight <= 0 || dst.height > srcHeight) return false;
    if (srcBpp != 24 && srcBpp != 32) return false;
    std::unique_ptr<State> s(new (std::nothrow) State);
    if (!s) return false;
    try {
        MakeAxis(s->ax, srcWidth, dst.width, 0, dst.width, StretchMode::Halftone);
        MakeAxis(s->ay, srcHeight, dst.height, 0, dst.height, StretchMode::Halftone);
        const int channels = srcBpp == 32 ? 4 : 3;
        s->horizontal =
            std::make_unique<Horizontal>(dst, s->ax, s->ay.denominator, channels, Rop::SrcCopy);
        s->n = static_cast<size_t>(srcWidth) * channels;
    } catch (const std::bad_alloc&) {
        return false;
    }
    s->acc.reset(new (std::nothrow) uint32_t[s->n + Horizontal::kSpare]());
    s->mid.reset(new (std::nothrow) uint16_t[s->n]);
    if (!s->acc || !s->mid) return false;
    s->dst = &dst;
    state_ = std::move(s);
    return true;
}

void RowReducer::Add(const uint8_t* row) {
    State* s = state_.get();
    if (!s) return;
    const int j = s->next++;
    const int rows = static_cast<int>(s->ay.taps.size());
    // A row adds to the destination row being summed; the last row of one destination row may
    // also be the first of the next.
    while (s->y < rows) {
        const Tap& t = s->ay.taps[static_cast<size_t>(s->y)];
        const int last = t.first + t.count - 1;
        if (j < t.first || j > last) return;
        if (j == t.first) {
            Combine(s->acc.get(), false, row, t.wFirst, nullptr, 0, nullptr, 0, s->n);
            s->pending = 0;
            if (t.count > 1) return;
        } else if (j < last) {
            if (s->pending == 0) std::memset(s->mid.get(), 0, s->n * sizeof(uint16_t));
            AddRow(s->mid.get(), row, s->n);
            if (++s->pending == kMaxUnweighted) {
                Combine(s->acc.get(), true, nullptr, 0, nullptr, 0, s->mid.get(), t.wMid, s->n);
                s->pending = 0;
            }
            return;
        } else {
            Combine(s->acc.get(), true, nullptr, 0, row, t.wLast,
                    s->pending ? s->mid.get() : nullptr, t.wMid, s->n);
        }
        s->horizontal->Run(s->acc.get(), s->dst->Row(s->y));
        ++s->y;
    }
}

bool RowReducer::Done() const {
    return state_ && state_->y == static_cast<int>(state_->ay.taps.size());
}

}  // namespace raster
