#include "platform/input.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

// The real mouse, as the GUI framework last saw it. Without a running GUI nothing is pressed and
// the cursor stands at the origin.
struct RealInput : InputSource {
    bool LeftButtonDown() override {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
        return QGuiApplication::mouseButtons() & Qt::LeftButton;
    }
    void CursorScreenPos(int& x, int& y) override {
        x = 0;
        y = 0;
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
        QPoint p = QCursor::pos();
        x = p.x();
        y = p.y();
    }
};

RealInput g_real;
InputSource* g_current = nullptr;

}  // namespace

InputSource& InputCurrent() {
    return g_current ? *g_current : g_real;
}

void InputSetSource(InputSource* source) {
    g_current = source;
}
