#include "platform/display.h"

namespace {
// The depth's two sources; one display per process.
struct DisplayState {
    int depthOverride = 0;
    int (*source)() = nullptr;
} g_display;
}  // namespace

int DisplayDepth() {
    if (g_display.depthOverride > 0) return g_display.depthOverride;
    const int depth = g_display.source ? g_display.source() : 0;
    return depth > 0 ? depth : 24;
}

int DisplayBitmapBpp() {
    int depth = DisplayDepth();
    return depth >= 24 ? 32 : depth;
}

void DisplaySetDepthForTesting(int depth) {
    g_display.depthOverride = depth;
}

void DisplaySetDepthSource(int (*source)()) {
    g_display.source = source;
}
