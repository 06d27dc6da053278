// BMP files and packed DIBs from arbitrary bytes.
#include "fuzz_common.h"
#include "imagelib/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    FuzzTouch(BmpDecodeFile(ByteView(data, size)));
    // The same bytes after the 14-byte file header, as the clipboard would hand them over.
    if (size > 14) FuzzTouch(BmpDecodePackedDib(ByteView(data + 14, size - 14)));
    return 0;
}
