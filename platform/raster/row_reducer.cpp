// The halftone reduction of a picture whose rows arrive one at a time.
#include <cstring>
#include <memory>
#include <new>

#include "platform/raster.h"
#include "platform/raster/filter.h"

namespace raster {

using namespace filter;

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
