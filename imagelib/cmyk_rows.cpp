#include "imagelib/cmyk_rows.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace {

uint8_t Mul255(unsigned a, unsigned b) {
    return static_cast<uint8_t>((a * b + 127) / 255);
}

}  // namespace

void CmykRows::UseProfile(std::unique_ptr<SrgbConversion> profile) {
    if (!profile) return;
    inkRow_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(width_) * 4]);
    if (inkRow_) profile_ = std::move(profile);
}

void CmykRows::ConvertRow(uint8_t* p) {
    if (profile_) {
        std::memcpy(inkRow_.get(), p, static_cast<size_t>(width_) * 4);
        profile_->ConvertRow(inkRow_.get(), p, width_);
        return;
    }
    for (int x = 0; x < width_; ++x) {
        unsigned c = p[x * 4], m = p[x * 4 + 1], y = p[x * 4 + 2], k = p[x * 4 + 3];
        p[x * 3] = Mul255(y, k);
        p[x * 3 + 1] = Mul255(m, k);
        p[x * 3 + 2] = Mul255(c, k);
    }
}
