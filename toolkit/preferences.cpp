#include "toolkit/preferences.h"

#include <QDir>
#include <QSettings>
#include <QString>
#include <cstdlib>

namespace {

QString PreferenceFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    QString folder;
    if (config && *config == '/') {
        folder = QString::fromLocal8Bit(config);
    } else {
        const char* home = std::getenv("HOME");
        folder = QString::fromLocal8Bit(home ? home : "") + QStringLiteral("/.config");
    }
    return folder + QStringLiteral("/kadrovo/kadrovo.conf");
}

}  // namespace

int PreferenceGet(const char* key, int fallback) {
    if (!key) return fallback;
    const QSettings file(PreferenceFile(), QSettings::IniFormat);
    bool number = false;
    const int value = file.value(QString::fromUtf8(key)).toInt(&number);
    return number ? value : fallback;
}

bool PreferenceSet(const char* key, int value) {
    if (!key) return false;
    QSettings file(PreferenceFile(), QSettings::IniFormat);
    file.setValue(QString::fromUtf8(key), value);
    file.sync();
    return file.status() == QSettings::NoError;
}
