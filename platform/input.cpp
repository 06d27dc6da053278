#include "platform/input.h"

#include <QCursor>
#include <QGuiApplication>

namespace {
bool GuiRunning() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}
}  // namespace

bool InputLeftButtonDown() {
    return GuiRunning() && (QGuiApplication::mouseButtons() & Qt::LeftButton);
}

void InputCursorScreenPos(int& x, int& y) {
    x = 0;
    y = 0;
    if (!GuiRunning()) return;
    const QPoint p = QCursor::pos();
    x = p.x();
    y = p.y();
}
