// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

// The Main page's commands that open dialogs: Enter Password ("Set Device Password" for the
// selected row), Add ("Add Device to Network", closed by the page's refresh when the device shows
// up) and Upgrade Firmware (the dialog of the local device's family).
namespace corvel::ui {

class AddDeviceDialog;
class MainPage;

class MainPageCommands : public QObject {
    Q_OBJECT
public:
    // Connects to `page`'s command signals; lives as long as the page (its child).
    explicit MainPageCommands(MainPage& page);

    void enterPassword();
    void addDevice();
    void upgradeFirmware();

private:
    MainPage& page_;
    QPointer<AddDeviceDialog> addDialog_;
};

}  // namespace corvel::ui
