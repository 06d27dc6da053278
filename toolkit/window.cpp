#include "toolkit/window.h"

#include <dlfcn.h>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFont>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imagelib/draw.h"
#include "imagelib/registry.h"
#include "platform/input.h"
#include "platform/raster.h"
#include "toolkit/qt_toolkit.h"

namespace {

// Events beyond this many waiting are dropped, like a queue node that cannot be allocated.
constexpr size_t kMaxQueuedEvents = 4096;
// Outstanding drop handles beyond this many release the oldest.
constexpr size_t kMaxDrops = 64;
// Names taken from one drop at most; another program decides how many it offers.
constexpr size_t kMaxDropNames = 1024;

struct WindowRecord {
    uintptr_t handle;  // the ToolkitWindow; 0 = number free
};

struct QueuedEvent {
    int code = 0;
    int window = -1;
    int source = 0;
    int detail = -1;
    bool control = false;
    bool hasParam = false;
    uintptr_t param = 0;
};

struct EventState {
    int source = 0;
    int window = -1;
    int detail = -1;
    uintptr_t param = 0;
    std::deque<QueuedEvent> queue;
};

ObjectTable<WindowRecord> g_windows;
EventState g_events;
bool g_initialised = false;
bool g_ownApplication = false;  // ToolkitInit started the GUI framework and ends it
bool g_fontChosen = false;      // ToolkitSetFont was called
int g_surfacePress = -1;        // window whose own surface took the held left button, or -1

std::map<uintptr_t, std::vector<std::string>> g_drops;
uintptr_t g_nextDrop = 1;

// One drawing target per window number, kept for the life of the process so that a target handed
// out earlier never dangles; its surface is cleared when the window closes.
std::map<int, std::unique_ptr<DrawTarget>> g_drawTargets;
// The same for the device-resolution surfaces.
std::map<int, std::unique_ptr<DrawTarget>> g_deviceTargets;

bool IsWindowEvent(int code) {
    return code == EVENT_MOVED || code == EVENT_RESIZED || code == EVENT_REPAINT ||
           code == EVENT_CLOSE || code == EVENT_ACTIVATED;
}

void Enqueue(const QueuedEvent& e) {
    auto& q = g_events.queue;
    // A burst of the same window event from the same window is reported once.
    if (IsWindowEvent(e.code) && !q.empty() && q.back().code == e.code &&
        q.back().window == e.window && !q.back().control)
        return;
    if (q.size() >= kMaxQueuedEvents) return;
    q.push_back(e);
}

void QueueWindowEvent(int code, int window) {
    if (window < 0) return;
    QueuedEvent e;
    e.code = code;
    e.window = window;
    Enqueue(e);
}

void QueueInputEvent(int code, int window, uintptr_t param) {
    QueuedEvent e;
    e.code = code;
    e.window = window;
    e.hasParam = true;
    e.param = param;
    Enqueue(e);
}

uintptr_t NewDrop(std::vector<std::string> names) {
    while (g_drops.size() >= kMaxDrops)
        g_drops.erase(g_drops.begin());
    uintptr_t handle = g_nextDrop++;
    if (g_nextDrop == 0) g_nextDrop = 1;
    g_drops[handle] = std::move(names);
    return handle;
}

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
    void mousePressEvent(QMouseEvent* e) override {
        // Reached only by a press that no control took.
        if (e->button() == Qt::LeftButton) g_surfacePress = number_;
        e->accept();
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
        auto it = g_drawTargets.find(number_);
        if (it != g_drawTargets.end()) it->second->surface = surface_.get();
    }

    int number_;
    std::unique_ptr<raster::Bitmap> surface_;
    std::unique_ptr<raster::Bitmap> layer_;
    QPoint layerAt_;
    double layerRatio_ = 1;
};

ToolkitWindow* WindowOf(int number) {
    WindowRecord* r = ObjectTableFind(g_windows, number);
    return r ? reinterpret_cast<ToolkitWindow*>(r->handle) : nullptr;
}

// Windows virtual-key code for a Qt key, as far as the program's keys go.
uintptr_t VirtualKey(const QKeyEvent* e) {
    static const std::pair<int, int> kKeys[] = {
        {Qt::Key_Tab, 9},     {Qt::Key_Backtab, 9}, {Qt::Key_Backspace, 8}, {Qt::Key_Return, 13},
        {Qt::Key_Enter, 13},  {Qt::Key_Shift, 16},  {Qt::Key_Control, 17},  {Qt::Key_Alt, 18},
        {Qt::Key_Escape, 27}, {Qt::Key_Space, 32},  {Qt::Key_PageUp, 33},   {Qt::Key_PageDown, 34},
        {Qt::Key_End, 35},    {Qt::Key_Home, 36},   {Qt::Key_Left, 37},     {Qt::Key_Up, 38},
        {Qt::Key_Right, 39},  {Qt::Key_Down, 40},   {Qt::Key_Delete, 46}};
    int k = e->key();
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) return k;
    for (auto [qt, vk] : kKeys)
        if (qt == k) return static_cast<uintptr_t>(vk);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 112 + (k - Qt::Key_F1);
    return static_cast<uintptr_t>(k & 0xffff);
}

// Mouse-message key-state flags: left 1, right 2, shift 4, control 8, middle 0x10.
uintptr_t MouseFlags(const QMouseEvent* e) {
    uintptr_t f = 0;
    Qt::MouseButtons b = e->buttons();
    if (b & Qt::LeftButton) f |= 1;
    if (b & Qt::RightButton) f |= 2;
    if (e->modifiers() & Qt::ShiftModifier) f |= 4;
    if (e->modifiers() & Qt::ControlModifier) f |= 8;
    if (b & Qt::MiddleButton) f |= 0x10;
    return f;
}

int MouseCode(QEvent::Type type, Qt::MouseButton button) {
    int base = 0;
    switch (button) {
        case Qt::LeftButton:
            base = EVENT_LBUTTONDOWN;
            break;
        case Qt::RightButton:
            base = EVENT_RBUTTONDOWN;
            break;
        case Qt::MiddleButton:
            base = 519;
            break;
        default:
            return 0;
    }
    switch (type) {
        case QEvent::MouseButtonPress:
            return base;
        case QEvent::MouseButtonRelease:
            return base + 1;
        case QEvent::MouseButtonDblClick:
            return base + 2;
        default:
            return 0;
    }
}

// Turns the input that reaches the toolkit's windows and their controls into events, and takes
// Tab and Shift+Tab for the focus cycle before any control sees them.
class InputFilter : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* ev) override {
        QEvent::Type t = ev->type();
        bool key = t == QEvent::KeyPress || t == QEvent::KeyRelease;
        bool mouse = t == QEvent::MouseMove || t == QEvent::MouseButtonPress ||
                     t == QEvent::MouseButtonRelease || t == QEvent::MouseButtonDblClick;
        if (!key && !mouse) return false;
        // Every press or release of the left button, wherever it goes, ends what an earlier press
        // on a window's surface began; the window itself sets it anew for a press it receives.
        if (t != QEvent::MouseMove && !key &&
            static_cast<QMouseEvent*>(ev)->button() == Qt::LeftButton)
            g_surfacePress = -1;
        auto* w = qobject_cast<QWidget*>(obj);
        if (!w || !w->isWidgetType()) return false;
        int number = ToolkitWindowNumberOf(w);
        if (number < 0) return false;

        // An event ignored by a child travels on to its parents: count it once.
        auto* ie = static_cast<QInputEvent*>(ev);
        bool repeat = t == lastType_ && ie->timestamp() == lastStamp_ && SameDetail(ev) &&
                      lastReceiver_ && lastReceiver_ != w && w->isAncestorOf(lastReceiver_);
        if (repeat) return false;
        lastReceiver_ = w;
        lastType_ = t;
        lastStamp_ = ie->timestamp();
        RememberDetail(ev);

        if (key) {
            auto* ke = static_cast<QKeyEvent*>(ev);
            QueueInputEvent(t == QEvent::KeyPress ? EVENT_KEYDOWN : 257, number, VirtualKey(ke));
        } else {
            auto* me = static_cast<QMouseEvent*>(ev);
            int code = t == QEvent::MouseMove ? EVENT_MOUSEMOVE : MouseCode(t, me->button());
            if (code) QueueInputEvent(code, number, MouseFlags(me));
        }
        return Navigate(ev, w);
    }

private:
    bool Navigate(QEvent* ev, QWidget* w) {
        if (ev->type() != QEvent::KeyPress) return false;
        auto* ke = static_cast<QKeyEvent*>(ev);
        Qt::KeyboardModifiers mods = ke->modifiers() & ~Qt::KeypadModifier;
        bool forward = ke->key() == Qt::Key_Tab && mods == Qt::NoModifier;
        bool backward =
            (ke->key() == Qt::Key_Backtab || ke->key() == Qt::Key_Tab) && mods == Qt::ShiftModifier;
        if (!forward && !backward) return false;
        ToolkitTabNavigate(w->window(), forward);
        return true;
    }
    bool SameDetail(QEvent* ev) const {
        if (ev->type() == QEvent::KeyPress || ev->type() == QEvent::KeyRelease)
            return static_cast<QKeyEvent*>(ev)->key() == lastKey_;
        auto* me = static_cast<QMouseEvent*>(ev);
        return me->globalPosition() == lastPos_ && me->button() == lastButton_;
    }
    void RememberDetail(QEvent* ev) {
        if (ev->type() == QEvent::KeyPress || ev->type() == QEvent::KeyRelease) {
            lastKey_ = static_cast<QKeyEvent*>(ev)->key();
        } else {
            auto* me = static_cast<QMouseEvent*>(ev);
            lastPos_ = me->globalPosition();
            lastButton_ = me->button();
        }
    }

    QPointer<QWidget> lastReceiver_;
    QEvent::Type lastType_ = QEvent::None;
    quint64 lastStamp_ = 0;
    int lastKey_ = 0;
    QPointF lastPos_;
    Qt::MouseButton lastButton_ = Qt::NoButton;
};

InputFilter* g_filter = nullptr;
QTimer* g_wakeUp = nullptr;

// A trial connection to the X server named by DISPLAY, authorisation included: Qt ends the
// process when it cannot open its display, so the toolkit asks first, through the same client
// library (loaded only for this). The connection stays open until Qt has its own, because a
// server whose last client leaves resets itself and would turn Qt away meanwhile.
class XProbe {
public:
    XProbe() = default;
    ~XProbe() {
        if (connection_) disconnect_(connection_);
        if (lib_) dlclose(lib_);
    }
    XProbe(const XProbe&) = delete;
    XProbe& operator=(const XProbe&) = delete;
    // Connects on the first call.
    bool Ok() {
        if (!tried_) Try();
        tried_ = true;
        return ok_;
    }

private:
    void Try() {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return;
        lib_ = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!lib_) return;  // without it the X platform of Qt cannot run either
        auto connect = reinterpret_cast<void* (*)(const char*, int*)>(dlsym(lib_, "xcb_connect"));
        auto hasError = reinterpret_cast<int (*)(void*)>(dlsym(lib_, "xcb_connection_has_error"));
        disconnect_ = reinterpret_cast<void (*)(void*)>(dlsym(lib_, "xcb_disconnect"));
        if (!connect || !hasError || !disconnect_) return;
        connection_ = connect(nullptr, nullptr);
        ok_ = connection_ && hasError(connection_) == 0;
    }

    void* lib_ = nullptr;
    void* connection_ = nullptr;
    void (*disconnect_)(void*) = nullptr;
    bool ok_ = false;
    bool tried_ = false;
};

bool DisplayAvailable(XProbe& x) {
    const char* env = std::getenv("QT_QPA_PLATFORM");
    std::string platform = env ? env : "";
    // A list such as "wayland;xcb" is tried in order; any usable entry will do.
    size_t start = 0;
    bool anyNamed = false;
    while (start <= platform.size()) {
        size_t end = platform.find(';', start);
        std::string name = platform.substr(start, end == std::string::npos ? end : end - start);
        name = name.substr(0, name.find(':'));
        if (!name.empty()) {
            anyNamed = true;
            if (name == "offscreen" || name == "minimal" || name == "vnc" || name == "linuxfb" ||
                name == "eglfs" || name == "vkkhrdisplay")
                return true;
            if (name == "xcb" && x.Ok()) return true;
            if (name.rfind("wayland", 0) == 0 && std::getenv("WAYLAND_DISPLAY")) return true;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    // Unnamed, Qt starts on X.
    return !anyNamed && x.Ok();
}

void FinishWindowTarget(DrawTarget* target) {
    ToolkitWindow* w = WindowOf(static_cast<int>(reinterpret_cast<intptr_t>(target->owner)));
    if (w) w->update();
}

QueuedEvent Pop() {
    QueuedEvent e = g_events.queue.front();
    g_events.queue.pop_front();
    return e;
}

int Report(const QueuedEvent& e) {
    g_events.window = e.window;
    if (e.control) {
        g_events.source = e.source;
        g_events.detail = e.detail;
    }
    if (e.hasParam) g_events.param = e.param;
    return e.code;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Internals shared with the control and requester halves
// ---------------------------------------------------------------------------------------------

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

void ToolkitPostControlEvent(int window, int source, int detail) {
    QueuedEvent e;
    e.code = EVENT_CONTROL;
    e.window = window;
    e.source = source;
    e.detail = detail;
    e.control = true;
    Enqueue(e);
}

// ---------------------------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------------------------

bool ToolkitInit() {
    if (g_initialised) return true;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (QCoreApplication::instance()) return false;  // a non-GUI application is running
        XProbe x;
        if (!DisplayAvailable(x)) return false;
        static int argc = 1;
        static char name[] = "kadrovo";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);  // ended by ToolkitShutDown
        g_ownApplication = true;
    }
    ToolkitLoadTranslations();
    QApplication::setQuitOnLastWindowClosed(false);
    if (!ObjectTableCreate(g_windows, 16, WindowClose)) return false;
    if (!ToolkitControlsInit()) return false;
    g_events = EventState{};
    g_filter = new InputFilter;
    qApp->installEventFilter(g_filter);
    g_wakeUp = new QTimer;
    g_wakeUp->setSingleShot(true);
    g_initialised = true;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------------------------

uintptr_t WindowOpen(int number, int x, int y, int width, int height, const char* title,
                     uint32_t flags) {
    if (!g_initialised) return 0;
    WindowRecord* rec = ObjectTableObtain(g_windows, number);
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
    WindowRecord* r = ObjectTableFind(g_windows, number);
    return r ? r->handle : 0;
}

void WindowSetTitle(int number, const char* text) {
    ToolkitWindow* w = WindowOf(number);
    if (w && text) w->setWindowTitle(QString::fromUtf8(text));
}

void WindowClose(int number) {
    ToolkitWindow* w = WindowOf(number);
    if (!w) return;
    ToolkitFreeWindowControls(number);
    for (auto* targets : {&g_drawTargets, &g_deviceTargets}) {
        auto it = targets->find(number);
        if (it != targets->end()) it->second->surface = nullptr;
    }
    ObjectTableClear(g_windows, number);
    w->setProperty("TX_WindowID", QVariant());
    delete w;
}

void WindowCloseAll() {
    if (!g_initialised) return;
    ObjectTableFirst(g_windows);
    int number = 0;
    while (ObjectTableNext(g_windows, &number))
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
// Events
// ---------------------------------------------------------------------------------------------

int EventWait(int timeoutMs) {
    g_events.detail = -1;
    if (!g_events.queue.empty()) return Report(Pop());
    if (!g_initialised) return EVENT_NONE;

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (!g_events.queue.empty()) return Report(Pop());
    if (timeoutMs == 0) return EVENT_NONE;

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (timeoutMs > 0) {
            qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0) break;
            g_wakeUp->start(static_cast<int>(left));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (!g_events.queue.empty()) {
            g_wakeUp->stop();
            return Report(Pop());
        }
    }
    g_wakeUp->stop();
    return EVENT_NONE;
}

int EventSource() {
    return g_events.source;
}
int EventDetail() {
    return g_events.detail;
}
int EventWindowNumber() {
    return g_events.window;
}
uintptr_t EventParam() {
    return g_events.param;
}

int DropQueryCount(uintptr_t drop) {
    auto it = g_drops.find(drop);
    return it == g_drops.end() ? 0 : static_cast<int>(it->second.size());
}

std::string DropQueryFile(uintptr_t drop, int index) {
    auto it = g_drops.find(drop);
    if (it == g_drops.end() || index < 0 || index >= static_cast<int>(it->second.size())) return {};
    return it->second[static_cast<size_t>(index)];
}

void DropFinish(uintptr_t drop) {
    g_drops.erase(drop);
}

// ---------------------------------------------------------------------------------------------
// Cursor and drawing
// ---------------------------------------------------------------------------------------------

namespace {
bool CursorInClient(int number, QPoint& out) {
    ToolkitWindow* w = WindowOf(number);
    if (!w) return false;
    int sx = 0, sy = 0;
    InputCurrent().CursorScreenPos(sx, sy);
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
    auto& slot = g_deviceTargets[number];
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
    auto it = g_deviceTargets.find(number);
    if (it != g_deviceTargets.end()) it->second->surface = nullptr;
    w->SetLayer(nullptr, QPoint(), 1);
}

bool WindowSurfacePressed(int number) {
    return number >= 0 && g_surfacePress == number && WindowOf(number) != nullptr;
}

DrawTarget* WindowDrawTarget(int number) {
    ToolkitWindow* w = WindowOf(number);
    if (!w) return nullptr;
    auto& slot = g_drawTargets[number];
    if (!slot) slot = std::make_unique<DrawTarget>();
    slot->kind = 1;
    slot->surface = w->Surface();
    slot->finish = FinishWindowTarget;
    slot->owner = reinterpret_cast<void*>(static_cast<intptr_t>(number));
    return slot.get();
}

void ToolkitShutDown() {
    if (!g_initialised) return;
    WindowCloseAll();
    qApp->removeEventFilter(g_filter);
    delete g_filter;
    g_filter = nullptr;
    delete g_wakeUp;
    g_wakeUp = nullptr;
    g_events = EventState{};
    g_initialised = false;
    if (g_ownApplication) {
        // Destroying the application runs the platform's clipboard hand-over.
        delete QCoreApplication::instance();
        g_ownApplication = false;
    }
}

void ToolkitSetFont(const char* family, int pixelSize) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    QFont font = QApplication::font();
    if (family && *family) font.setFamilies({QString::fromUtf8(family)});
    if (pixelSize > 0) font.setPixelSize(pixelSize);
    QApplication::setFont(font);
    g_fontChosen = true;
}

QFont ToolkitControlFont() {
    QFont f = QApplication::font();
    if (g_fontChosen) return f;
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
