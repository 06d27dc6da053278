#pragma once
// What every requester's dialog shares: whether dialogs can be shown at all, the window a dialog
// belongs to, its OK and Abbrechen, and the ordinary pointer while it is open.
#include <QApplication>

class QDialog;
class QDialogButtonBox;
class QPushButton;

// ---------------------------------------------------------------------------------------------
// Requester dialogs
// ---------------------------------------------------------------------------------------------

// True when a Qt application runs, so that a dialog can be shown.
bool RequesterCanShow();
// The window a dialog belongs to: the active one when it is ours, else none.
QWidget* RequesterOwner();
// Adds "OK" (the default button) and "Abbrechen" to `buttons`, Abbrechen rejecting `dialog`;
// returns OK, whose acceptance the caller wires.
QPushButton* AddOkAndCancel(QDialog& dialog, QDialogButtonBox& buttons);
// Shows `dialog` modally with the ordinary pointer over it; true when it was accepted.
bool RunRequester(QDialog& dialog);

// Puts the ordinary pointer over a requester while a busy cursor is shown, and the busy one
// back when the requester closes.
class OrdinaryPointer {
public:
    OrdinaryPointer() : busy_(QApplication::overrideCursor() != nullptr) {
        if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~OrdinaryPointer() {
        if (busy_) QApplication::restoreOverrideCursor();
    }
    OrdinaryPointer(const OrdinaryPointer&) = delete;
    OrdinaryPointer& operator=(const OrdinaryPointer&) = delete;

private:
    bool busy_;
};
