// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <functional>

#include "upgrade/av_upgrade.h"

class QPushButton;

// "Upgrading Local Device": shown while the AV upgrade runs on its worker, with Cancel. Cancel
// asks first (the device may be left unusable) and then stops the upgrade at its next frame
// boundary; the dialog closes when the worker has ended.
namespace corvel::ui {

class UpgradeProgressDialog : public QDialog {
    Q_OBJECT
public:
    // `fileDialog` is hidden when the upgrade starts and stays open, hidden, until it ends.
    UpgradeProgressDialog(AvUpgradeFiles files, QWidget* fileDialog);

    // Shows the dialog (input reaches no other window) and runs the upgrade on a worker until
    // it ends; the success message follows the closing of this dialog.
    UpgradeOutcome run();

    // The upgrade itself (upgradeWorker); tests put a scripted one in its place.
    using Worker = std::function<UpgradeOutcome(const AvUpgradeFiles&, UpgradeControl&,
                                                const UpgradeWorkerHooks&)>;
    void setWorker(Worker worker) { worker_ = std::move(worker); }

    QPushButton* cancelButton() const { return cancel_; }
    bool cancelRequested() const { return control_.cancelRequested(); }

    // Cancel, Escape or the window's close box while the upgrade runs.
    void reject() override;

private:
    void workerEnded();

    AvUpgradeFiles files_;
    QWidget* fileDialog_;
    Worker worker_;
    UpgradeControl control_;
    QPushButton* cancel_;
    bool running_ = false;
};

}  // namespace corvel::ui
