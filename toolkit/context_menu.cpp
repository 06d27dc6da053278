// The context menu of a rectangle of a window: a filter on the window catches the menu request
// (right button or menu key) there, which reaches the window also through the frames and texts
// lying over it, and shows the menu without waiting for it, so the program's own loop goes on.
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <string>
#include <vector>

#include "toolkit/event_queue.h"
#include "toolkit/window.h"
#include "toolkit/window_table.h"

namespace {

struct Entry {
    QString text;
    int command;
};

class ContextMenuFilter : public QObject {
public:
    ContextMenuFilter(QWidget* window, int number) : QObject(window), number_(number) {
        setObjectName(kName);
    }
    // Found again by this name: without its own meta-object, the class cannot be looked up.
    static constexpr const char* kName = "tx-context-menu";

    void Set(const QRect& area, std::vector<Entry> entries) {
        area_ = area;
        entries_ = std::move(entries);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ContextMenu) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* e = static_cast<QContextMenuEvent*>(event);
        if (!widget || !area_.contains(e->pos())) return false;
        if (menu_) menu_->deleteLater();
        menu_ = new QMenu(widget);
        menu_->setAttribute(Qt::WA_DeleteOnClose);
        const int number = number_;
        for (const Entry& entry : entries_) {
            QAction* action = menu_->addAction(entry.text);
            QObject::connect(action, &QAction::triggered, menu_, [number, c = entry.command] {
                QueueInputEvent(EVENT_COMMAND, number, static_cast<uintptr_t>(c));
            });
        }
        menu_->popup(e->globalPos());
        return true;
    }

private:
    int number_;
    QRect area_;
    std::vector<Entry> entries_;
    QPointer<QMenu> menu_;
};

}  // namespace

bool WindowSetContextMenu(int number, int x, int y, int width, int height,
                          const std::vector<WindowMenuEntry>& entries) {
    QWidget* window = ToolkitWindowWidget(number);
    if (!window) return false;
    auto* filter = static_cast<ContextMenuFilter*>(
        window->findChild<QObject*>(ContextMenuFilter::kName, Qt::FindDirectChildrenOnly));
    if (!filter) {
        filter = new ContextMenuFilter(window, number);
        window->installEventFilter(filter);
    }
    std::vector<Entry> list;
    for (const WindowMenuEntry& e : entries) {
        // A tab puts the keys in the menu's column for them.
        QString text = QString::fromUtf8(e.text ? e.text : "");
        if (e.keys && *e.keys) text += QStringLiteral("\t") + QString::fromUtf8(e.keys);
        list.push_back({text, e.command});
    }
    filter->Set(QRect(x, y, width, height), std::move(list));
    return true;
}
