// JPEG files from arbitrary bytes, EXIF orientation and four-component files included.
#include "fuzz_common.h"
#include "imagelib/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    volatile unsigned sink = 0;
    if (auto bm = DecodeWhole(*JpegDecoder(), ByteView(data, size)))
        sink = sink + FuzzTouch(bm->bits.get(), bm->ByteSize());
    return 0;
}
