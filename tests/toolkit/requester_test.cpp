// Requesters and the file-name helpers: name checks, path parts, sizes, the filter translation,
// the default-file split, the test hook and the real dialogs driven from a timer.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "toolkit/file_filter.h"
#include "toolkit/requester.h"
#include "toolkit_fixture.h"

namespace {

const char kPictures[] = "Bilder (*.bmp,*.jpg,*.png)|*.bmp;*.jpg;*.png|Alle Dateien (*.*)|*.*";
const char kJpeg[] = "JPG Bilder (*.jpg)|*.jpg|Alle Dateien (*.*)|*.*";

TEST(FileNames, Valid) {
    struct Case {
        const char* text;
        bool valid;
    };
    for (Case c : {Case{nullptr, false}, Case{"", false}, Case{"Urlaub.jpg", true},
                   Case{"Grösse äöü.jpg", true}, Case{"a:b", false}, Case{"a/b", false},
                   Case{"a\\b", false}, Case{"a*b", false}, Case{"a?b", false}, Case{"a\"b", false},
                   Case{"a<b", false}, Case{"a>b", false}, Case{"a|b", false}, Case{"a\tb", false},
                   Case{"a\x1f", false}, Case{" ", true}}) {
        EXPECT_EQ(FileNameValid(c.text), c.valid) << (c.text ? c.text : "(null)");
    }
}

TEST(FileNames, FilePart) {
    struct Case {
        const char* path;
        const char* part;
    };
    for (Case c :
         {Case{nullptr, ""}, Case{"", ""}, Case{"Urlaub.jpg", "Urlaub.jpg"},
          Case{"C:\\Bilder\\Urlaub.jpg", "Urlaub.jpg"}, Case{"C:/Bilder/Urlaub.jpg", "Urlaub.jpg"},
          Case{"/home/anna/Bilder/Urlaub.jpg", "Urlaub.jpg"},
          Case{"/home/anna/mixed\\Urlaub.jpg", "Urlaub.jpg"}, Case{"\"/tmp/x y.jpg\"", "x y.jpg"},
          Case{"\"Urlaub.jpg\" rest", "Urlaub.jpg"}, Case{"/tmp/", ""}}) {
        EXPECT_EQ(PathFilePart(c.path), c.part) << (c.path ? c.path : "(null)");
    }
}

TEST(FileNames, Size) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string base = dir.path().toStdString();
    auto write = [&](const char* name, int bytes) {
        QFile f(QString::fromStdString(base + "/" + name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(bytes, 'x'));
    };
    write("leer.jpg", 0);
    write("fuenf.jpg", 5);
    ASSERT_TRUE(QDir(dir.path()).mkdir("Bilder"));
    struct Case {
        std::string path;
        int64_t size;
    };
    for (const Case& c : {Case{"", -1}, Case{base + "/leer.jpg", 0}, Case{base + "/fuenf.jpg", 5},
                          Case{base + "/fehlt.jpg", -1}, Case{base + "/Bilder", -2},
                          Case{base + "/Bilder/", -2}, Case{"/", -2}}) {
        EXPECT_EQ(FileSize(c.path.c_str()), c.size) << c.path;
    }
    EXPECT_EQ(FileSize(nullptr), -1);
}

TEST(FileFilters, WildcardsMatchAnyCase) {
    struct Case {
        const char* wildcard;
        const char* translated;
    };
    for (Case c : {Case{"*.jpg", "*.[jJ][pP][gG]"}, Case{"*.*", "*"}, Case{"*", "*"},
                   Case{"bild?.PNG", "[bB][iI][lL][dD]?.[pP][nN][gG]"},
                   Case{"*.jp2", "*.[jJ][pP]2"}, Case{"a b", "[aA]?[bB]"}, Case{"(x)", "?[xX]?"},
                   Case{"*.jpä", "*.[jJ][pP]?"}, Case{"Ä*", "?*"}}) {
        EXPECT_EQ(WildcardAnyCase(c.wildcard), c.translated) << c.wildcard;
    }
    // What the dialog's file list does with a translated wildcard.
    auto matches = [](const char* wildcard, const char* name) {
        QRegularExpression re(QRegularExpression::wildcardToRegularExpression(
            QString::fromStdString(WildcardAnyCase(wildcard))));
        return re.match(QString::fromUtf8(name)).hasMatch();
    };
    EXPECT_TRUE(matches("*.jpg", "PHOTO.JPG"));
    EXPECT_TRUE(matches("*.jpg", "urlaub.Jpg"));
    EXPECT_FALSE(matches("*.jpg", "urlaub.jpeg"));
    EXPECT_TRUE(matches("*.*", "README"));
}

TEST(FileFilters, DialogFilterList) {
    struct Case {
        const char* pattern;
        std::vector<std::string> filters;
    };
    for (const Case& c :
         {Case{kPictures,
               {"Bilder (*.bmp,*.jpg,*.png) (*.[bB][mM][pP] *.[jJ][pP][gG] *.[pP][nN][gG])",
                "Alle Dateien (*.*) (*)"}},
          Case{kJpeg, {"JPG Bilder (*.jpg) (*.[jJ][pP][gG])", "Alle Dateien (*.*) (*)"}},
          Case{"Nur Text", {"Nur Text (*)"}}, Case{"", {}}, Case{nullptr, {}},
          Case{"A|*.a||", {"A (*.[aA])"}}}) {
        EXPECT_EQ(DialogFilters(c.pattern), c.filters) << (c.pattern ? c.pattern : "(null)");
    }
}

TEST(FileFilters, DefaultFileSplit) {
    struct Case {
        const char* defaultFile;
        const char* folder;
        const char* name;
    };
    for (Case c :
         {Case{"/home/anna/Bilder/Urlaub", "/home/anna/Bilder", "Urlaub"},
          Case{"/home/anna/Bilder/", "/home/anna/Bilder", ""}, Case{"Urlaub", "", "Urlaub"},
          Case{"", "", ""}, Case{nullptr, "", ""}, Case{"a:b", "", ""},
          Case{"/tmp/a:b", "/tmp", ""}, Case{"/Urlaub.jpg", "/", "Urlaub.jpg"}}) {
        std::string folder = "x", name = "x";
        SplitDefaultFile(c.defaultFile, folder, name);
        EXPECT_EQ(folder, c.folder) << (c.defaultFile ? c.defaultFile : "(null)");
        EXPECT_EQ(name, c.name) << (c.defaultFile ? c.defaultFile : "(null)");
    }
}

struct Script : RequesterScript {
    int messageAnswer = IDYES;
    std::string fileAnswer = "/tmp/gewaehlt.jpg";
    std::vector<std::string> calls;
    int Message(const std::string& title, const std::string& text, int flags) override {
        calls.push_back("M|" + title + "|" + text + "|" + std::to_string(flags));
        return messageAnswer;
    }
    std::string File(bool save, const std::string& title, const std::string& folder,
                     const std::string& name, const std::string& pattern,
                     int patternIndex) override {
        calls.push_back(std::string(save ? "S|" : "O|") + title + "|" + folder + "|" + name + "|" +
                        pattern + "|" + std::to_string(patternIndex));
        return fileAnswer;
    }
};

TEST(RequesterHook, AnswersWithoutDialogs) {
    Script script;
    RequesterSetScript(&script);
    EXPECT_EQ(ShowMessage("Datei existiert", "Überschreiben?", 52), IDYES);
    EXPECT_EQ(AskOpenFile("Bild einladen", "", kPictures, 0), "/tmp/gewaehlt.jpg");
    script.fileAnswer = "";
    EXPECT_EQ(AskSaveFile("Bild speichern", "/home/anna/a:b", kJpeg, 1), "");
    RequesterSetScript(nullptr);
    EXPECT_EQ(script.calls, (std::vector<std::string>{
                                "M|Datei existiert|Überschreiben?|52",
                                std::string("O|Bild einladen|||") + kPictures + "|0",
                                std::string("S|Bild speichern|/home/anna||") + kJpeg + "|1"}));
}

class RealRequesterTest : public ToolkitTest {
protected:
    // Runs `act` on the requester as soon as it is the active modal window.
    static void WhenModal(std::function<void(QWidget*)> act) {
        auto* timer = new QTimer;
        timer->setInterval(20);
        QObject::connect(timer, &QTimer::timeout, [timer, act] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                timer->stop();
                timer->deleteLater();
                act(modal);
            }
        });
        timer->start();
    }
};

TEST_F(RealRequesterTest, MessageBoxButtonsAndResults) {
    struct Case {
        int flags;
        QMessageBox::StandardButton press;
        int result;
    };
    for (Case c : {Case{48, QMessageBox::Ok, IDOK}, Case{52, QMessageBox::Yes, IDYES},
                   Case{52, QMessageBox::No, IDNO}}) {
        QString shownText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            shownText = box->text();
            icon = box->icon();
            buttons = static_cast<int>(box->buttons().size());
            box->button(c.press)->click();
        });
        EXPECT_EQ(ShowMessage("Error", "Erste Zeile\rZweite Zeile", c.flags), c.result);
        EXPECT_EQ(shownText, "Erste Zeile\nZweite Zeile");
        EXPECT_EQ(icon, QMessageBox::Warning);
        EXPECT_EQ(buttons, c.flags == 48 ? 1 : 2);
    }
}

TEST_F(RealRequesterTest, OpenDialogCancelledGivesEmpty) {
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString();
    QString shownFolder;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        shownFolder = dialog->directory().absolutePath();
        dialog->reject();
    });
    EXPECT_EQ(AskOpenFile("Bild einladen", (folder + "/Urlaub").c_str(), kPictures, 0), "");
    EXPECT_EQ(shownFolder.toStdString(), folder);
}

TEST_F(RealRequesterTest, SaveDialogReturnsTheTypedPathUnchanged) {
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString();
    QFile existing(dir.path() + "/Urlaub");
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    WhenModal([](QWidget* modal) {
        // Accepting at once takes the preselected name: no overwrite question, no extension.
        QMetaObject::invokeMethod(modal, "accept");
    });
    EXPECT_EQ(AskSaveFile("Bild speichern", (folder + "/Urlaub").c_str(), kJpeg, 0),
              folder + "/Urlaub");
}

TEST_F(RealRequesterTest, FiltersShowTheirTextsAndMatchAnyCase) {
    QTemporaryDir dir;
    for (const char* name : {"PHOTO.JPG", "bild.png", "Scan.Bmp", "notizen.txt"}) {
        QFile f(dir.path() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QFileDialog dialog;
    ToolkitConfigureFileDialog(dialog, false, "Bild einladen", dir.path().toStdString(), "",
                               kPictures, 0);
    dialog.show();
    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->count(), 2);
    EXPECT_EQ(types->itemText(0), "Bilder (*.bmp,*.jpg,*.png)");
    EXPECT_EQ(types->itemText(1), "Alle Dateien (*.*)");
    EXPECT_EQ(types->currentIndex(), 0);
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));

    auto* list = dialog.findChild<QListView*>("listView");
    ASSERT_NE(list, nullptr);
    auto shown = [list] {
        QStringList names;
        QAbstractItemModel* m = list->model();
        for (int r = 0; r < m->rowCount(list->rootIndex()); ++r) {
            QModelIndex i = m->index(r, 0, list->rootIndex());
            if (m->flags(i) & Qt::ItemIsEnabled) names << i.data().toString();
        }
        names.sort();
        return names;
    };
    EXPECT_TRUE(WaitFor([&] { return shown().size() == 3; }));
    EXPECT_EQ(shown(), (QStringList{"PHOTO.JPG", "Scan.Bmp", "bild.png"}));

    QFileDialog second;
    ToolkitConfigureFileDialog(second, true, "Bild speichern", dir.path().toStdString(), "neu.jpg",
                               kJpeg, 1);
    auto* secondTypes = second.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(secondTypes, nullptr);
    EXPECT_EQ(secondTypes->currentIndex(), 1);
    EXPECT_EQ(secondTypes->currentText(), "Alle Dateien (*.*)");
    EXPECT_EQ(second.selectedFiles().value(0), dir.path() + "/neu.jpg");
    EXPECT_EQ(second.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(second.defaultSuffix().isEmpty());
}

}  // namespace
