// WebP files from arbitrary bytes: lossy, lossless, alpha, animation, ICC and EXIF chunks.
#include "fuzz_common.h"
#include "imagelib/webp_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    FuzzTouch(DecodeWhole(*WebpDecoder(), ByteView(data, size)));
    return 0;
}
