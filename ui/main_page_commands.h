// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

// The Main page's commands that open dialogs: Enter Password ("Set Device Password" for the
// selected row), Add ("Add Device to Network", closed by the page's refresh when the device shows
// up), Upgrade Firmware (the dialog of the local device's family), a station's view (one window
// per station, raised when asked for again) and "Restart Device…".
namespace corvel::ui {

class AddDeviceDialog;
class MainPage;
class StationView;

class MainPageCommands : public QObject {
    Q_OBJECT
public:
    // Connects to `page`'s command signals; lives as long as the page (its child).
    explicit MainPageCommands(MainPage& page);

    void enterPassword();
    void addDevice();
    void upgradeFirmware();
    // The station view of `mac`, opened or raised; its link details are read once it shows.
    void showStationDetails(const QString& mac);
    void restartDevice(const QString& mac, bool local);

private:
    MainPage& page_;
    QPointer<AddDeviceDialog> addDialog_;
    QList<QPointer<StationView>> views_;
};

}  // namespace corvel::ui
