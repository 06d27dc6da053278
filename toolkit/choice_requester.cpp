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
#include "toolkit/requester_dialog.h"
#include "toolkit/toolkit_state.h"

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
    if (!RequesterCanShow()) return false;

    QDialog dialog(RequesterOwner());
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
    // Return takes the choices (OK is the default), also from a list's typing field.
    QPushButton* ok = AddOkAndCancel(dialog, *buttons);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
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
    if (!RunRequester(dialog)) return false;
    for (size_t i = 0; i < fields.size(); ++i)
        fields[i].value = lists[i]->currentText().toStdString();
    return true;
}
