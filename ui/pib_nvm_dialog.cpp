// SPDX-License-Identifier: MIT
#include "ui/pib_nvm_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/device_dialog_parts.h"

namespace corvel::ui {

PibNvmDialog::PibNvmDialog(QWidget* parent, FirmwareFileChooser chooser) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select PIB & NVM files"));
    auto* heading =
        new QLabel(QStringLiteral("Please select appropriate Firmware and PIB files."), this);
    heading->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255); background: transparent;"));
    auto* grid = new QGridLayout;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(grid);
    const QString browse = QStringLiteral("Browse...");
    pib_ = addFirmwareFileRow(grid, 0, QStringLiteral("PIB"), browse, kPibFile, chooser);
    nvm_ = addFirmwareFileRow(grid, 1, QStringLiteral("NVM"), browse, kNvmFile, chooser);
    auto* buttons = makeOkCancel(this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &PibNvmDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PibNvmDialog::reject);
    resize(520, 150);
    scanPause_.pause();
}

void PibNvmDialog::accept() {
    AvUpgradeFiles files{nvm_->text().toStdString(), pib_->text().toStdString()};
    // A missing choice ("Stop") or the device type not confirmed: the dialog stays as it is.
    if (confirmAvUpgradeStart(files) != UpgradeStart::confirmed) return;
    UpgradeProgressDialog progress(std::move(files), this);
    progress.setWorker(worker_);
    outcome_ = progress.run();
    scanPause_.keepPaused();
    QDialog::accept();
}

void PibNvmDialog::reject() {
    scanPause_.restore();
    QDialog::reject();
}

}  // namespace corvel::ui
