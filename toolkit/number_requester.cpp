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
#include "toolkit/toolkit_state.h"
#include "toolkit/window_table.h"

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
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;

    QWidget* active = QApplication::activeWindow();
    QDialog dialog(active && ToolkitWindowNumberOf(active) >= 0 ? active : nullptr);
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
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (changed)
        QObject::connect(field, &QDoubleSpinBox::valueChanged, &dialog,
                         [&changed](double v) { changed(v); });
    field->selectAll();
    field->setFocus();
    // The ordinary pointer over the dialog, even inside a busy stretch.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool ok = dialog.exec() == QDialog::Accepted;
    if (busy) QApplication::restoreOverrideCursor();
    if (!ok) return false;
    // What the field shows, which is what the user chose.
    value = std::round(field->value() * 10.0) / 10.0;
    return true;
}
