// SPDX-License-Identifier: MIT
#include "ui/config_image_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/device_dialog_parts.h"
#include "ui/operation_runner.h"
#include "upgrade/hp10_upgrade.h"

namespace corvel::ui {

ConfigImageDialog::ConfigImageDialog(QWidget* parent, FirmwareFileChooser chooser)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Config & Image"));
    auto* grid = new QGridLayout;
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    const QString browse = QStringLiteral("Browse....");
    config_ = addFirmwareFileRow(grid, 0, QStringLiteral("Config"), browse, kConfigFile, chooser);
    image_ = addFirmwareFileRow(grid, 1, QStringLiteral("Image"), browse, kImageFile, chooser);
    config_->setReadOnly(true);
    image_->setReadOnly(true);
    resume_ = new QCheckBox(QStringLiteral("Resume an interrupted upgrade"), this);
    resume_->setAccessibleName(resume_->text());
    resume_->setToolTip(
        QStringLiteral("For a device that an upgrade left in its secondary loader: write to the "
                       "loader directly, without resetting the device into it."));
    layout->addWidget(resume_);
    auto* buttons = makeOkCancel(this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ConfigImageDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ConfigImageDialog::reject);
    scanPause_.pause();
}

void ConfigImageDialog::accept() {
    const Hp10UpgradeFiles files{image_->text().toStdString(), config_->text().toStdString()};
    const LoaderEntry entry = resume_->isChecked() ? LoaderEntry::Resume : LoaderEntry::Reset;
    UpgradeControl control;
    runOperation(this, [&] { hp10UpgradeFirmware(files, control, entry); });
    scanPause_.keepPaused();
    QDialog::accept();
}

void ConfigImageDialog::reject() {
    scanPause_.restore();
    QDialog::reject();
}

}  // namespace corvel::ui
