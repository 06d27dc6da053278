#include "platform/clipboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>
#include <QStringList>

namespace {

// The clipboard exists only inside a running GUI application.
QClipboard* SystemClipboard() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;
    return QGuiApplication::clipboard();
}

}  // namespace

std::vector<std::string> ClipboardFormats() {
    std::vector<std::string> formats;
    QClipboard* clipboard = SystemClipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data) return formats;
    const QStringList list = data->formats();
    for (const QString& f : list)
        formats.push_back(f.toStdString());
    return formats;
}

ClipboardData ClipboardGet(const std::string& mime) {
    QClipboard* clipboard = SystemClipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    const QString type = QString::fromStdString(mime);
    if (!data || !data->hasFormat(type)) return {};
    const QByteArray bytes = data->data(type);
    return ClipboardData(bytes.begin(), bytes.end());
}

bool ClipboardSet(const std::map<std::string, ClipboardData>& formats) {
    QClipboard* clipboard = SystemClipboard();
    if (!clipboard) return false;
    auto* data = new QMimeData;  // owned by the clipboard once set
    for (const auto& [mime, bytes] : formats) {
        data->setData(QString::fromStdString(mime),
                      QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                 static_cast<qsizetype>(bytes.size())));
    }
    clipboard->setMimeData(data);
    return true;
}
