// Icon files from arbitrary bytes.
#include "fuzz_common.h"
#include "imagelib/ico_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    volatile unsigned sink = 0;
    if (auto bm = IcoDecode(ByteView(data, size)))
        sink = sink + FuzzTouch(bm->bits.get(), bm->ByteSize());
    return 0;
}
