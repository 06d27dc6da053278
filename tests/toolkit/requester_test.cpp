// Requesters and the file-name helpers: the filter translation, the default-file split and the
// real dialogs driven from a timer. Path parts and file sizes are read through the shell's
// messages and the export's overwrite rule.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string_view>
#include <vector>

#include "toolkit/file_filter.h"
#include "toolkit/qt_toolkit.h"
#include "toolkit/requester.h"
#include "toolkit_fixture.h"

namespace {

const char kPictures[] = "Bilder (*.bmp,*.jpg,*.png)|*.bmp;*.jpg;*.png|Alle Dateien (*.*)|*.*";

// The dialog's filter list: display text, then the patterns made to match any case (which names
// a filter shows is checked on a real dialog below).
TEST(FileFilters, DialogFilterListAndDefaultFileSplit) {
    using Filters = std::vector<std::string>;
    // Spaces and brackets would split or group patterns, and the dialog cannot match other
    // letters in any case: they become '?'.
    EXPECT_EQ(DialogFilters("X|bild?.PNG;*.jp2;a b;(x);Ä*||"),
              Filters{"X ([bB][iI][lL][dD]?.[pP][nN][gG] *.[jJ][pP]2 [aA]?[bB] ?[xX]? ?*)"});
    // The ordinary splits are the shell's (the open and save dialogs' proposals).
    const char* cases[][3] = {
        {nullptr, "", ""}, {"/tmp/a:b", "/tmp", ""}, {"/Urlaub.jpg", "/", "Urlaub.jpg"}};
    for (auto [defaultFile, wantFolder, wantName] : cases) {
        const auto [folder, name] = SplitDefaultFile(defaultFile);
        EXPECT_EQ(folder + "|" + name, std::string(wantFolder) + "|" + wantName)
            << (defaultFile ? defaultFile : "(null)");
    }
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
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString();
};

// Each box: its buttons, the default one (Return; No as the overwrite question's default: the
// export's end-to-end test), the answer to a click, and the ordinary pointer
// over it even when it opens inside a busy stretch, which goes on after it.
TEST_F(RealRequesterTest, MessageBoxButtonsAndResults) {
    using B = QMessageBox::StandardButton;
    // What the box showed: its text, its buttons' captions (the default one starred), the pointer.
    for (auto [flags, press, result, shown] :
         {std::tuple{48, B::Ok, IDOK, "Erste Zeile\nZweite Zeile|*OK|arrow"},
          {52, B::Yes, IDYES, "Erste Zeile\nZweite Zeile|*Ja Nein|arrow"}}) {
        QString seen;
        WhenModal([&, press = press](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            QStringList captions;
            for (B b : {B::Ok, B::Yes, B::No, B::Cancel})
                if (QAbstractButton* button = box->button(b))
                    captions << (button == box->defaultButton() ? "*" : "") +
                                    button->text().remove('&');
            const bool arrow = QApplication::overrideCursor()->shape() == Qt::ArrowCursor;
            seen = box->text() + "|" + captions.join(' ') + "|" + (arrow ? "arrow" : "busy");
            box->button(press)->click();
        });
        BusyCursor busy;
        EXPECT_EQ(ShowMessage("Error", "Erste Zeile\rZweite Zeile", flags), result);
        EXPECT_EQ(seen.toStdString(), shown) << flags;
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The number requester: its field holds the range and steps of a tenth, typing outside the
// range or no number is not taken, the live callback hears each value, OK gives the value shown
// and Abbrechen leaves the value as it was.
TEST_F(RealRequesterTest, NumberRequesterKeepsToItsRange) {
    for (const char* button : {"OK", "Abbrechen"}) {
        std::vector<double> heard;
        QString seen;
        WhenModal([&](QWidget* modal) {
            auto* field = modal->findChild<QDoubleSpinBox*>();
            ASSERT_NE(field, nullptr);
            seen = modal->windowTitle() + QString::asprintf(" %g..%g by %g, %d decimal",
                                                            field->minimum(), field->maximum(),
                                                            field->singleStep(), field->decimals());
            for (const char* typed : {"20", "x", "-15.1"}) {
                field->findChild<QLineEdit*>()->setText(typed);
                EXPECT_FALSE(field->hasAcceptableInput()) << typed;
            }
            field->setValue(2.0);
            field->stepBy(5);
            for (QPushButton* b : modal->findChildren<QPushButton*>())
                if (b->text() == button) b->click();
        });
        double value = 1.0;
        const bool ok = AskNumber("Begradigen", "Winkel:", -15.0, 15.0, 0.1, value,
                                  [&](double v) { heard.push_back(v); });
        EXPECT_EQ(seen.toStdString(), "Begradigen -15..15 by 0.1, 1 decimal");
        ASSERT_FALSE(heard.empty());
        EXPECT_DOUBLE_EQ(heard.back(), 2.5);
        EXPECT_EQ(ok, std::string_view(button) != "Abbrechen") << button;
        EXPECT_DOUBLE_EQ(value, ok ? 2.5 : 1.0) << button;
    }
}

// The choice requester: a list shows its items with the value chosen; a typed value the field
// refuses greys OK, one it takes is given back as typed (Return in the field is OK); Abbrechen
// leaves the values as they were.
TEST_F(RealRequesterTest, ChoiceRequesterTakesItemsAndAcceptedTypedValues) {
    for (const std::string button : {"OK", "Abbrechen", "Return"}) {
        QString seen;
        WhenModal([&](QWidget* modal) {
            const QList<QComboBox*> lists = modal->findChildren<QComboBox*>();
            ASSERT_EQ(lists.size(), 2);
            QPushButton* ok = nullptr;
            for (QPushButton* b : modal->findChildren<QPushButton*>())
                if (b->text() == "OK") ok = b;
            ASSERT_NE(ok, nullptr);
            seen = modal->windowTitle() + " " + lists[0]->currentText() + "/" +
                   QString::number(lists[0]->count()) + " " + lists[1]->currentText();
            lists[0]->setEditText("viel");
            seen += ok->isEnabled() ? " ok" : " grey";
            lists[0]->setEditText("750 KB");
            seen += ok->isEnabled() ? " ok" : " grey";
            lists[1]->setCurrentIndex(2);
            if (button == "Return") QTest::keyClick(lists[0]->lineEdit(), Qt::Key_Return);
            for (QPushButton* b : modal->findChildren<QPushButton*>())
                if (b->text() == button.c_str()) b->click();
        });
        std::vector<ChoiceField> fields(2);
        fields[0] = {"Grösse", {"klein", "gross"}, "3 KB", true, [](const std::string& t) {
                         return t.ends_with(" KB");
                     }};
        fields[1] = {"Schärfe", {"aus", "mild", "stark"}, "aus", false, {}};
        const bool ok = AskChoices("Ausgabe", fields);
        EXPECT_EQ(seen.toStdString(), "Ausgabe 3 KB/2 aus grey ok");
        EXPECT_EQ(ok, button != "Abbrechen") << button;
        EXPECT_EQ(fields[0].value + "|" + fields[1].value, ok ? "750 KB|stark" : "3 KB|aus");
    }
}

TEST_F(RealRequesterTest, FiltersShowTheirTextsAndMatchAnyCase) {
    for (const char* name : {"PHOTO.JPG", "bild.png", "Scan.Bmp", "notizen.txt"})
        ASSERT_TRUE(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    QFileDialog dialog;
    ToolkitConfigureFileDialog(dialog, false, "Bild einladen", folder, "", kPictures, 0);
    // The desktop's dialog is taken where the platform offers one; here it offers none, and
    // Qt's own dialog (its widgets below) stands in.
    EXPECT_FALSE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    dialog.show();
    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    auto* list = dialog.findChild<QListView*>("listView");
    ASSERT_TRUE(types && list);
    EXPECT_EQ(QString::number(types->count()) + " " + types->currentText(),
              "2 Bilder (*.bmp,*.jpg,*.png)");
    // The pattern index picks the pair shown first; one past the list leaves the first. The save
    // dialog adds no extension of its own: the name typed is the one the export reads.
    for (auto [index, want] :
         {std::pair{1, "Alle Dateien (*.*)"}, {2, "Bilder (*.bmp,*.jpg,*.png)"}}) {
        QFileDialog other;
        ToolkitConfigureFileDialog(other, true, "Bild speichern...", folder, "", kPictures, index);
        EXPECT_EQ(other.selectedNameFilter().toStdString(), want) << index;
        EXPECT_TRUE(other.defaultSuffix().isEmpty());
    }
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown().size() == 3; }, 10000));
    EXPECT_EQ(shown(), (QStringList{"PHOTO.JPG", "Scan.Bmp", "bild.png"}));

    // Cancelled, a requester gives the empty name; it opens in the folder of the default file.
    QString shownFolder;
    WhenModal([&](QWidget* modal) {
        shownFolder = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
        QMetaObject::invokeMethod(modal, "reject");
    });
    EXPECT_EQ(AskOpenFile("Bild einladen", (folder + "/Urlaub").c_str(), kPictures, 0), "");
    EXPECT_EQ(shownFolder.toStdString(), folder);
}

}  // namespace
