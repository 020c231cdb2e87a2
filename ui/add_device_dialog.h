// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <memory>

#include "ui/progress_target.h"
#include "ui/scan_pause_while_open.h"

class QLabel;
class QLineEdit;
class QPushButton;

// "Add Device to Network" (the main page's Add): brings a device that is not on the user's
// network yet onto it by its printed password. The scan is paused while the user types. After a
// successful add the dialog stays open, its progress line moving on with each refresh of the
// main page, until the main page sees the device and calls deviceShowedUp(); a failed add or
// Cancel closes it at once. While the add runs only Cancel (and the window's close) answers: it
// stops the add at its next safe point, which puts the local device's key back, and the dialog
// closes when the add has ended (ui/stoppable_run.h).
namespace corvel::ui {

class AddDeviceDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddDeviceDialog(QWidget* parent = nullptr);

    // The refresh adopted the added device: the dialog closes with Accepted.
    void deviceShowedUp();
    // An add ran and the dialog waits for the device.
    bool waitingForDevice() const { return waiting_; }

    QLineEdit* nameBox() const { return name_; }
    QLineEdit* passwordBox() const { return password_; }
    QLabel* progressLabel() const { return progress_; }
    QPushButton* okButton() const { return ok_; }

    void accept() override;
    void reject() override;

private:
    void limitName();

    ScanPauseWhileOpen scanPause_;
    QLineEdit* name_;
    QLineEdit* password_;
    QLabel* progress_;
    QPushButton* ok_;
    std::unique_ptr<ProgressTarget> progressTarget_;
    bool waiting_ = false;
    bool running_ = false;
};

}  // namespace corvel::ui
