// HEIF files (HEIC and AVIF) from arbitrary bytes: boxes, transforms, alpha, colour information.
#include "fuzz_common.h"
#include "imagelib/heif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    FuzzTouch(DecodeWhole(*HeifDecoder(), ByteView(data, size)));
    return 0;
}
