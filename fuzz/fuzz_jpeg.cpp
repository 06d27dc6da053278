// JPEG files from arbitrary bytes, EXIF orientation and four-component files included.
#include "fuzz_common.h"
#include "imagelib/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    FuzzTouch(DecodeWhole(*JpegDecoder(), ByteView(data, size)));
    return 0;
}
