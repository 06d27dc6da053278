#include "toolkit/desktop.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "toolkit/qt_toolkit.h"

namespace {

// Every option the program knows, in the order the usage text lists them. A new option is one
// more row here and a look at it in ParseCommandLine.
struct OptionRow {
    const char* shortName;  // null for a long name alone
    const char* longName;
    const char* description;
};
constexpr OptionRow kHelp{"h", "help", "Zeigt diese Hilfe und endet."};
constexpr OptionRow kVersion{"v", "version", "Zeigt Programmname und Version und endet."};
// A batch never reaches this parser (main hands it to the batch export first); its row only
// points to the batch's own help.
constexpr OptionRow kBatch{nullptr, "batch",
                           "Exportiert viele Bilder ohne Fenster; mehr mit --batch --help."};
constexpr const OptionRow* kOptions[] = {&kHelp, &kVersion, &kBatch};

constexpr const char* kFileArgument = "DATEI";
constexpr const char* kFileDescription =
    "Bild (BMP, Icon, JPEG oder PNG), das beim Start geladen wird.";

QCommandLineOption OptionOf(const OptionRow& option) {
    QStringList names;
    if (option.shortName) names << QString::fromUtf8(option.shortName);
    names << QString::fromUtf8(option.longName);
    return QCommandLineOption(names, QString::fromUtf8(option.description));
}

std::string OptionNames(const OptionRow& option) {
    return (option.shortName ? std::string("-") + option.shortName + ", " : std::string(4, ' ')) +
           "--" + option.longName;
}

// A path as the program's loader takes it: local file URLs (as file managers may pass them)
// become paths, relative paths are made absolute so that the name means the same file later.
std::string LocalPath(const QString& argument) {
    QString path = argument;
    if (argument.startsWith(QLatin1String("file:"))) path = QUrl(argument).toLocalFile();
    if (path.isEmpty()) return {};
    return QFileInfo(path).absoluteFilePath().toStdString();
}

}  // namespace

std::string CommandLineUsage(const char* program) {
    size_t column = std::string(kFileArgument).size();
    for (const OptionRow* option : kOptions)
        column = std::max(column, OptionNames(*option).size());
    auto row = [column](const std::string& names, const char* description) {
        return "  " + names + std::string(column - names.size() + 2, ' ') + description + "\n";
    };
    std::string text = std::string("Aufruf: ") + program + " [OPTION] [" + kFileArgument +
                       "]\nBereitet ein Foto zum Drucken, für Auktionen und für E-Mails vor.\n"
                       "\nOptionen:\n";
    for (const OptionRow* option : kOptions)
        text += row(OptionNames(*option), option->description);
    text += "\nArgumente:\n" + row(kFileArgument, kFileDescription);
    return text;
}

CommandLine ParseCommandLine(int argc, const char* const* argv, const char* program,
                             const char* version) {
    QStringList arguments{QString::fromUtf8(program)};
    for (int i = 1; i < argc && argv; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionRow* option : kOptions)
        parser.addOption(OptionOf(*option));
    parser.addPositionalArgument(QString::fromUtf8(kFileArgument),
                                 QString::fromUtf8(kFileDescription));

    CommandLine result;
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString& name = unknown.first();
            std::fprintf(stderr, "%s: unbekannte Option: %s%s\n", program,
                         name.size() == 1 ? "-" : "--", name.toUtf8().constData());
        } else {
            std::fprintf(stderr, "%s: %s\n", program, parser.errorText().toUtf8().constData());
        }
        std::fputs(CommandLineUsage(program).c_str(), stderr);
        result.run = false;
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(QString::fromUtf8(kHelp.longName))) {
        std::fputs(CommandLineUsage(program).c_str(), stdout);
        result.run = false;
        return result;
    }
    if (parser.isSet(QString::fromUtf8(kVersion.longName))) {
        std::printf("%s %s\n", program, version);
        result.run = false;
        return result;
    }
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) result.file = LocalPath(files.last());
    return result;
}

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
