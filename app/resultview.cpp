#include "app/resultview.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <utility>

#include "app/export.h"
#include "app/frame.h"
#include "app/ids.h"
#include "app/state.h"
#include "imagelib/image.h"
#include "picture/export.h"
#include "toolkit/requester.h"
#include "toolkit/window.h"

namespace {

// What the window needs besides the picture, in pixels: its borders across, and down its title
// bar, borders and the line under the picture.
constexpr int kRoomAcross = 16;
constexpr int kRoomDown = 64;

}  // namespace

Sides ResultFit(int width, int height, int room, int roomHeight) {
    if (width <= 0 || height <= 0 || (width <= room && height <= roomHeight))
        return {width, height};
    const double scale = std::min(static_cast<double>(std::max(room, 1)) / width,
                                  static_cast<double>(std::max(roomHeight, 1)) / height);
    return {std::max(1, static_cast<int>(std::floor(width * scale))),
            std::max(1, static_cast<int>(std::floor(height * scale)))};
}

std::unique_ptr<raster::Bitmap> FitResult(std::unique_ptr<raster::Bitmap> result, int room,
                                          int roomHeight) {
    if (!result) return nullptr;
    const auto [width, height] = ResultFit(result->width, result->height, room, roomHeight);
    if (width == result->width && height == result->height) return result;
    auto fitted = raster::Create(width, height, result->bpp, true, false);
    if (!fitted || !OutputResize(*result, *fitted)) return nullptr;
    return fitted;
}

std::string ResultCaption(int formatIndex, int width, int height) {
    std::string text = std::to_string(width) + " x " + std::to_string(height) + " Pixel";
    const int dpi = frame::PrintDpi(formatIndex, width, height);
    if (dpi > 0) text += ", " + frame::PrintResolutionText(formatIndex, dpi);
    return text;
}

void ResultViewRequested() {
    if (!ImageExists(kPictureImage) || !ImageExists(kPreviewImage)) return;
    const WindowSettings window = ReadWindowSettings();
    int room = 0, roomHeight = 0;
    double ratio = 1;
    if (!WindowScreenArea(kMainWindow, room, roomHeight, ratio)) return;
    room -= frame::Nearest(kRoomAcross * ratio);
    roomHeight -= frame::Nearest(kRoomDown * ratio);

    // Made on a thread of its own: the main window is painted and moved meanwhile, and what
    // the user does there waits in the queue. Nothing else touches the picture until then.
    std::unique_ptr<raster::Bitmap> shown;
    int width = 0, height = 0;
    {
        BusyCursor busy;
        std::atomic<bool> done = false;
        std::thread maker([&] {
            std::unique_ptr<raster::Bitmap> result = ExportPixels(window, g_app.output.sharpen);
            if (result) {
                width = result->width;
                height = result->height;
                shown = FitResult(std::move(result), room, roomHeight);
            }
            done = true;
        });
        EventPumpUntil([&] { return done.load(); });
        maker.join();
    }
    if (!shown) {
        ShowMessage("Kadrovo", "Für das Bild ist nicht genug Speicher frei!",
                    MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ShowPicture(kResultTitle, *shown, ResultCaption(window.format, width, height).c_str());
}
