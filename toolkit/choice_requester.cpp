// The choice requester: a small modal dialog with labelled lists and OK / Abbrechen.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "toolkit/requester.h"
#include "toolkit/toolkit_state.h"
#include "toolkit/window_table.h"

bool AskChoices(const char* title, std::vector<ChoiceField>& fields) {
    const std::string titleText = title ? title : "";
    if (g_toolkit.script) {
        std::vector<ChoiceField> answer = fields;
        if (!g_toolkit.script->Choices(titleText, answer) || answer.size() != fields.size())
            return false;
        // A script is held to what the lists take, as the dialog holds the user.
        for (size_t i = 0; i < fields.size(); ++i) {
            const ChoiceField& f = fields[i];
            const std::string& v = answer[i].value;
            const bool listed = std::find(f.items.begin(), f.items.end(), v) != f.items.end();
            if (!listed && !(f.editable && f.accepts && f.accepts(v))) return false;
        }
        for (size_t i = 0; i < fields.size(); ++i)
            fields[i].value = answer[i].value;
        return true;
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;

    QWidget* active = QApplication::activeWindow();
    QDialog dialog(active && ToolkitWindowNumberOf(active) >= 0 ? active : nullptr);
    dialog.setWindowTitle(QString::fromStdString(titleText));
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    std::vector<QComboBox*> lists;
    for (const ChoiceField& f : fields) {
        auto* list = new QComboBox(&dialog);
        list->setEditable(f.editable);
        // A typed value is kept as typed, not added to the list.
        list->setInsertPolicy(QComboBox::NoInsert);
        for (const std::string& item : f.items)
            list->addItem(QString::fromStdString(item));
        const int index = list->findText(QString::fromStdString(f.value));
        if (index >= 0) {
            list->setCurrentIndex(index);
        } else if (f.editable) {
            list->setEditText(QString::fromStdString(f.value));
        }
        form->addRow(QString::fromStdString(f.label), list);
        lists.push_back(list);
    }
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    // Return takes the choices, also from a list's typing field.
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto check = [&] {
        bool valid = true;
        for (size_t i = 0; i < fields.size(); ++i) {
            const std::string text = lists[i]->currentText().toStdString();
            const ChoiceField& f = fields[i];
            if (f.editable && lists[i]->findText(lists[i]->currentText()) < 0)
                valid = valid && f.accepts && f.accepts(text);
        }
        ok->setEnabled(valid);
    };
    for (QComboBox* list : lists) {
        QObject::connect(list, &QComboBox::currentTextChanged, &dialog, check);
        // The typing field keeps Return to itself; here it means OK, as everywhere else.
        if (QLineEdit* typing = list->lineEdit())
            QObject::connect(typing, &QLineEdit::returnPressed, &dialog, [&dialog, ok] {
                if (ok->isEnabled()) dialog.accept();
            });
    }
    check();
    if (!lists.empty()) lists.front()->setFocus();
    // The ordinary pointer over the dialog, even inside a busy stretch.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (busy) QApplication::restoreOverrideCursor();
    if (!accepted) return false;
    for (size_t i = 0; i < fields.size(); ++i)
        fields[i].value = lists[i]->currentText().toStdString();
    return true;
}
