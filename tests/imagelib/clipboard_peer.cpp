// A second program on the same X display for the clipboard test between processes.
//   clipboard_peer offer <ready-file> <done-file>: puts a 64 x 48 test picture on the clipboard,
//     creates <ready-file>, then keeps serving the clipboard until <done-file> exists.
//   clipboard_peer take <out.bmp>: waits until the clipboard holds a picture, saves it as BMP.
// Exit code 0 on success. Every wait has a generous time-out.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/load.h"
#include "imagelib/save.h"
#include "platform/raster.h"
#include "toolkit/window.h"

namespace {

constexpr auto kTimeOut = std::chrono::seconds(60);

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// The same pattern the test checks: red x * 4, green y * 5, blue 99.
bool MakePicture(int number) {
    auto bm = raster::Create(64, 48, 24, true, false);
    if (!bm) return false;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            raster::SetPixel(*bm, x, y, (x * 4) | (y * 5) << 8 | 99 << 16);
    return ImageAdopt(number, std::move(bm), 0) != nullptr;
}

int Offer(const std::string& ready, const std::string& done) {
    if (!MakePicture(5) || !ImageToClipboard(5)) return 3;
    std::ofstream(ready) << "ready";
    const auto end = std::chrono::steady_clock::now() + kTimeOut;
    while (!Exists(done)) {
        if (std::chrono::steady_clock::now() > end) return 4;
        EventWait(50);  // serves the other program's requests for the data
    }
    return 0;
}

int Take(const std::string& out) {
    const auto end = std::chrono::steady_clock::now() + kTimeOut;
    while (!ImageFromClipboard(100)) {
        if (std::chrono::steady_clock::now() > end) return 5;
        EventWait(50);
    }
    return ImageSaveFile(100, out.c_str(), IMAGE_FORMAT_BMP, 0) ? 0 : 6;
}

}  // namespace

int main(int argc, char** argv) {
    if (!ToolkitInit()) return 1;
    ImageInit();
    ImageResetDecoders();
    RegisterJpegDecoder();
    RegisterPngDecoder();
    int rc = 1;
    if (argc == 4 && std::strcmp(argv[1], "offer") == 0)
        rc = Offer(argv[2], argv[3]);
    else if (argc == 3 && std::strcmp(argv[1], "take") == 0)
        rc = Take(argv[2]);
    else
        std::fprintf(stderr, "usage: clipboard_peer offer <ready> <done> | take <out.bmp>\n");
    ImageReleaseAll();
    return rc;
}
