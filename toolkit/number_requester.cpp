// The number requester: a small modal dialog with one spin field and OK / Abbrechen.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "toolkit/requester.h"
#include "toolkit/requester_dialog.h"
#include "toolkit/toolkit_state.h"

bool AskNumber(const char* title, const char* label, double minimum, double maximum, double step,
               double& value, const std::function<void(double)>& changed) {
    const std::string titleText = title ? title : "";
    if (g_toolkit.script) {
        double answer = value;
        if (!g_toolkit.script->Number(titleText, minimum, maximum, answer, changed)) return false;
        // A script is held to the range as the field holds the user.
        if (!std::isfinite(answer) || answer < minimum || answer > maximum) return false;
        value = answer;
        return true;
    }
    if (!RequesterCanShow()) return false;

    QDialog dialog(RequesterOwner());
    dialog.setWindowTitle(QString::fromStdString(titleText));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QString::fromUtf8(label ? label : ""), &dialog));
    auto* field = new QDoubleSpinBox(&dialog);
    field->setDecimals(1);
    field->setRange(minimum, maximum);
    field->setSingleStep(step);
    field->setValue(value);
    field->setAccelerated(true);
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(&dialog);
    AddOkAndCancel(dialog, *buttons);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    if (changed)
        QObject::connect(field, &QDoubleSpinBox::valueChanged, &dialog,
                         [&changed](double v) { changed(v); });
    field->selectAll();
    field->setFocus();
    if (!RunRequester(dialog)) return false;
    // What the field shows, which is what the user chose.
    value = std::round(field->value() * 10.0) / 10.0;
    return true;
}
