// SPDX-License-Identifier: MIT
#include "network/device_list_edits.h"

#include "core/tables.h"
#include "keys/rules.h"
#include "network/scan_pause.h"
#include "platform/mac.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "store/database.h"

namespace corvel {

RenameResult renameDevice(int record, std::string name) {
    ScanPause pause;
    if (record <= 0 || record > core.deviceCount) return RenameResult::noSuchDevice;
    cutDeviceName(name);
    if (!checkRenamedDeviceName(name, findDeviceByName(name) != 0)) return RenameResult::refused;
    copyText(core.devices[record - 1].name, name);
    saveDatabase();
    return RenameResult::renamed;
}

DeleteResult deleteDevice(int record) {
    if (record <= 0 || record > core.deviceCount) {
        notifier().show({MessageId::NoDeviceSelected, "Attention!",
                         "Please select a device first by clicking on it.", Icon::Warning,
                         Buttons::Ok});
        return DeleteResult::noSuchDevice;
    }
    if (!textOf(core.devices[record - 1].password).empty()) {
        const Button answer = notifier().show(
            {MessageId::ConfirmDeleteDevice, "Attention!",
             "A Password for this device has been entered. \nAre you sure you want to delete it?",
             Icon::None, Buttons::YesNo, {formatMac(core.devices[record - 1].mac)}});
        if (answer != Button::Yes) return DeleteResult::declined;
    }
    removeDevice(record);
    // Saved at once: a later save of an empty list would leave the removed device on disk.
    saveDatabase(nullptr, WhenEmpty::WriteEmpty);
    return DeleteResult::deleted;
}

}  // namespace corvel
