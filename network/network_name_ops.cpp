// SPDX-License-Identifier: MIT
#include "network/network_name_ops.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scan/scan.h"
#include "core/tables.h"
#include "keys/derive.h"
#include "keys/rules.h"
#include "network/device_key.h"
#include "network/hp10_confirm.h"
#include "network/hp10_key_frame.h"
#include "network/key_target.h"
#include "network/local_family.h"
#include "network/local_key.h"
#include "network/operation_hooks.h"
#include "network/operation_stop.h"
#include "network/scan_now.h"
#include "network/scan_pause.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "store/database.h"

namespace corvel {

namespace {

constexpr uint32_t kAfterLocalSetMs = 1000;
constexpr uint32_t kAvLocalRestartMs = 3000;
constexpr uint32_t kAfterSetAllMs = 3000;
constexpr uint32_t kAfterSecondScanMs = 1000;
// The key select the local 1.0 device keeps its network key under.
constexpr uint8_t kNetworkKeySelect = 1;

bool idle = true;

const RegisteredReset networkSetIdleReset{[] { idle = true; }};

void problemOccurred() {
    notifier().show({MessageId::LocalKeyNotSet, "Problem Occurred",
                     "Unable to complete the command.", Icon::Error, Buttons::Ok});
}

NetworkKey networkKeyOf(LocalFamily family, std::string_view name) {
    return family == LocalFamily::av ? deriveNMK(name) : keyBufferOf(deriveHP10Key(name));
}

// The key a device record keeps for its network, in the form in which the local device reports
// its own key, so that the scan finds the network's name by it: the NMK (AV); the NEK as the
// Turbo key query returns it; for plain 1.0 the key select and the first seven NEK bytes, as
// bytes 14..21 of the parameter block hold them.
NetworkKey recordedKeyOf(LocalFamily family, std::string_view name) {
    if (family == LocalFamily::av) return deriveNMK(name);
    const Key8 nek = deriveHP10Key(name);
    NetworkKey key{};
    if (family == LocalFamily::turbo) {
        std::copy(nek.begin(), nek.end(), key.begin());
    } else {
        key[0] = kNetworkKeySelect;
        std::copy_n(nek.begin(), 7, key.begin() + 1);
    }
    return key;
}

// A device that took the new key of Set All Devices, and what its record held before.
struct KeyedDevice {
    KeyTarget target;
    bool recorded = false;
    char networkName[sizeof DeviceRecord::networkName] = {};
    uint8_t networkKey[sizeof DeviceRecord::networkKey] = {};
};

KeyedDevice keyedDevice(const KeyTarget& target, std::optional<std::reference_wrapper<const DeviceRecord>> record) {
    KeyedDevice keyed{target};
    if (record) {
        keyed.recorded = true;
        std::memcpy(keyed.networkName, record->get().networkName, sizeof keyed.networkName);
        std::memcpy(keyed.networkKey, record->get().networkKey, sizeof keyed.networkKey);
    }
    return keyed;
}

// After a stop in Set All Devices: the devices that took the new key are given the local
// device's previous key again, the last one first, each record back as it was; then a 1.0 or
// Turbo local device, which took the new key with the first device it keyed, gets its previous
// key back. (An AV local device is keyed last: before that it never left its key.) lastStop()
// says what could not be put back.
void putKeysBack(LocalFamily family, const std::optional<NetworkKey>& previousKey,
                 std::vector<KeyedDevice>& keyed, bool localMoved) {
    PuttingBack back;
    StopReport& stop = lastStop();
    stop.stopped = true;
    for (auto it = keyed.rbegin(); it != keyed.rend(); ++it) {
        const bool putBack = previousKey && giveDeviceKey(it->target, *previousKey);
        if (!putBack) {
            stop.devicesLeft.push_back(it->target.mac);
            continue;
        }
        if (!it->recorded) continue;
        if (const int k = findDeviceByMac(it->target.mac.data()); k != 0) {
            DeviceRecord& record = core.devices[k - 1];
            std::memcpy(record.networkName, it->networkName, sizeof record.networkName);
            std::memcpy(record.networkKey, it->networkKey, sizeof record.networkKey);
        }
    }
    if (family == LocalFamily::av || !localMoved) return;
    stop.localBack = previousKey && restoreLocalKey(*previousKey) != kKeyNotSet;
}

// The selected station table's network name and key, and whether a name was pending.
struct NetworkLabel {
    char name[sizeof StationTable::networkName] = {};
    uint8_t key[sizeof StationTable::networkKey] = {};
    uint8_t pending = 0;
};

NetworkLabel networkLabelNow() {
    NetworkLabel label;
    const StationTable& table = currentStationTable();
    std::memcpy(label.name, table.networkName, sizeof label.name);
    std::memcpy(label.key, table.networkKey, sizeof label.key);
    label.pending = core.networkNamePending;
    return label;
}

// A stopped set: unless it had finished, the station table names the network the local device
// is back on, and no new name waits for the next full scan. The scans that follow a set are
// left out.
NetworkNameRun stoppedRun(NetworkNameRun run, const NetworkLabel& before) {
    const StopReport& stop = lastStop();
    if (!stop.finished && stop.localBack) {
        StationTable& table = currentStationTable();
        std::memcpy(table.networkName, before.name, sizeof before.name);
        std::memcpy(table.networkKey, before.key, sizeof before.key);
        core.networkNamePending = before.pending;
    }
    run.outcome = NetworkNameRun::Outcome::stopped;
    return run;
}

}  // namespace

int setLocalNetwork(std::string_view networkName) {
    WaitCursor cursor;
    const LocalFamily family = localFamily();
    const int result = setLocalNEK(std::nullopt, networkKeyOf(family, networkName));
    if (result == kKeyNotSet) {
        problemOccurred();
        return result;
    }
    quietMissingAdapter();
    saveDatabase();
    try {
        pauseOrStop(kAfterLocalSetMs);
        // An AV device restarts after its NMK changed.
        if (family == LocalFamily::av) pauseOrStop(kAvLocalRestartMs);
    } catch (const OperationStopped&) {
        // The key is set: a stop now only leaves out the wait and the scan.
        lastStop().stopped = true;
        lastStop().finished = true;
        return result;
    }
    scanNow();
    notifier().show({MessageId::LocalNetworkSet, "Information",
                     "Local network set to '" + std::string(networkName) + "'",
                     Icon::Information, Buttons::Ok, {std::string(networkName)}});
    return result;
}

SetAllOutcome setAllDevices(std::string_view networkName) {
    SetAllOutcome outcome;
    const std::string name(networkName);
    const LocalFamily family = localFamily();
    // The key the local device holds before anything is sent: where a stop puts it and the
    // devices back.
    const std::optional<NetworkKey> previousKey = localKeyNow();
    std::vector<KeyedDevice> keyed;
    bool attempted = false;
    try {
        if (!checkNetworkName(name.c_str())) {
            showNetworkNameInvalid(name);
            outcome.nameRefused = true;
        } else {
            const int count = std::clamp<int>(core.deviceCount, 0, kMaxDevices);
            outcome.devices = count;
            Mac localMac{};
            copyMac(localMac.data(), currentStationTable().localMac);
            for (int i = 0; i < count; ++i) {
                DeviceRecord& device = core.devices[i];
                if (macIsSet(localMac.data()) && macEqual(device.mac, localMac.data())) {
                    ++outcome.added;
                    continue;
                }
                // A stored password may carry the mark of its last check ("Not ", "CHECK "); the
                // device's key derives from the password behind it.
                const std::string password = stripVerificationPrefixes(textOf(device.password));
                KeyTarget target{password, kBroadcastMac, 0};
                copyMac(target.mac.data(), device.mac);
                if (password.empty()) {
                    outcome.missed.push_back(target.mac);
                    continue;
                }
                stopPoint();
                attempted = true;
                const bool took = setDeviceKey(target, name, false);
                outcome.lastResult = took ? 1 : 0;
                if (!took) {
                    outcome.missed.push_back(target.mac);
                    continue;
                }
                // The record may have moved while the key was set: find it by its address again.
                if (const int k = findDeviceByMac(target.mac.data()); k != 0) {
                    DeviceRecord& record = core.devices[k - 1];
                    keyed.push_back(keyedDevice(target, record));
                    copyText(record.networkName, name);
                    const NetworkKey key = recordedKeyOf(family, name);
                    std::memcpy(record.networkKey, key.data(), key.size());
                } else {
                    keyed.push_back(keyedDevice(target, std::nullopt));
                }
                ++outcome.added;
            }
            stopPoint();
            // A Turbo local device takes the new key with each device it keys, and
            // reapplyLocalKey only sets again the key it holds: with no device tried it would
            // stay on its old network while counted as added.
            if (family == LocalFamily::turbo && !attempted)
                setLocalNEK(std::nullopt, networkKeyOf(family, name));
            outcome.localResult = reapplyLocalKey();
            if (outcome.localResult == kKeyNotSet) {
                problemOccurred();
            } else if (outcome.added == outcome.devices) {
                notifier().show({MessageId::AllDevicesSet, "Information",
                                 "All Devices are successfully added to the network.",
                                 Icon::Information, Buttons::Ok});
            } else if (outcome.added != 0) {
                notifier().show({MessageId::SomeDevicesNotSet, "Attention!",
                                 "Some Devices could not be added to your network.",
                                 Icon::Warning, Buttons::Ok});
            }
        }
    } catch (const OperationStopped&) {
        putKeysBack(family, previousKey, keyed, attempted);
        outcome.stopped = true;
        saveDatabase();
        return outcome;
    }
    try {
        pauseOrStop(kAfterSetAllMs);
        saveDatabase();
        pauseOrStop(kAfterSetAllMs);
    } catch (const OperationStopped&) {
        // Every device and the local device have had their key: a stop now only leaves out the
        // waits and the scan.
        lastStop().stopped = true;
        lastStop().finished = true;
        outcome.stopped = true;
        saveDatabase();
        return outcome;
    }
    scanNow();
    return outcome;
}

std::string_view defaultNetworkName() {
    return core.localIsAv ? kPublicAvName : kPublicHp10Name;
}

NetworkNameRun applyNetworkName(std::string_view typed, NetworkNameScope scope) {
    NetworkNameRun run;
    const std::string name(typed);
    if (!checkNetworkNameLength(name)) return run;
    if (!checkNetworkName(name.c_str())) {
        showNetworkNameInvalid(name);
        return run;
    }

    ScanPause pause;
    const bool av = core.localIsAv != 0;
    // What a stop puts back: the network the local device is on, as the scan named it.
    const NetworkLabel before = networkLabelNow();
    core.networkNamePending = 1;
    try {
        StationTable& table = currentStationTable();
        if (av) {
            const Key16 nmk = deriveNMK(name);
            std::memcpy(table.networkKey, nmk.data(), nmk.size());
        }
        copyText(table.networkName, name);
    } catch (const std::exception&) {
        notifier().show({MessageId::UnexpectedFailure, "SET_ALL_DEVICES Error",
                         "Unknown error occurred. Please try after some time.", Icon::None,
                         Buttons::Ok, {"storing the network name"}});
    }

    if (scope == NetworkNameScope::allDevices) {
        idle = false;
        const Button answer = notifier().show(
            {MessageId::ConfirmSetAllDevices, "Network Name Setting ",
             "Setting the network name on the devices whose password has been entered\nThis may "
             "take few seconds....Click on 'Ok' button.",
             Icon::Information, Buttons::OkCancel, {name}});
        if (answer == Button::Ok) {
            clearStations();
            WaitCursor cursor;
            core.keepNameOnce = 1;
            run.all = setAllDevices(name);
            run.outcome = NetworkNameRun::Outcome::applied;
            if (run.all.stopped) {
                idle = true;
                return stoppedRun(run, before);
            }
        } else {
            core.networkNamePending = 0;
            run.outcome = NetworkNameRun::Outcome::cancelled;
        }
        idle = true;
    } else {
        clearStations();
        run.localResult = setLocalNetwork(name);
        run.outcome = NetworkNameRun::Outcome::applied;
        if (operationStopped()) return stoppedRun(run, before);
    }

    scanNow();
    if (!av && scope == NetworkNameScope::localDeviceOnly) {
        WaitCursor cursor;
        scanNow();
        pauseMs(kAfterSecondScanMs);
    }
    return run;
}

bool networkSetIdle() {
    return idle;
}

}  // namespace corvel
