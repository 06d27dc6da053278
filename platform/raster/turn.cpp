// Quarter turns of bands of 24-bit rows: the transposition that both the turn of a picture and
// the placing of a turned photo's decoded rows come down to.
#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/raster.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#define KADROVO_TURN_SSSE3 1
#endif

namespace raster {

namespace {

// Output rows ahead whose lines are asked for before they are written.
constexpr int kWriteAhead = 8;

// Source rows are read a few bytes each per output row, too many of them at once for the
// hardware to see their streams: every 16 output rows the line 512 bytes on (the way the rows
// are read) in each is asked for ahead.
void PrefetchSources(const uint8_t* const* rows, int count, size_t at, bool backwards) {
    const uintptr_t ahead = static_cast<uintptr_t>(backwards ? -512 : 512);
    for (int k = 0; k < count; ++k)
        __builtin_prefetch(
            reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(rows[k] + at) + ahead));
}

// The output rows' runs lie a row apart, too far for the hardware to see a stream: each store
// would wait for its line to be fetched. The run of output row r is asked for, to be written.
void PrefetchRun(uint8_t* out, ptrdiff_t outStep, int r, int count) {
    const uintptr_t run = reinterpret_cast<uintptr_t>(out) + static_cast<uintptr_t>(r * outStep);
    for (int b = 0; b < count * 3; b += 64)
        __builtin_prefetch(reinterpret_cast<const void*>(run + b), 1);
    __builtin_prefetch(reinterpret_cast<const void*>(run + count * 3 - 1), 1);
}

// Output rows [r0, r1) pixel by pixel.
void TurnPixels(const uint8_t* const* rows, int count, int length, bool backwards, uint8_t* out,
                ptrdiff_t outStep, int r0, int r1) {
    for (int r = r0; r < r1; ++r) {
        const int u = backwards ? length - 1 - r : r;
        const size_t at = static_cast<size_t>(u) * 3;
        uint8_t* d = out + r * outStep;
        if (u < length - 1) {
            // Four bytes moved for three: the fourth lands under the next pixel of the run and
            // is written over by it, and its source byte lies within the row (the pixel is not
            // the row's last). The run's last pixel is moved as three, so that nothing past the
            // run is touched.
            if (r % 16 == 0) PrefetchSources(rows, count, at, backwards);
            for (int k = 0; k + 1 < count; ++k)
                std::memcpy(d + 3 * k, rows[k] + at, 4);
            std::memcpy(d + 3 * (count - 1), rows[count - 1] + at, 3);
        } else {
            for (int k = 0; k < count; ++k)
                std::memcpy(d + 3 * k, rows[k] + at, 3);
        }
    }
}

#ifdef KADROVO_TURN_SSSE3
// True when a run of `count` pixels at `run` is whole aligned cache lines, each written in full
// by one tile row: such a run is stored past the cache, as nothing of it need be read first.
bool WholeLines(const uint8_t* run, int count) {
    return count == 64 && reinterpret_cast<uintptr_t>(run) % 64 == 0;
}

// Byte shuffles, in tiles of four output rows by sixteen output columns. Each of the tile's
// sixteen source rows gives four pixels side by side (one 16-byte load), spread to four bytes
// each; 4 x 4 blocks of those are turned in registers and each output row's sixteen pixels packed
// back to three bytes into three 16-byte stores, past the cache where a run is whole lines (the
// picture is far larger than the cache). A load reads four bytes past its pixels, so tiles whose
// pixels end within the last few of a source row, and columns left over from the sixteens, are
// moved pixel by pixel.
__attribute__((target("ssse3"))) void TurnShuffled(const uint8_t* const* rows, int count,
                                                   int length, bool backwards, uint8_t* out,
                                                   ptrdiff_t outStep) {
    const int whole = count & ~15;
    // Four pixels to four 32-bit lanes, lane j holding output row r + j's pixel: the pixel at
    // the lowest address goes to row r, or to row r + 3 when the rows are read backwards.
    const __m128i spread =
        backwards ? _mm_setr_epi8(9, 10, 11, -1, 6, 7, 8, -1, 3, 4, 5, -1, 0, 1, 2, -1)
                  : _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    // Sixteen 4-byte pixels a, b, c, d (four each) to 48 bytes: out0 = a | b, out1 = b | c,
    // out2 = c | d, each part shuffled into place.
    const __m128i a0 = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i b0 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4);
    const __m128i b1 = _mm_setr_epi8(5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i c1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9);
    const __m128i c2 =
        _mm_setr_epi8(10, 12, 13, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i d2 = _mm_setr_epi8(-1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14);
    bool streamed = false;
    int r = 0;
    for (; r + 4 <= length; r += 4) {
        // The lowest of the four source pixels; the load must end within the row.
        const int u = backwards ? length - 4 - r : r;
        const size_t at = static_cast<size_t>(u) * 3;
        if (at + 16 > static_cast<size_t>(length) * 3) {
            TurnPixels(rows, count, length, backwards, out, outStep, r, r + 4);
            continue;
        }
        if (r % 16 == 0) PrefetchSources(rows, count, at, backwards);
        if (r + kWriteAhead + 4 <= length)
            for (int j = 0; j < 4; ++j)
                if (!WholeLines(out + (r + kWriteAhead + j) * outStep, count))
                    PrefetchRun(out, outStep, r + kWriteAhead + j, count);
        uint8_t* const d[4] = {out + r * outStep, out + (r + 1) * outStep, out + (r + 2) * outStep,
                               out + (r + 3) * outStep};
        bool stream[4];
        for (int j = 0; j < 4; ++j) {
            stream[j] = WholeLines(d[j], count);
            streamed |= stream[j];
        }
        for (int c = 0; c < whole; c += 16) {
            // t[g][j]: output row r + j, output columns c + 4g .. c + 4g + 3, four bytes each.
            __m128i t[4][4];
#pragma GCC unroll 4
            for (int g = 0; g < 4; ++g) {
                __m128i v[4];
#pragma GCC unroll 4
                for (int k = 0; k < 4; ++k)
                    v[k] = _mm_shuffle_epi8(
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[c + 4 * g + k] + at)),
                        spread);
                const __m128i t0 = _mm_unpacklo_epi32(v[0], v[1]);
                const __m128i t1 = _mm_unpacklo_epi32(v[2], v[3]);
                const __m128i t2 = _mm_unpackhi_epi32(v[0], v[1]);
                const __m128i t3 = _mm_unpackhi_epi32(v[2], v[3]);
                t[g][0] = _mm_unpacklo_epi64(t0, t1);
                t[g][1] = _mm_unpackhi_epi64(t0, t1);
                t[g][2] = _mm_unpacklo_epi64(t2, t3);
                t[g][3] = _mm_unpackhi_epi64(t2, t3);
            }
#pragma GCC unroll 4
            for (int j = 0; j < 4; ++j) {
                __m128i* const o = reinterpret_cast<__m128i*>(d[j] + c * 3);
                const __m128i o0 =
                    _mm_or_si128(_mm_shuffle_epi8(t[0][j], a0), _mm_shuffle_epi8(t[1][j], b0));
                const __m128i o1 =
                    _mm_or_si128(_mm_shuffle_epi8(t[1][j], b1), _mm_shuffle_epi8(t[2][j], c1));
                const __m128i o2 =
                    _mm_or_si128(_mm_shuffle_epi8(t[2][j], c2), _mm_shuffle_epi8(t[3][j], d2));
                if (stream[j]) {
                    _mm_stream_si128(o, o0);
                    _mm_stream_si128(o + 1, o1);
                    _mm_stream_si128(o + 2, o2);
                } else {
                    _mm_storeu_si128(o, o0);
                    _mm_storeu_si128(o + 1, o1);
                    _mm_storeu_si128(o + 2, o2);
                }
            }
        }
        if (whole < count)
            TurnPixels(rows + whole, count - whole, length, backwards, out + whole * 3, outStep, r,
                       r + 4);
    }
    if (r < length) TurnPixels(rows, count, length, backwards, out, outStep, r, length);
    // Streamed stores are ordered before whatever reads the rows next.
    if (streamed) _mm_sfence();
}

// Cleared by the test hook, so that the pixel-by-pixel path is checked on this machine too.
std::atomic<bool> g_shufflesAllowed{true};

bool UseShuffles() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has && g_shufflesAllowed.load(std::memory_order_relaxed);
}
#endif

}  // namespace

void TurnRows24(const uint8_t* const* rows, int count, int length, bool backwards, uint8_t* out,
                ptrdiff_t outStep) {
    if (count <= 0 || length <= 0) return;
#ifdef KADROVO_TURN_SSSE3
    if (UseShuffles()) {
        TurnShuffled(rows, count, length, backwards, out, outStep);
        return;
    }
#endif
    TurnPixels(rows, count, length, backwards, out, outStep, 0, length);
}

void AllowShufflesForTest(bool allowed) {
#ifdef KADROVO_TURN_SSSE3
    g_shufflesAllowed = allowed;
#else
    (void)allowed;
#endif
}

}  // namespace raster
