// The application's one state record, shared by the shell (event loop, frame, preview) and the
// picture processing (adjustments, export). Filled with zeros at start.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The selection frame in preview pixels.
struct Selection {
    int32_t height;
    int32_t width;
    int32_t left;
    int32_t top;
};

// The one pair of working pixel buffers: packed top-down rows of the image captured last.
struct PixelBuffers {
    int32_t depth;                      // bits per pixel of the image captured last (24 or 32)
    int32_t size;                       // bytes in each buffer: width * height * depth / 8
    std::unique_ptr<uint8_t[]> target;  // the adjusted pixels; zero-filled when allocated
    std::unique_ptr<uint8_t[]> source;  // the captured pixels
};

struct AppState {
    uint32_t castColour = 0;  // measured cast, red | green << 8 | blue << 16; 0 = none
    std::string fileName;     // picture last chosen or dropped; seeds the save dialog
    float ratio = 0.0f;       // frame height / width
    Selection selection{};
    int32_t cornerDistX = 0, cornerDistY = 0;
    int32_t event = 0;          // code of the last event, 0 after a wait without one
    std::string requestedFile;  // result of the open dialog
    int32_t eventSource = 0;
    PixelBuffers pixels{};
    int32_t buttonState = 0;  // left mouse button as read in the current pass
    int32_t grabX = 0, grabY = 0;
    int32_t cornerX = 0, cornerY = 0;
    uint8_t moving = 0;
    uint8_t quitRequested = 0;
    uint8_t resizing = 0;
};

// The one instance.
extern AppState g_app;

// Back to the state at start: everything zero, buffers released.
void AppStateReset();
