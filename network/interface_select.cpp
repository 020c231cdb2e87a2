// SPDX-License-Identifier: MIT
#include "network/interface_select.h"

#include <algorithm>

#include "core/tables.h"
#include "transport/interface_table.h"

namespace corvel {

bool selectInterfaceByHostMac(const Mac& hostAddress) {
    if (!macIsSet(hostAddress.data())) return false;
    const int count = std::clamp(int(adapterCount), 0, kMaxInterfaces);
    for (int i = 0; i < count; ++i) {
        if (core.adapters[i].localPresent == 0) continue;
        if (!macEqual(interfaceEntries[i].interfaceMac, hostAddress.data())) continue;
        core.currentAdapter = i;
        const int32_t kind = core.stationTables[i].localKind;
        core.localIsTurbo = kind == kKindTurbo ? 1 : 0;
        // Both family flags describe the selected interface's device: one left over from the
        // interface selected before would send another family's frames.
        core.localIsAv = kind == kKindAv ? 1 : 0;
        return true;
    }
    return false;
}

std::optional<Mac> hostSeeing(const Mac& device) {
    if (!macIsSet(device.data())) return std::nullopt;
    std::optional<Mac> dropped;
    for (const StationTable& table : core.stationTables) {
        if (!macIsSet(table.hostMac)) continue;
        Mac host{};
        copyMac(host.data(), table.hostMac);
        if (macEqual(table.localMac, device.data())) {
            if (table.localPresent) return host;
            if (!dropped) dropped = host;
        }
        for (const StationRecord& station : table.stations) {
            if (!macEqual(station.mac, device.data())) continue;
            if (station.present) return host;
            if (!dropped) dropped = host;
        }
    }
    return dropped;
}

bool seenOnCurrentInterface(const Mac& device) {
    if (!macIsSet(device.data()) || !currentAdapterRecord().localPresent) return false;
    if (macEqual(currentAdapterRecord().localMac, device.data())) return true;
    for (const StationRecord& station : currentStationTable().stations)
        if (station.present && macEqual(station.mac, device.data())) return true;
    return false;
}

}  // namespace corvel
