#include "toolkit/desktop.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "toolkit/qt_toolkit.h"

void ToolkitSetApplication(const char* name, const char* version, const char* desktopId,
                           std::span<const char* const> iconFiles) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    if (name) QCoreApplication::setApplicationName(QString::fromUtf8(name));
    if (version) QCoreApplication::setApplicationVersion(QString::fromUtf8(version));
    if (desktopId) QGuiApplication::setDesktopFileName(QString::fromUtf8(desktopId));
    QIcon icon;
    for (const char* f : iconFiles)
        icon.addFile(QString::fromUtf8(f));
    if (!icon.isNull()) QApplication::setWindowIcon(icon);
}

void ToolkitLoadTranslations() {
    // The interface is German whatever the locale, Qt's own dialogs and buttons included. Without
    // the translation file the program runs on with Qt's English texts.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_de"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}
