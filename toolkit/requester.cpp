#include "toolkit/requester.h"

#include <sys/stat.h>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <cstring>

#include "toolkit/file_filter.h"
#include "toolkit/qt_toolkit.h"
#include "toolkit/requester_dialog.h"
#include "toolkit/toolkit_state.h"
#include "toolkit/window_table.h"

namespace {

std::string FileRequester(bool save, const char* title, const char* defaultFile,
                          const char* pattern, int patternIndex) {
    const auto [folder, name] = SplitDefaultFile(defaultFile);
    std::string titleText = title ? title : "";
    std::string patternText = pattern ? pattern : "";
    if (g_toolkit.script)
        return g_toolkit.script->File(save, titleText, folder, name, patternText, patternIndex);
    if (!RequesterCanShow()) return {};

    OrdinaryPointer pointer;
    QFileDialog dialog(RequesterOwner());
    ToolkitConfigureFileDialog(dialog, save, titleText, folder, name, patternText, patternIndex);
    if (dialog.exec() != QDialog::Accepted) return {};
    QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? std::string() : chosen.first().toStdString();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Filters and default file
// ---------------------------------------------------------------------------------------------

std::string WildcardAnyCase(const std::string& wildcard) {
    if (wildcard == "*.*") return "*";
    static const char kAllowed[] = "_.,*?+;#-@{}/!<>$%&=^~:|";
    std::string out;
    for (char ch : wildcard) {
        auto c = static_cast<unsigned char>(ch);
        // ASCII only: the letter case of other characters is not the locale's business here.
        bool lower = c >= 'a' && c <= 'z', upper = c >= 'A' && c <= 'Z';
        if (lower || upper) {
            out += '[';
            out += static_cast<char>(lower ? c : c + ('a' - 'A'));
            out += static_cast<char>(upper ? c : c - ('a' - 'A'));
            out += ']';
        } else if ((c >= '0' && c <= '9') || (c && c < 0x80 && std::strchr(kAllowed, c))) {
            out += ch;
        } else if (c < 0x80 || c >= 0xC0) {
            out += '?';  // one character, however many bytes it takes
        }
    }
    return out;
}

std::vector<std::string> DialogFilters(const char* pattern) {
    std::vector<std::string> parts;
    if (!pattern) return {};
    std::string p = pattern;
    size_t start = 0;
    for (;;) {
        size_t bar = p.find('|', start);
        parts.push_back(p.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    std::vector<std::string> filters;
    for (size_t i = 0; i + 1 <= parts.size(); i += 2) {
        const std::string& display = parts[i];
        std::string wildcards = i + 1 < parts.size() ? parts[i + 1] : "";
        if (display.empty() && wildcards.empty()) break;  // the list ends at an empty pair
        std::string list;
        size_t s = 0;
        for (;;) {
            size_t semi = wildcards.find(';', s);
            std::string one = wildcards.substr(s, semi == std::string::npos ? semi : semi - s);
            // Surrounding blanks are not part of a wildcard.
            size_t a = one.find_first_not_of(' '), b = one.find_last_not_of(' ');
            one = a == std::string::npos ? "" : one.substr(a, b - a + 1);
            if (!one.empty()) {
                if (!list.empty()) list += ' ';
                list += WildcardAnyCase(one);
            }
            if (semi == std::string::npos) break;
            s = semi + 1;
        }
        if (list.empty()) list.push_back('*');
        // The dialog shows what stands before the last parenthesised list, which is exactly
        // the display text even when that ends in parentheses of its own.
        std::string filter = display;
        filter.append(" (").append(list).append(")");
        filters.push_back(std::move(filter));
    }
    return filters;
}

DefaultFile SplitDefaultFile(const char* defaultFile) {
    DefaultFile split;
    if (!defaultFile || !*defaultFile) return split;
    const std::string text = defaultFile;
    const size_t slash = text.rfind('/');
    if (slash == std::string::npos) {
        split.name = text;
    } else {
        split.folder = slash == 0 ? "/" : text.substr(0, slash);
        split.name = text.substr(slash + 1);
    }
    if (!FileNameValid(split.name.c_str())) split.name.clear();
    return split;
}

void ToolkitConfigureFileDialog(QFileDialog& dialog, bool save, const std::string& title,
                                const std::string& folder, const std::string& name,
                                const std::string& pattern, int patternIndex) {
    // The desktop's own dialog (the XDG portal's, or the GTK or KDE platform theme's) when the
    // platform offers one: the user's bookmarks and thumbnails, and a way out of a sandbox.
    // Without one, Qt's own dialog is shown.
    dialog.setOption(QFileDialog::DontUseNativeDialog, false);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setWindowTitle(QString::fromStdString(title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A typed name of a file that does not exist is accepted, as by the save dialog.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString());
    if (!folder.empty()) dialog.setDirectory(QString::fromStdString(folder));
    QStringList filters;
    for (const std::string& f : DialogFilters(pattern.c_str()))
        filters << QString::fromStdString(f);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        // Every dialog starts on the first filter. Choosing it explicitly would hand the portal
        // an empty filter (it knows filters by their display text alone) and show every file.
        if (patternIndex > 0 && patternIndex < filters.size())
            dialog.selectNameFilter(filters[patternIndex]);
    }
    dialog.selectFile(QString::fromStdString(name));
}

// ---------------------------------------------------------------------------------------------
// Requesters
// ---------------------------------------------------------------------------------------------

int ShowMessage(const char* title, const char* text, int flags) {
    std::string t = title ? title : "Error";
    std::string body = text ? text : "";
    if (g_toolkit.script) return g_toolkit.script->Message(t, body, flags);
    if (!RequesterCanShow()) return 0;

    // A carriage return breaks the line, alone or before a line feed.
    QString shown = QString::fromStdString(body);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));

    OrdinaryPointer pointer;
    QMessageBox box(RequesterOwner());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(QString::fromStdString(t));
    box.setText(shown);
    switch (flags & 0xF0) {
        case 0x10:
            box.setIcon(QMessageBox::Critical);
            break;
        case 0x20:
            box.setIcon(QMessageBox::Question);
            break;
        case 0x30:
            box.setIcon(QMessageBox::Warning);
            break;
        case 0x40:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    using B = QMessageBox::StandardButton;
    std::vector<std::pair<B, int>> buttons;
    switch (flags & 0xF) {
        case 0x1:
            buttons = {{B::Ok, IDOK}, {B::Cancel, IDCANCEL}};
            break;
        case 0x2:
            buttons = {{B::Abort, 3}, {B::Retry, 4}, {B::Ignore, 5}};
            break;
        case 0x3:
            buttons = {{B::Yes, IDYES}, {B::No, IDNO}, {B::Cancel, IDCANCEL}};
            break;
        case 0x4:
            buttons = {{B::Yes, IDYES}, {B::No, IDNO}};
            break;
        case 0x5:
            buttons = {{B::Retry, 4}, {B::Cancel, IDCANCEL}};
            break;
        default:
            buttons = {{B::Ok, IDOK}};
            break;
    }
    QMessageBox::StandardButtons set;
    for (auto& b : buttons)
        set |= b.first;
    box.setStandardButtons(set);
    const size_t defaultIndex = static_cast<size_t>(flags & 0x300) >> 8;
    box.setDefaultButton(buttons[defaultIndex < buttons.size() ? defaultIndex : 0].first);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (auto& b : buttons) {
        if (clicked && clicked == box.button(b.first)) return b.second;
    }
    // Closed without a button: the box's escape answer, as far as it has one.
    for (auto& b : buttons) {
        if (b.first == B::Cancel || b.first == B::No) return b.second;
    }
    return buttons.size() == 1 ? buttons.front().second : 0;
}

std::string AskOpenFile(const char* title, const char* defaultFile, const char* pattern,
                        int patternIndex) {
    return FileRequester(false, title, defaultFile, pattern, patternIndex);
}

std::string AskSaveFile(const char* title, const char* defaultFile, const char* pattern,
                        int patternIndex) {
    return FileRequester(true, title, defaultFile, pattern, patternIndex);
}

// ---------------------------------------------------------------------------------------------
// File-name helpers
// ---------------------------------------------------------------------------------------------

bool FileNameValid(const char* text) {
    if (!text || !*text) return false;
    for (const char* p = text; *p; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (c < 32 || std::strchr("\"*/:<>?\\|", c)) return false;
    }
    return true;
}

std::string PathFilePart(const char* path) {
    if (!path) return {};
    std::string p = path;
    size_t start = !p.empty() && p[0] == '"' ? 1 : 0;
    size_t sep = p.find_last_of("/\\");
    if (sep != std::string::npos && sep + 1 > start) start = sep + 1;
    size_t end = p.find('"', start);
    return p.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int64_t FileSize(const char* path) {
    if (!path || !*path) return -1;
    std::string p = path;
    // A trailing separator names the folder itself.
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st {};
    if (stat(p.c_str(), &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) return -2;
    return static_cast<int64_t>(st.st_size);
}

// ---------------------------------------------------------------------------------------------
// Test hook
// ---------------------------------------------------------------------------------------------

void RequesterSetScript(RequesterScript* script) {
    g_toolkit.script = script;
}
