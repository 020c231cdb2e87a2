// SPDX-License-Identifier: MIT
#include "ui/add_device_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/tables.h"
#include "keys/rules.h"
#include "network/device_dialogs.h"
#include "platform/text.h"
#include "ui/device_dialog_parts.h"
#include "ui/stoppable_run.h"

namespace corvel::ui {

namespace {
// The name box is read with room for 32 characters: one past the longest name allowed, so that
// a longer text is seen, cut and warned about.
constexpr int kDeviceNameBoxRead = 32;
}  // namespace

AddDeviceDialog::AddDeviceDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Add Device to Network"));
    name_ = new QLineEdit(QStringLiteral("Name"), this);
    name_->setAccessibleName(QStringLiteral("Device Name:"));
    name_->selectAll();
    password_ = makePasswordBox(this, QString::fromUtf8(kPasswordPlaceholder.data(),
                                                        kPasswordPlaceholder.size()));
    progress_ = makeLiveLabel(this, QString());

    ok_ = layOutDeviceDialog(this, QStringLiteral("Device Name:"), name_, password_, progress_)
              ->button(QDialogButtonBox::Ok);
    connect(name_, &QLineEdit::textChanged, this, &AddDeviceDialog::limitName);

    // The add's progress texts go to the most recent Add Device dialog.
    progressTarget_ =
        std::make_unique<ProgressTarget>(progress_, &OperationHooks::addProgressTarget);
    name_->setFocus();
    scanPause_.pause();
}

void AddDeviceDialog::limitName() {
    std::string name = name_->text().left(kDeviceNameBoxRead).toStdString();
    if (!cutDeviceName(name)) return;
    name_->setText(QString::fromStdString(name));
    name_->selectAll();
}

void AddDeviceDialog::accept() {
    const std::string name = name_->text().toStdString();
    const std::string password = password_->text().toStdString();
    // The add itself runs with the scan as the user left it: it pauses the scan around its own
    // exchanges, and the scan must run afterwards to see the device come up.
    scanPause_.restore();
    DialogOutcome outcome = DialogOutcome::staysOpen;
    // Cancel and the window's close stay live while the add runs: they stop it (reject).
    for (QWidget* input : {static_cast<QWidget*>(name_), static_cast<QWidget*>(password_),
                           static_cast<QWidget*>(ok_)})
        input->setEnabled(false);
    running_ = true;
    runStoppable(nullptr, [&] { outcome = addDeviceToNetwork(name, password); },
                 QString::fromStdString(stringOf(currentStationTable().networkName)));
    running_ = false;
    for (QWidget* input : {static_cast<QWidget*>(name_), static_cast<QWidget*>(password_),
                           static_cast<QWidget*>(ok_)})
        input->setEnabled(true);
    switch (outcome) {
    case DialogOutcome::staysOpen: scanPause_.pause(); return;
    case DialogOutcome::waiting:
        // A second OK would start another add and drop this one's pending name and password.
        waiting_ = true;
        ok_->setEnabled(false);
        return;
    default:
        // A failed or stopped add, or old Turbo firmware (whose refusal leaves the scan paused
        // for the upgrade that comes next).
        done(QDialog::Rejected);
    }
}

void AddDeviceDialog::deviceShowedUp() {
    waiting_ = false;
    done(QDialog::Accepted);
}

void AddDeviceDialog::reject() {
    if (running_) {
        // The add stops at its next safe point and puts the local device's key back; the
        // dialog closes when it has.
        requestStop();
        return;
    }
    scanPause_.restore();
    QDialog::reject();
}

}  // namespace corvel::ui
