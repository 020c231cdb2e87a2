// SPDX-License-Identifier: MIT
#include "scan/device_list.h"

#include <cstring>

#include "core/tables.h"
#include "platform/process_state.h"
#include "platform/text.h"

namespace corvel {

namespace {

// A fresh record for a station: every field zero but the MAC and the name (and the password of
// a pending add). 0 when the list is full.
int appendStation(const uint8_t* mac, const PendingAdd* pending) {
    if (core.deviceCount >= kMaxDevices) return 0;
    std::memset(&core.devices[core.deviceCount], 0, sizeof(DeviceRecord));
    const int record = appendDevice(mac, pending != nullptr ? pending->name : makeDefaultName());
    if (record != 0 && pending != nullptr)
        copyText(core.devices[record - 1].password, pending->password);
    return record;
}

}  // namespace

PendingAdd& pendingAdd() {
    static PendingAdd add;
    return add;
}

void resetPendingAdd() {
    pendingAdd() = PendingAdd{};
}

namespace {
const RegisteredReset pendingAddReset{resetPendingAdd};
}  // namespace

MergeOutcome mergeStationsIntoDevices(std::time_t now, PendingAdd* pendingAdd) {
    MergeOutcome outcome;
    StationTable& table = currentStationTable();
    const AdapterRecord& local = currentAdapterRecord();
    const bool addWaits = pendingAdd != nullptr && pendingAdd->active;
    const bool expectedKnown = addWaits && macIsSet(pendingAdd->expectedMac.data());

    if (table.localPresent) {
        for (const StationRecord& station : table.stations) {
            if (!macIsSet(station.mac) || !station.present) continue;
            const int record = findDeviceByMac(station.mac);
            // An add whose device is known by address belongs to that device alone: another
            // station appearing meanwhile must not take its name and password.
            const bool isExpected =
                expectedKnown && macEqual(station.mac, pendingAdd->expectedMac.data());
            const bool takesPending =
                pendingAdd != nullptr && pendingAdd->active && (!expectedKnown || isExpected);
            if (record == 0) {
                if (appendStation(station.mac, takesPending ? pendingAdd : nullptr) == 0) {
                    ++outcome.refused;
                    continue;
                }
                ++outcome.appended;
                if (takesPending) {
                    pendingAdd->active = false;
                    outcome.pendingTaken = true;
                }
            } else if (takesPending && isExpected && !macEqual(station.mac, local.localMac)) {
                DeviceRecord& device = core.devices[record - 1];
                copyText(device.name, pendingAdd->name);
                copyText(device.password, pendingAdd->password);
                pendingAdd->active = false;
                pendingAdd->expectedMac = Mac{};
                outcome.pendingTaken = true;
            }
        }
    }

    if (!local.localPresent) return outcome;
    for (const StationRecord& station : table.stations) {
        if (!station.present || !isAvStation(station.stationKind)) continue;
        if (!macIsSet(station.mac) || macEqual(station.mac, local.localMac)) continue;
        const int record = findDeviceByMac(station.mac);
        if (record == 0) continue;
        DeviceRecord& device = core.devices[record - 1];
        copyText(device.networkName, textOf(table.networkName));
        device.lastSeen = int64_t(now);
    }
    return outcome;
}

}  // namespace corvel
