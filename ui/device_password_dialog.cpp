// SPDX-License-Identifier: MIT
#include "ui/device_password_dialog.h"

#include <QLabel>
#include <QLineEdit>

#include "core/tables.h"
#include "keys/rules.h"
#include "network/device_dialogs.h"
#include "network/operation_hooks.h"
#include "platform/notifier.h"
#include "ui/device_dialog_parts.h"
#include "ui/operation_runner.h"
#include "ui/progress_target.h"

namespace corvel::ui {

DevicePasswordDialog::DevicePasswordDialog(const QString& rowName, const QString& macText,
                                           QWidget* parent)
    : QDialog(parent), record_(findDeviceByMacText(macText.toStdString())) {
    setWindowTitle(QStringLiteral("Set Device Password"));
    const QString device = rowName + QStringLiteral("  (") + macText + QStringLiteral(")");
    auto* deviceText = makeLiveLabel(this, device);
    password_ = makePasswordBox(this, QString::fromStdString(openPasswordEntry(record_)));
    progress_ = makeLiveLabel(this, QString());

    layOutDeviceDialog(this, QStringLiteral("Device:"), deviceText, password_, progress_);

    password_->setFocus();
    scanPause_.pause();
}

int DevicePasswordDialog::execForRow(const QString& rowName, const QString& macText,
                                     QWidget* parent) {
    // A row without a device record (not yet entered by a refresh) has nowhere to keep a
    // password: it is refused as no selection is.
    if (macText.isEmpty() || findDeviceByMacText(macText.toStdString()) == 0) {
        notifier().notify("Attention!", "Please select a device first by clicking on it.",
                          Icon::Warning, Buttons::Ok);
        return 0;
    }
    DevicePasswordDialog dialog(rowName, macText, parent);
    return dialog.exec();
}

void DevicePasswordDialog::accept() {
    const std::string typed = password_->text().toStdString();
    // The box shows the password in the form it is stored and tried in: its first 19
    // characters upper-cased. The placeholder is left as it is, to be refused.
    if (typed != kPasswordPlaceholder)
        password_->setText(QString::fromStdString(upperCaseDevicePassword(typed)));
    const bool oldTurboFirmware = core.turboFirmwareTooOld != 0;

    PasswordEntry entry;
    {
        ProgressTarget target(progress_, &OperationHooks::passwordProgressTarget);
        runOperation(this, [&] { entry = enterDevicePassword(record_, typed); });
    }
    switch (entry.outcome) {
    case DialogOutcome::staysOpen: return;
    case DialogOutcome::checked:
        stored_ = QString::fromStdString(entry.stored);
        scanPause_.restore();
        done(QDialog::Accepted);
        return;
    default:
        // Refused for old Turbo firmware, the upgrade comes next: the scan stays paused.
        if (oldTurboFirmware && record_ != 0) scanPause_.keepPaused();
        scanPause_.restore();
        done(QDialog::Rejected);
    }
}

void DevicePasswordDialog::reject() {
    scanPause_.restore();
    QDialog::reject();
}

}  // namespace corvel::ui
