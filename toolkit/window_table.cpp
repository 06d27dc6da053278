#include "toolkit/window_table.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QUrl>
#include <QWidget>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/draw_target.h"
#include "platform/input.h"
#include "platform/raster.h"
#include "platform/registry.h"
#include "toolkit/event_queue.h"
#include "toolkit/toolkit_state.h"
#include "toolkit/window.h"

namespace {

// Names taken from one drop at most; another program decides how many it offers.
constexpr size_t kMaxDropNames = 1024;

std::vector<std::string> LocalFiles(const QMimeData* mime) {
    std::vector<std::string> names;
    if (!mime || !mime->hasUrls()) return names;
    for (const QUrl& url : mime->urls()) {
        if (names.size() == kMaxDropNames) break;
        if (url.isLocalFile()) names.push_back(url.toLocalFile().toStdString());
    }
    return names;
}

uint32_t BackgroundColour(const QWidget* w) {
    QColor c = w->palette().color(QPalette::Window);
    return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
           static_cast<uint32_t>(c.blue()) << 16;
}

// A screen-compatible 32-bit surface filled with `colour` (red in the low byte).
std::unique_ptr<raster::Bitmap> MakeSurface(int width, int height, uint32_t colour) {
    auto bm = raster::Create(width, height, 32, true, true);
    if (bm) raster::FillRect(*bm, 0, 0, width, height, colour);
    return bm;
}

class ToolkitWindow : public QWidget {
public:
    ToolkitWindow(int number, Qt::WindowFlags flags) : QWidget(nullptr, flags), number_(number) {
        setProperty("TX_WindowID", number + 1);
        setAttribute(Qt::WA_OpaquePaintEvent);
        // Moving the mouse over the window is an event even with no button held.
        setMouseTracking(true);
        // Tips show over the controls whether or not the window is active.
        setAttribute(Qt::WA_AlwaysShowToolTips);
    }

    int Number() const { return number_; }
    raster::Bitmap* Surface() { return surface_.get(); }
    void SetSurface(std::unique_ptr<raster::Bitmap> s) { surface_ = std::move(s); }
    void SetAcceptFiles(bool on) { setAcceptDrops(on); }
    // The device-resolution surface over the client rectangle at `at`, or none (null).
    raster::Bitmap* SetLayer(std::unique_ptr<raster::Bitmap> layer, QPoint at, double ratio) {
        layer_ = std::move(layer);
        layerAt_ = at;
        layerRatio_ = ratio;
        update();
        return layer_.get();
    }
    raster::Bitmap* Layer() { return layer_.get(); }
    bool LayerFits(QPoint at, int width, int height, double ratio) const {
        return layer_ && layerAt_ == at && layerRatio_ == ratio && layer_->width == width &&
               layer_->height == height;
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        if (surface_) {
            // The surface's rows are blue, green, red and a spare byte: RGB32 as it lies.
            QImage img(surface_->bits.get(), surface_->width, surface_->height, surface_->stride,
                       QImage::Format_RGB32);
            p.drawImage(e->rect(), img, e->rect());
        }
        // Drawn at its own ratio, one pixel per device pixel; left out when the window has moved
        // to a screen of another ratio since it was made.
        if (layer_ && layerRatio_ == devicePixelRatioF()) {
            QImage img(layer_->bits.get(), layer_->width, layer_->height, layer_->stride,
                       QImage::Format_RGB32);
            img.setDevicePixelRatio(layerRatio_);
            p.drawImage(layerAt_, img);
        }
        QueueWindowEvent(EVENT_REPAINT, number_);
    }
    void moveEvent(QMoveEvent* e) override {
        QWidget::moveEvent(e);
        QueueWindowEvent(EVENT_MOVED, number_);
    }
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        GrowSurface();
        if (!(windowState() & Qt::WindowMinimized)) QueueWindowEvent(EVENT_RESIZED, number_);
    }
    void changeEvent(QEvent* e) override {
        QWidget::changeEvent(e);
        if (e->type() == QEvent::ActivationChange && isActiveWindow())
            QueueWindowEvent(EVENT_ACTIVATED, number_);
    }

public:
    void SetDoubleClick(const QRect& area, int command) {
        doubleArea_ = area;
        doubleCommand_ = command;
    }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        // Reached only by a press that no control took.
        if (e->button() == Qt::LeftButton) g_toolkit.windows.surfacePress = number_;
        e->accept();
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        mousePressEvent(e);
        if (e->button() == Qt::LeftButton && doubleCommand_ &&
            doubleArea_.contains(e->position().toPoint()))
            QueueInputEvent(EVENT_COMMAND, number_, static_cast<uintptr_t>(doubleCommand_));
    }
    void closeEvent(QCloseEvent* e) override {
        // The program decides whether to close; the request only becomes an event.
        e->ignore();
        QueueWindowEvent(EVENT_CLOSE, number_);
    }
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (!LocalFiles(e->mimeData()).empty()) e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        if (!LocalFiles(e->mimeData()).empty()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        auto names = LocalFiles(e->mimeData());
        if (names.empty()) return;
        e->acceptProposedAction();
        QueueInputEvent(EVENT_DROPFILES, number_, NewDrop(std::move(names)));
    }

private:
    // A resizable window keeps what was drawn and extends the surface in the background colour.
    void GrowSurface() {
        int w = width(), h = height();
        if (!surface_ || (w <= surface_->width && h <= surface_->height)) return;
        auto grown = MakeSurface(std::max(w, surface_->width), std::max(h, surface_->height),
                                 BackgroundColour(this));
        if (!grown) return;
        for (int y = 0; y < surface_->height; ++y)
            std::memcpy(grown->Row(y), surface_->Row(y), static_cast<size_t>(surface_->width) * 4);
        surface_ = std::move(grown);
        auto it = g_toolkit.windows.drawTargets.find(number_);
        if (it != g_toolkit.windows.drawTargets.end()) it->second->surface = surface_.get();
    }

    int number_;
    std::unique_ptr<raster::Bitmap> surface_;
    std::unique_ptr<raster::Bitmap> layer_;
    QPoint layerAt_;
    double layerRatio_ = 1;
    QRect doubleArea_;
    int doubleCommand_ = 0;
};

ToolkitWindow* WindowOf(int number) {
    WindowRecord* r = ObjectTableFind(g_toolkit.windows.table, number);
    return r ? reinterpret_cast<ToolkitWindow*>(r->handle) : nullptr;
}

void FinishWindowTarget(DrawTarget* target) {
    ToolkitWindow* w = WindowOf(static_cast<int>(reinterpret_cast<intptr_t>(target->owner)));
    if (w) w->update();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Internals shared with the rest of the toolkit
// ---------------------------------------------------------------------------------------------

bool WindowTableStart(void (*onClose)(int window)) {
    g_toolkit.windows.onClose = onClose;
    g_toolkit.windows.running = ObjectTableCreate(g_toolkit.windows.table, 16, WindowClose);
    return g_toolkit.windows.running;
}

void WindowTableStop() {
    g_toolkit.windows.running = false;
}

QWidget* ToolkitWindowWidget(int number) {
    return WindowOf(number);
}

int ToolkitWindowNumberOf(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        QVariant id = w->property("TX_WindowID");
        if (id.isValid()) {
            int n = id.toInt() - 1;
            return WindowOf(n) == w ? n : -1;
        }
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------------------------

uintptr_t WindowOpen(int number, int x, int y, int width, int height, const char* title,
                     uint32_t flags) {
    if (!g_toolkit.windows.running) return 0;
    WindowRecord* rec = ObjectTableObtain(g_toolkit.windows.table, number);
    if (!rec) return 0;
    if (width < 1 || height < 1 || width > raster::kMaxSide || height > raster::kMaxSide) return 0;

    const uint32_t placement = WINDOW_CENTRE_SCREEN | WINDOW_CENTRE_PARENT | WINDOW_HIDDEN;
    if ((flags & ~placement) == 0) flags |= WINDOW_CAPTION;
    bool hidden = flags & WINDOW_HIDDEN;

    Qt::WindowFlags wf = Qt::Window | Qt::CustomizeWindowHint;
    if ((flags & WINDOW_CAPTION) == WINDOW_CAPTION)
        wf |= Qt::WindowTitleHint;
    else
        wf |= Qt::FramelessWindowHint;
    if (flags & WINDOW_SYSMENU) wf |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (flags & WINDOW_MINIMIZEBOX) wf |= Qt::WindowMinimizeButtonHint;
    if (flags & WINDOW_MAXIMIZEBOX) wf |= Qt::WindowMaximizeButtonHint;

    auto* w = new ToolkitWindow(number, wf);
    w->setWindowTitle(QString::fromUtf8(title ? title : ""));
    if (flags & WINDOW_SIZEBORDER)
        w->resize(width, height);
    else
        w->setFixedSize(width, height);
    auto surface = MakeSurface(width, height, BackgroundColour(w));
    if (!surface) {
        delete w;
        return 0;
    }
    w->SetSurface(std::move(surface));

    if (flags & WINDOW_CENTRE_SCREEN) {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (screen) {
            QRect avail = screen->availableGeometry();
            int ow = std::min(width, avail.width()), oh = std::min(height, avail.height());
            w->move(avail.x() + (avail.width() - ow) / 2, avail.y() + (avail.height() - oh) / 2);
        }
    } else if (flags & WINDOW_CENTRE_PARENT) {
        QWidget* ref = QApplication::activeWindow();
        if (ref) {
            QRect g = ref->frameGeometry();
            w->move(std::max(0, g.x() + (g.width() - width) / 2),
                    std::max(0, g.y() + (g.height() - height) / 2));
        }
    } else if (x != -65535 && y != -65535) {
        w->move(x, y);
    }

    rec->handle = reinterpret_cast<uintptr_t>(w);
    // The window itself holds the keyboard at first, so that no control is picked for it when
    // the window becomes active: the first Tab then goes to the first tab stop.
    w->setFocus(Qt::OtherFocusReason);
    if (!hidden) {
        if (flags & WINDOW_MAXIMIZE)
            w->showMaximized();
        else
            w->show();
    }
    return rec->handle;
}

uintptr_t WindowHandle(int number) {
    WindowRecord* r = ObjectTableFind(g_toolkit.windows.table, number);
    return r ? r->handle : 0;
}

void WindowSetTitle(int number, const char* text) {
    ToolkitWindow* w = WindowOf(number);
    if (w && text) w->setWindowTitle(QString::fromUtf8(text));
}

void WindowClose(int number) {
    ToolkitWindow* w = WindowOf(number);
    if (!w) return;
    if (g_toolkit.windows.onClose) g_toolkit.windows.onClose(number);
    for (auto* targets : {&g_toolkit.windows.drawTargets, &g_toolkit.windows.deviceTargets}) {
        auto it = targets->find(number);
        if (it != targets->end()) it->second->surface = nullptr;
    }
    ObjectTableClear(g_toolkit.windows.table, number);
    w->setProperty("TX_WindowID", QVariant());
    delete w;
}

void WindowCloseAll() {
    if (!g_toolkit.windows.running) return;
    ObjectTableFirst(g_toolkit.windows.table);
    int number = 0;
    while (ObjectTableNext(g_toolkit.windows.table, &number))
        WindowClose(number);
}

void WindowAcceptFiles(int number, bool accept) {
    if (ToolkitWindow* w = WindowOf(number)) w->SetAcceptFiles(accept);
}

bool WindowAddAccelerator(int number, const char* keys, int command) {
    ToolkitWindow* w = WindowOf(number);
    if (!w || !keys) return false;
    const QKeySequence sequence = QKeySequence::fromString(QString::fromUtf8(keys));
    if (sequence.isEmpty()) return false;
    // A window shortcut wins over the focused control, which never sees the keys.
    auto* shortcut = new QShortcut(sequence, w);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, w, [number, command] {
        QueueInputEvent(EVENT_COMMAND, number, static_cast<uintptr_t>(command));
    });
    return true;
}

// ---------------------------------------------------------------------------------------------
// Cursor and drawing
// ---------------------------------------------------------------------------------------------

namespace {
bool CursorInClient(int number, QPoint& out) {
    ToolkitWindow* w = WindowOf(number);
    if (!w) return false;
    int sx = 0, sy = 0;
    InputCursorScreenPos(sx, sy);
    QPoint p = w->mapFromGlobal(QPoint(sx, sy));
    if (p.x() < 0 || p.y() < 0 || p.x() > w->width() || p.y() > w->height()) return false;
    out = p;
    return true;
}
}  // namespace

int WindowCursorX(int number) {
    QPoint p;
    return CursorInClient(number, p) ? p.x() : -1;
}

int WindowCursorY(int number) {
    QPoint p;
    return CursorInClient(number, p) ? p.y() : -1;
}

bool WindowSetDoubleClick(int number, int x, int y, int width, int height, int command) {
    ToolkitWindow* w = WindowOf(number);
    if (!w) return false;
    w->SetDoubleClick(QRect(x, y, width, height), command);
    return true;
}

bool WindowScreenArea(int number, int& width, int& height, double& ratio) {
    ToolkitWindow* w = WindowOf(number);
    QScreen* screen = w ? w->screen() : nullptr;
    if (!screen) return false;
    ratio = screen->devicePixelRatio();
    const QRect area = screen->availableGeometry();
    width = static_cast<int>(std::floor(area.width() * ratio));
    height = static_cast<int>(std::floor(area.height() * ratio));
    return true;
}

double WindowPixelRatio(int number) {
    ToolkitWindow* w = WindowOf(number);
    return w ? w->devicePixelRatioF() : 1.0;
}

DrawTarget* WindowDeviceDrawTarget(int number, int x, int y, int width, int height) {
    ToolkitWindow* w = WindowOf(number);
    if (!w || width < 1 || height < 1) return nullptr;
    const double ratio = w->devicePixelRatioF();
    const int dw = static_cast<int>(std::ceil(width * ratio));
    const int dh = static_cast<int>(std::ceil(height * ratio));
    raster::Bitmap* layer = w->Layer();
    if (!w->LayerFits(QPoint(x, y), dw, dh, ratio)) {
        auto bm = raster::Create(dw, dh, 32, true, true);
        if (!bm) return nullptr;
        layer = w->SetLayer(std::move(bm), QPoint(x, y), ratio);
    }
    auto& slot = g_toolkit.windows.deviceTargets[number];
    if (!slot) slot = std::make_unique<DrawTarget>();
    slot->kind = 1;
    slot->surface = layer;
    slot->finish = FinishWindowTarget;
    slot->owner = reinterpret_cast<void*>(static_cast<intptr_t>(number));
    return slot.get();
}

void WindowDropDeviceTarget(int number) {
    ToolkitWindow* w = WindowOf(number);
    if (!w || !w->Layer()) return;
    auto it = g_toolkit.windows.deviceTargets.find(number);
    if (it != g_toolkit.windows.deviceTargets.end()) it->second->surface = nullptr;
    w->SetLayer(nullptr, QPoint(), 1);
}

bool WindowSurfacePressed(int number) {
    return number >= 0 && g_toolkit.windows.surfacePress == number && WindowOf(number) != nullptr;
}

void WindowSurfacePressEnded() {
    g_toolkit.windows.surfacePress = -1;
}

DrawTarget* WindowDrawTarget(int number) {
    ToolkitWindow* w = WindowOf(number);
    if (!w) return nullptr;
    auto& slot = g_toolkit.windows.drawTargets[number];
    if (!slot) slot = std::make_unique<DrawTarget>();
    slot->kind = 1;
    slot->surface = w->Surface();
    slot->finish = FinishWindowTarget;
    slot->owner = reinterpret_cast<void*>(static_cast<intptr_t>(number));
    return slot.get();
}
