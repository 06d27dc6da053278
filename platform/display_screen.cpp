#include <QGuiApplication>
#include <QScreen>

#include "platform/display.h"

namespace {
// Without a running GUI there is no screen to ask; bitmaps then follow a usual desktop.
int ScreenDepth() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 0;
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 0;
}
}  // namespace

void DisplayFollowScreen() {
    DisplaySetDepthSource(ScreenDepth);
}
