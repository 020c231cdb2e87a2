// SPDX-License-Identifier: MIT
#include "network/device_dialogs.h"

#include <algorithm>
#include <optional>

#include "av/local_device.h"
#include "av/set_key.h"
#include "scan/device_list.h"
#include "scan/station_texts.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "keys/rules.h"
#include "network/add_device.h"
#include "network/hp10_confirm.h"
#include "network/key_state.h"
#include "network/key_target.h"
#include "network/local_key.h"
#include "network/operation_hooks.h"
#include "network/operation_stop.h"
#include "network/password_check.h"
#include "network/scan_now.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "store/database.h"

namespace corvel {

namespace {

// The password box takes at most this many characters of what is typed.
constexpr size_t kPasswordBoxRead = 25;
// The name box of Add Device is read with room for this many.
constexpr size_t kNameBoxRead = 79;
constexpr uint32_t kAfterNmkRestoredMs = 3000;

// The scan stays off while a dialog is open; leaving restores it, except after the old-firmware
// refusal, which leaves it off (the firmware upgrade comes next).
class DialogScanPause {
public:
    DialogScanPause() : wasOn_(setAutoscan(false)) {}
    ~DialogScanPause() { restore(); }
    DialogScanPause(const DialogScanPause&) = delete;
    DialogScanPause& operator=(const DialogScanPause&) = delete;

    void restore() {
        if (!done_) setAutoscan(wasOn_);
        done_ = true;
    }
    void keepPaused() { done_ = true; }

private:
    bool wasOn_;
    bool done_ = false;
};

bool refuseOldTurboFirmware(const char* action, DialogScanPause& pause) {
    if (!core.turboFirmwareTooOld) return false;
    core.turboFirmwareTooOld = 0;
    notifier().show({MessageId::OldTurboFirmware, "Attention!",
                     std::string("Please upgrade the Device's FirmWare to 1.8 and then try to ") +
                         action + ".\nThe present device has older FirmWare version.",
                     Icon::Warning, Buttons::Ok, {action}});
    scanNow();
    pause.keepPaused();
    return true;
}

Mac macOf(const uint8_t* bytes) {
    Mac mac{};
    std::copy_n(bytes, mac.size(), mac.begin());
    return mac;
}

}  // namespace

std::string openPasswordEntry(int record) {
    if (record <= 0 || record > core.deviceCount) return {};
    DeviceRecord& device = core.devices[record - 1];
    const std::string password = stripVerificationPrefixes(textOf(device.password));
    copyText(device.password, password);
    return password.empty() ? std::string(kPasswordPlaceholder) : password;
}

PasswordEntry enterDevicePassword(int record, std::string_view typed) {
    PasswordEntry entry;
    DialogScanPause pause;
    if (record <= 0 || record > core.deviceCount) {
        notifier().show({MessageId::NoDeviceSelected, "Attention!",
                         "Please select a device first by clicking on it.", Icon::Warning,
                         Buttons::Ok});
        entry.outcome = DialogOutcome::closed;
        return entry;
    }
    if (refuseOldTurboFirmware("Enter Password", pause)) {
        entry.outcome = DialogOutcome::closed;
        return entry;
    }
    const std::string_view box = typed.substr(0, kPasswordBoxRead);
    if (!checkPasswordEntered(box)) return entry;
    const std::string password = upperCaseDevicePassword(box);
    if (!checkDevicePassword(password)) return entry;

    const Mac mac = macOf(core.devices[record - 1].mac);
    const std::string before = stringOf(core.devices[record - 1].password);
    copyText(core.devices[record - 1].password, password);
    passwordProgress(0);
    membershipKeyState().passwordCheckPending = true;
    KeyTarget target{password, mac, 0};
    entry.verification = verifyDevicePassword(target);
    // A check stopped before its end proved nothing: the record keeps what it had.
    const bool stopped = operationStopped();
    entry.stored = stopped ? before : storedPasswordForm(entry.verification, target.password);
    // The check may have changed the list (a scan): the record is found again by its address.
    if (const int k = findDeviceByMac(mac.data()); k != 0)
        copyText(core.devices[k - 1].password, entry.stored);
    saveDatabase();
    entry.outcome = stopped ? DialogOutcome::stopped : DialogOutcome::checked;
    return entry;
}

bool passwordListed(std::string_view password) {
    if (!currentAdapterRecord().localPresent) return false;
    const StationTable& table = currentStationTable();
    for (const StationRecord& station : table.stations) {
        if (!macIsSet(station.mac) || !station.present) continue;
        if (!isAvStation(station.stationKind)) continue;
        if (macEqual(station.mac, currentAdapterRecord().localMac)) continue;
        const int k = findDeviceByMac(station.mac);
        const std::string_view shown =
            k != 0 ? textOf(core.devices[k - 1].password) : kPasswordNotEntered;
        if (shown == password) return true;
    }
    return false;
}

DialogOutcome addDeviceToNetwork(std::string_view typedName, std::string_view typedPassword) {
    DialogScanPause pause;
    if (refuseOldTurboFirmware("add the device", pause)) return DialogOutcome::closed;
    const std::string name(typedName.substr(0, kNameBoxRead));
    if (!checkNewDeviceName(name, findDeviceByName(name) != 0)) return DialogOutcome::staysOpen;
    const std::string_view box = typedPassword.substr(0, kPasswordBoxRead);
    if (!checkPasswordEntered(box)) return DialogOutcome::staysOpen;
    if (!checkDevicePassword(box)) return DialogOutcome::staysOpen;
    if (passwordListed(box)) {
        notifier().show({MessageId::PasswordAlreadyListed, "Attention!",
                         "Device is already added in the network", Icon::Warning, Buttons::Ok});
        return DialogOutcome::staysOpen;
    }

    core.keepNameOnce = 1;
    pause.restore();
    pendingAdd() = PendingAdd{};
    pendingAdd().active = true;

    const bool av = core.localIsAv != 0;
    std::optional<NetworkKey> keptNmk;
    if (av) {
        addProgress(0);
        NetworkKey nmk{};
        Mac local = macOf(currentAdapterRecord().localMac);
        if (readLocalNmk(local, nmk) == 1 && keyIsSet(nmk)) keptNmk = nmk;
    }
    std::string password(box);
    if (addDevice(name, password) == AddResult::added) {
        saveDatabase();
        if (core.scanPaused) {
            refreshView(50);
            scanNow();
        }
        return DialogOutcome::waiting;
    }
    const bool stopped = operationStopped();
    if (stopped && lastStop().localBack) return DialogOutcome::stopped;
    if (keptNmk) {
        const int restored = setLocalNEK(requestSourceMac(), *keptNmk);
        if (stopped) lastStop().localBack = restored != kKeyNotSet;
        pauseMs(kAfterNmkRestoredMs);
    }
    return stopped ? DialogOutcome::stopped : DialogOutcome::closed;
}

}  // namespace corvel
