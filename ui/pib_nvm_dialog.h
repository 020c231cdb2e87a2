// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <optional>

#include "ui/firmware_file_choice.h"
#include "ui/scan_pause_while_open.h"
#include "ui/upgrade_progress_dialog.h"

class QLineEdit;

// "Select PIB & NVM files": the firmware upgrade of a HomePlug AV local device from a parameter
// image (*.PIB) and a firmware image (*.NVM). OK checks the choice, asks to confirm the device
// type, and runs the upgrade behind "Upgrading Local Device". The scan is paused while the
// dialog is open; after an upgrade it stays paused until the user turns AutoScan on again.
namespace corvel::ui {

class PibNvmDialog : public QDialog {
    Q_OBJECT
public:
    // `chooser` stands in for the open-file dialog (tests); empty: the open-file dialog.
    explicit PibNvmDialog(QWidget* parent = nullptr, FirmwareFileChooser chooser = {});

    // The upgrade run by OK (upgradeWorker); tests put a scripted one in its place.
    void setWorker(UpgradeProgressDialog::Worker worker) { worker_ = std::move(worker); }
    // The outcome of the upgrade OK ran; nothing while none has run.
    std::optional<UpgradeOutcome> outcome() const { return outcome_; }

    QLineEdit* pibBox() const { return pib_; }
    QLineEdit* nvmBox() const { return nvm_; }

    void accept() override;
    void reject() override;

private:
    ScanPauseWhileOpen scanPause_;
    QLineEdit* pib_;
    QLineEdit* nvm_;
    UpgradeProgressDialog::Worker worker_ = upgradeWorker;
    std::optional<UpgradeOutcome> outcome_;
};

}  // namespace corvel::ui
