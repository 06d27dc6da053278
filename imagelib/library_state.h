// Everything the image library keeps between calls, in one record: the image table with the
// image drawing target, the drawing surface's state, the registered encoders and the load
// limits. Each part is worked on by its own source file (image.cpp, draw.cpp, save.cpp,
// load_limits.cpp); nothing outside imagelib/ includes this header. The format table (load.cpp)
// is constant.
#pragma once

#include <cstdint>

#include "imagelib/image.h"
#include "imagelib/load_limits.h"
#include "imagelib/save.h"
#include "platform/draw_target.h"
#include "platform/registry.h"

// The image drawing target: the image currently open as a drawing target (none when `open` is
// null) and the descriptor handed to the drawing surface.
struct ImageTargetBlock {
    raster::Bitmap* open = nullptr;
    DrawTarget target;
};

// The one drawing state of the process. `open` is the descriptor handed to DrawBegin, read again
// by every operation: its owner may take the surface away (a window closed) or replace it (a
// window resized) while the target is open. `target` keeps the copy whose finish DrawEnd runs.
struct DrawState {
    DrawTarget* open = nullptr;  // null: no target open
    DrawTarget target;
    uint32_t frontColour = 0;
    uint32_t backColour = 0xFFFFFF;
    int mode = 0;
};

// The encoders in the order they were registered.
struct EncoderList {
    static constexpr int kMax = 100;
    const ImageEncoder* entries[kMax] = {};
    int count = 0;
};

struct ImageLibraryState {
    ObjectTable<ImageRecord> images;
    ImageTargetBlock imageTarget;
    DrawState draw;
    EncoderList encoders;
    LoadLimits limits;
};

// The one instance (image.cpp).
extern ImageLibraryState g_imagelib;
