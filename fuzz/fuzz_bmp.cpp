// BMP files and packed DIBs from arbitrary bytes.
#include "fuzz_common.h"
#include "imagelib/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    volatile unsigned sink = 0;
    if (auto bm = BmpDecodeFile(ByteView(data, size)))
        sink = sink + FuzzTouch(bm->bits.get(), bm->ByteSize());
    // The same bytes after the 14-byte file header, as the clipboard would hand them over.
    if (size > 14)
        if (auto bm = BmpDecodePackedDib(ByteView(data + 14, size - 14)))
            sink = sink + FuzzTouch(bm->bits.get(), bm->ByteSize());
    return 0;
}
