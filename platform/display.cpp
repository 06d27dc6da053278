#include "platform/display.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
int g_depthOverride = 0;
}

int DisplayDepth() {
    if (g_depthOverride > 0) return g_depthOverride;
    // Without a running GUI there is no screen to ask; bitmaps then follow a usual desktop.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 24;
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 24;
}

int DisplayBitmapBpp() {
    int depth = DisplayDepth();
    return depth >= 24 ? 32 : depth;
}

void DisplaySetDepthForTesting(int depth) {
    g_depthOverride = depth;
}
