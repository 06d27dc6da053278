// The form requester: labelled one-line fields, a line for the reason why it stays open, further
// buttons, OK / Abbrechen. Every judgement is the caller's, through the form's callbacks.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolkit/requester.h"
#include "toolkit/requester_dialog.h"
#include "toolkit/toolkit_state.h"

bool AskFields(const char* title, const FieldForm& form, std::vector<std::string>& values) {
    values.resize(form.labels.size());
    const std::string titleText = title ? title : "";
    if (g_toolkit.script) {
        std::vector<std::string> answer = values;
        if (!g_toolkit.script->Fields(titleText, form, answer)) return false;
        // A script is held to the check as the user is.
        if (form.check && !form.check(answer).empty()) return false;
        values = answer;
        return true;
    }
    if (!RequesterCanShow()) return false;

    QDialog dialog(RequesterOwner());
    dialog.setWindowTitle(QString::fromStdString(titleText));
    auto* layout = new QVBoxLayout(&dialog);
    if (!form.note.empty()) layout->addWidget(new QLabel(QString::fromStdString(form.note)));
    auto* grid = new QGridLayout;
    std::vector<QLineEdit*> fields;
    for (size_t i = 0; i < form.labels.size(); ++i) {
        auto* field = new QLineEdit(QString::fromStdString(values[i]), &dialog);
        auto* label = new QLabel(QString::fromStdString(form.labels[i]), &dialog);
        label->setBuddy(field);
        grid->addWidget(label, static_cast<int>(i), 0);
        grid->addWidget(field, static_cast<int>(i), 1);
        fields.push_back(field);
    }
    layout->addLayout(grid);
    auto* reason = new QLabel(&dialog);
    reason->setWordWrap(true);
    layout->addWidget(reason);

    auto read = [&] {
        std::vector<std::string> now;
        for (QLineEdit* f : fields)
            now.push_back(f->text().toStdString());
        return now;
    };
    auto show = [&](const std::vector<std::string>& now) {
        for (size_t i = 0; i < fields.size() && i < now.size(); ++i) {
            const QString text = QString::fromStdString(now[i]);
            // Only a changed text is set, so the cursor of the field being typed in stays.
            if (fields[i]->text() != text) fields[i]->setText(text);
        }
    };
    for (size_t i = 0; i < fields.size(); ++i) {
        QObject::connect(fields[i], &QLineEdit::textEdited, &dialog, [&, i] {
            std::vector<std::string> now = read();
            if (form.edited) form.edited(static_cast<int>(i), now);
            show(now);
            reason->clear();
        });
    }
    auto* buttons = new QDialogButtonBox(&dialog);
    for (size_t b = 0; b < form.buttons.size(); ++b) {
        QPushButton* button = buttons->addButton(QString::fromStdString(form.buttons[b]),
                                                 QDialogButtonBox::ActionRole);
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, &dialog, [&, b] {
            std::vector<std::string> now = read();
            const std::string why = form.pressed ? form.pressed(static_cast<int>(b), now) : "";
            show(now);
            reason->setText(QString::fromStdString(why));
        });
    }
    AddOkAndCancel(dialog, *buttons);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        std::vector<std::string> now = read();
        const std::string why = form.check ? form.check(now) : "";
        show(now);
        reason->setText(QString::fromStdString(why));
        if (why.empty()) dialog.accept();
    });
    // The fields first in the Tab order, then the buttons.
    for (size_t i = 1; i < fields.size(); ++i)
        QWidget::setTabOrder(fields[i - 1], fields[i]);
    if (!fields.empty()) {
        fields[0]->setFocus();
        fields[0]->selectAll();
    }
    if (!RunRequester(dialog)) return false;
    values = read();
    return true;
}
