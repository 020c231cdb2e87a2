// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

#include "ui/firmware_file_choice.h"
#include "ui/scan_pause_while_open.h"

class QCheckBox;
class QLineEdit;

// "Config & Image": the firmware upgrade of a HomePlug 1.0 Turbo local device from a
// configuration file (*.CFG) and a MAC image (*.IMG). The scan is paused while the dialog is
// open; after an upgrade it stays paused until the user turns AutoScan on again. "Resume an
// interrupted upgrade" runs it at the secondary loader's address without the reset into the
// loader, for a device that an upgrade left there and that answers nothing else.
namespace corvel::ui {

class ConfigImageDialog : public QDialog {
    Q_OBJECT
public:
    // `chooser` stands in for the open-file dialog (tests); empty: the open-file dialog.
    explicit ConfigImageDialog(QWidget* parent = nullptr, FirmwareFileChooser chooser = {});

    QLineEdit* configBox() const { return config_; }
    QLineEdit* imageBox() const { return image_; }
    QCheckBox* resumeBox() const { return resume_; }

    // OK: runs the upgrade (its own messages tell the outcome), then closes.
    void accept() override;
    void reject() override;

private:
    ScanPauseWhileOpen scanPause_;
    QLineEdit* config_;
    QLineEdit* image_;
    QCheckBox* resume_;
};

}  // namespace corvel::ui
