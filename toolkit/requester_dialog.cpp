#include "toolkit/requester_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include "toolkit/window_table.h"

bool RequesterCanShow() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

QWidget* RequesterOwner() {
    QWidget* active = QApplication::activeWindow();
    return active && ToolkitWindowNumberOf(active) >= 0 ? active : nullptr;
}

QPushButton* AddOkAndCancel(QDialog& dialog, QDialogButtonBox& buttons) {
    QPushButton* ok = buttons.addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    buttons.addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    QObject::connect(&buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return ok;
}

bool RunRequester(QDialog& dialog) {
    OrdinaryPointer pointer;
    return dialog.exec() == QDialog::Accepted;
}
