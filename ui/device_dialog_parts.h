// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QDialog;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QWidget;

// What "Set Device Password" and "Add Device to Network" share: the password box, the help text
// that says where the printed password is found, the progress line and the OK / Cancel row.
namespace corvel::ui {

inline const char* const kPasswordHelpText =
    "The Password typically appears as a number and letter code, in groups of four, separated "
    "by dashes.\n\n(ie RT5V-KM38-PX2N-HCQA)\nIt is found on the device or packaging.";

// The password box: at most 19 characters (XXXX-XXXX-XXXX-XXXX), opening with `text` selected.
QLineEdit* makePasswordBox(QWidget* parent, const QString& text);

// A label whose accessible name follows its text, so a screen reader reads what it shows now.
QLabel* makeLiveLabel(QWidget* parent, const QString& text);
void setLiveText(QLabel* label, const QString& text);

// OK (the default button) and Cancel.
QDialogButtonBox* makeOkCancel(QWidget* parent);

// The layout both device dialogs share: `firstLabel` with `firstField`, "Password:" with the
// password box, the help text, the progress line, then OK and Cancel, connected to the dialog's
// accept and reject. Returns the button row.
QDialogButtonBox* layOutDeviceDialog(QDialog* dialog, const QString& firstLabel,
                                     QWidget* firstField, QLineEdit* password, QLabel* progress);

}  // namespace corvel::ui
