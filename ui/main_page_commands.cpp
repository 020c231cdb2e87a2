// SPDX-License-Identifier: MIT
#include "ui/main_page_commands.h"

#include <QTimer>

#include "av/local_device.h"
#include "core/tables.h"
#include "platform/mac.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "ui/add_device_dialog.h"
#include "ui/config_image_dialog.h"
#include "ui/device_password_dialog.h"
#include "ui/device_restart_dialog.h"
#include "ui/main_page.h"
#include "ui/operation_runner.h"
#include "ui/pib_nvm_dialog.h"
#include "ui/station_view.h"

namespace corvel::ui {

MainPageCommands::MainPageCommands(MainPage& page) : QObject(&page), page_(page) {
    connect(&page, &MainPage::enterPasswordRequested, this, &MainPageCommands::enterPassword);
    connect(&page, &MainPage::addDeviceRequested, this, &MainPageCommands::addDevice);
    connect(&page, &MainPage::upgradeRequested, this, &MainPageCommands::upgradeFirmware);
    connect(&page, &MainPage::addDeviceAdopted, this, [this] {
        if (!addDialog_.isNull()) addDialog_->deviceShowedUp();
    });
    connect(&page, &MainPage::stationDetailsRequested, this, &MainPageCommands::showStationDetails);
    connect(&page, &MainPage::restartRequested, this, &MainPageCommands::restartDevice);
}

void MainPageCommands::showStationDetails(const QString& mac) {
    const std::optional<Mac> station = parseMac(mac.toStdString());
    if (!station) return;
    views_.removeAll(nullptr);
    for (const QPointer<StationView>& view : views_) {
        if (view->station() != *station) continue;
        view->raise();
        view->activateWindow();
        return;
    }
    auto* view = new StationView(*station, page_.window());
    views_.append(view);
    // Emitted inside refreshView, which holds the tables even when an operation's worker asked
    // for it.
    connect(&page_, &MainPage::stationsRefreshed, view, &StationView::refresh);
    view->show();
    // Once the window is up: the exchanges take a moment, and it paints meanwhile.
    QTimer::singleShot(0, view, [view] { view->readLinkDetails(); });
}

void MainPageCommands::restartDevice(const QString& mac, bool local) {
    const std::optional<Mac> device = parseMac(mac.toStdString());
    if (!device || operationRunning()) return;
    restartWithQuestion(
        page_.window(), *device,
        (local ? QStringLiteral("the local device ") : QStringLiteral("the station ")) + mac);
}

void MainPageCommands::enterPassword() {
    if (DevicePasswordDialog::execForRow(page_.selectedNameText(), page_.selectedMacText(),
                                         &page_) != 1)
        return;
    // The dialog is gone; the record it changed is found again by the row's MAC.
    const int record = findDeviceByMacText(page_.selectedMacText().toStdString());
    if (record != 0)
        page_.setSelectedPasswordCell(
            QString::fromStdString(stringOf(core.devices[record - 1].password)));
}

void MainPageCommands::addDevice() {
    AddDeviceDialog dialog(&page_);
    addDialog_ = &dialog;
    dialog.exec();
    addDialog_ = nullptr;
}

void MainPageCommands::upgradeFirmware() {
    if (core.localIsTurbo) {
        ConfigImageDialog(&page_).exec();
        return;
    }
    if (!core.localIsAv) {
        notifier().notify("Stop",
                          "Application does not have firmware upgrade capabilty for this type of "
                          "devices",
                          Icon::Information, Buttons::Ok);
        return;
    }
    bool known = false;
    runOperation(page_.window(), [&] { known = readFirmwareType(); });
    if (!known)
        notifier().notify("Information", "Can not retrive firmware type of local device",
                          Icon::Information, Buttons::Ok);
    PibNvmDialog(&page_).exec();
}

}  // namespace corvel::ui
