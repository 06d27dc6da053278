// Icon files from arbitrary bytes.
#include "fuzz_common.h"
#include "imagelib/ico_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSetUp();
    FuzzTouch(IcoDecode(ByteView(data, size)));
    return 0;
}
