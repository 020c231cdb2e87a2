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

}  // namespace corvel
