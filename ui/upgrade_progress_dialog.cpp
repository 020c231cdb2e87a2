// SPDX-License-Identifier: MIT
#include "ui/upgrade_progress_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/operation_runner.h"

namespace corvel::ui {

// Owned by the file dialog's owner: hiding the file dialog must not hide this one.
UpgradeProgressDialog::UpgradeProgressDialog(AvUpgradeFiles files, QWidget* fileDialog)
    : QDialog(fileDialog->parentWidget()),
      files_(std::move(files)),
      fileDialog_(fileDialog),
      worker_(upgradeWorker) {
    setWindowTitle(QStringLiteral("Upgrading Local Device"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Upgrading firmware....................."), this));
    layout->addWidget(
        new QLabel(QStringLiteral("Please wait this may take few seconds....."), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    cancel_ = buttons->button(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &UpgradeProgressDialog::reject);
}

UpgradeOutcome UpgradeProgressDialog::run() {
    // The file dialog is hidden meanwhile, so this dialog alone must keep the user's input
    // away from the property sheet.
    setWindowModality(Qt::ApplicationModal);
    show();
    running_ = true;
    UpgradeWorkerHooks hooks;
    hooks.hideFileDialog = [this] { runOnGuiThread([this] { fileDialog_->hide(); }); };
    hooks.closeProgress = [this] { runOnGuiThread([this] { workerEnded(); }); };
    UpgradeOutcome outcome = UpgradeOutcome::Failed;
    // The worker owns the tables and the transport until it ends; this thread meanwhile paints,
    // answers Cancel and shows the worker's messages (runOperation's hand-off).
    runOperation(nullptr, [&] { outcome = worker_(files_, control_, hooks); });
    workerEnded();
    return outcome;
}

void UpgradeProgressDialog::workerEnded() {
    running_ = false;
    done(QDialog::Accepted);
}

void UpgradeProgressDialog::reject() {
    if (!running_) {
        QDialog::reject();
        return;
    }
    if (control_.cancelRequested() || !confirmUpgradeCancel()) return;
    control_.requestCancel();
    cancel_->setEnabled(false);
}

}  // namespace corvel::ui
