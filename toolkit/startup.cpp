#include <QApplication>
#include <QFont>

#include "platform/display.h"
#include "platform/display_probe.h"
#include "toolkit/control_table.h"
#include "toolkit/event_queue.h"
#include "toolkit/input_translation.h"
#include "toolkit/qt_toolkit.h"
#include "toolkit/toolkit_state.h"
#include "toolkit/window.h"
#include "toolkit/window_table.h"

ToolkitState g_toolkit;

namespace {

// Every part of the toolkit starts from empty here, in the order the parts build on each other.
bool StartParts() {
    if (!WindowTableStart(ToolkitFreeWindowControls)) return false;
    if (!ToolkitControlsInit()) return false;
    EventQueueStart();
    InputTranslationStart();
    return true;
}

// The windows are closed first; then every part stops, the last started first.
void StopParts() {
    WindowCloseAll();
    InputTranslationStop();
    EventQueueStop();
    WindowTableStop();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------------------------

bool ToolkitInit() {
    if (g_toolkit.session.initialised) return true;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (QCoreApplication::instance()) return false;  // a non-GUI application is running
        DisplayProbe probe;
        if (!probe.Available()) return false;
        // Ended by ToolkitShutDown.
        new QApplication(g_toolkit.session.argc, g_toolkit.session.argv);
        g_toolkit.session.ownApplication = true;
    }
    DisplayFollowScreen();
    ToolkitLoadTranslations();
    QApplication::setQuitOnLastWindowClosed(false);
    if (!StartParts()) return false;
    g_toolkit.session.initialised = true;
    return true;
}

void ToolkitShutDown() {
    if (!g_toolkit.session.initialised) return;
    StopParts();
    g_toolkit.session.initialised = false;
    if (g_toolkit.session.ownApplication) {
        // Destroying the application runs the platform's clipboard hand-over.
        delete QCoreApplication::instance();
        g_toolkit.session.ownApplication = false;
    }
}

void ToolkitSetFont(const char* family, int pixelSize) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    QFont font = QApplication::font();
    if (family && *family) font.setFamilies({QString::fromUtf8(family)});
    if (pixelSize > 0) font.setPixelSize(pixelSize);
    QApplication::setFont(font);
    g_toolkit.session.fontChosen = true;
}

QFont ToolkitControlFont() {
    QFont f = QApplication::font();
    if (g_toolkit.session.fontChosen) return f;
    // Without a choice: the desktop's family, narrowed, at the size of a classic dialog font, so
    // that captions fit the fixed pixel layouts of the program's windows.
    f.setPixelSize(11);
    f.setStretch(QFont::SemiCondensed);
    return f;
}

// ---------------------------------------------------------------------------------------------
// Busy cursor
// ---------------------------------------------------------------------------------------------

BusyCursor::BusyCursor() : shown_(qobject_cast<QApplication*>(QCoreApplication::instance())) {
    if (shown_) QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    if (shown_) QApplication::restoreOverrideCursor();
}
