// PNG files from arbitrary bytes.
#include "fuzz_common.h"
#include "imagelib/png_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    volatile unsigned sink = 0;
    if (auto bm = PngDecodeMemory(data, size))
        sink = sink + FuzzTouch(bm->bits.get(), bm->ByteSize());
    return 0;
}
