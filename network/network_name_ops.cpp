// SPDX-License-Identifier: MIT
#include "network/network_name_ops.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

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
#include "network/scan_now.h"
#include "network/scan_pause.h"
#include "platform/notifier.h"
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
    pauseMs(kAfterLocalSetMs);
    // An AV device restarts after its NMK changed.
    if (family == LocalFamily::av) pauseMs(kAvLocalRestartMs);
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
    if (!checkNetworkName(name.c_str())) {
        showNetworkNameInvalid(name);
        outcome.nameRefused = true;
    } else {
        const int count = std::clamp<int>(core.deviceCount, 0, kMaxDevices);
        outcome.devices = count;
        Mac localMac{};
        copyMac(localMac.data(), currentStationTable().localMac);
        bool attempted = false;
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
                copyText(record.networkName, name);
                const NetworkKey key = recordedKeyOf(family, name);
                std::memcpy(record.networkKey, key.data(), key.size());
            }
            ++outcome.added;
        }
        // A Turbo local device takes the new key with each device it keys, and reapplyLocalKey
        // only sets again the key it holds: with no device tried it would stay on its old
        // network while counted as added.
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
                             "Some Devices could not be added to your network.", Icon::Warning,
                             Buttons::Ok});
        }
    }
    pauseMs(kAfterSetAllMs);
    saveDatabase();
    pauseMs(kAfterSetAllMs);
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
        } else {
            core.networkNamePending = 0;
            run.outcome = NetworkNameRun::Outcome::cancelled;
        }
        idle = true;
    } else {
        clearStations();
        run.localResult = setLocalNetwork(name);
        run.outcome = NetworkNameRun::Outcome::applied;
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
