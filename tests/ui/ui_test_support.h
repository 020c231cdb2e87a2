// SPDX-License-Identifier: MIT
#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <string>

#include "core/tables.h"
#include "core/view_hooks.h"
#include "network/operation_hooks.h"
#include "platform/mac.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "scan/device_list.h"
#include "scan/scan.h"
#include "store/data_directory.h"
#include "store/list_layout.h"
#include "store/preferences.h"

// The tables as a scan would have left them, written by hand: the local AV device on interface
// 0 and stations in given slots, so that the lists can be checked against known rows.
namespace corvel::test {

inline constexpr Mac kUiLocal{0x00, 0xB0, 0x52, 0x00, 0x00, 0x10};

inline Mac uiStationMac(int n) {
    return Mac{0x00, 0xB0, 0x52, 0x00, 0x01, uint8_t(n)};
}

inline void putLocal(const Mac& mac = kUiLocal, int32_t kind = kKindAv) {
    core.currentAdapter = 0;
    core.localIsAv = kind == kKindAv;
    AdapterRecord& adapter = core.adapters[0];
    adapter.localPresent = 1;
    adapter.localKind = kind;
    std::copy(mac.begin(), mac.end(), adapter.localMac);
    StationTable& table = core.stationTables[0];
    table.localPresent = 1;
    table.localKind = kind;
    std::copy(mac.begin(), mac.end(), table.localMac);
    copyText(table.networkName, kind == kKindAv ? "HomePlugAV" : "HomePlug");
}

inline StationRecord& putStation(int slot, const Mac& mac, StationKind kind, double rate,
                                 bool present = true) {
    StationRecord& station = core.stationTables[0].stations[slot];
    station = StationRecord{};
    std::copy(mac.begin(), mac.end(), station.mac);
    station.present = present ? 1 : 0;
    station.stationKind = kind;
    station.rate.currentRate = rate;
    station.rate.rateChanged = 1;
    return station;
}

// A device record for `mac` with a name and password; 1-based index.
inline int putDevice(const Mac& mac, const std::string& name, const std::string& password = "") {
    const int k = appendDevice(mac.data(), name);
    copyText(core.devices[k - 1].password, password);
    return k;
}

}  // namespace corvel::test
