// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QString>

#include "ui/scan_pause_while_open.h"

class QLabel;
class QLineEdit;

// "Set Device Password" (the main page's Enter Password): records the printed password of the
// device selected in the remote list and proves it on the device. The scan is paused while the
// dialog is open. Its result is 1 when the check ran (storedPassword() then holds what the
// device record keeps, for the list's Password column), 0 otherwise.
namespace corvel::ui {

class DevicePasswordDialog : public QDialog {
    Q_OBJECT
public:
    // `rowName` and `macText` are the selected row's name and MAC columns; the device record is
    // found by the MAC. The password box opens with the record's stored password, bare of its
    // verification prefixes (the record is rewritten so), or "PASS-WORD-GOES-HERE".
    DevicePasswordDialog(const QString& rowName, const QString& macText,
                         QWidget* parent = nullptr);

    // Opens the dialog modally for the selected row; with no row selected (`macText` empty), or
    // a row whose device has no record, says "Please select a device first by clicking on it."
    // and returns 0 without opening.
    static int execForRow(const QString& rowName, const QString& macText, QWidget* parent);

    const QString& storedPassword() const { return stored_; }
    QLineEdit* passwordBox() const { return password_; }
    QLabel* progressLabel() const { return progress_; }

    void accept() override;
    void reject() override;

private:
    int record_;
    ScanPauseWhileOpen scanPause_;
    QLineEdit* password_;
    QLabel* progress_;
    QString stored_;
};

}  // namespace corvel::ui
