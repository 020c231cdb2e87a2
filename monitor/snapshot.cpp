// SPDX-License-Identifier: MIT
#include "monitor/snapshot.h"

#include "av/av_state.h"
#include "core/stations.h"
#include "platform/mac.h"
#include "platform/text.h"
#include "scan/quality_text.h"
#include "scan/station_texts.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

std::string interfaceNameOf(int index) {
    const HostInterface* host = interfaceByIndex(index);
    return host != nullptr ? host->name : std::string();
}

bool localPresentOn(int index) {
    return index >= 0 && index < adapterCount && core.adapters[index].localPresent != 0 &&
           macIsSet(core.adapters[index].localMac);
}

// Each full scan asks every interface in turn and keeps one firmware text per family: the text
// it holds belongs to the last interface on which that family answered.
int lastInterfaceOfKind(int32_t kind) {
    int last = -1;
    for (int i = 0; i < adapterCount && i < kMaxInterfaces; ++i)
        if (localPresentOn(i) && core.adapters[i].localKind == kind) last = i;
    return last;
}

std::string localFirmwareOf(int index) {
    const int32_t kind = core.adapters[index].localKind;
    if (kind != kKindAv && kind != kKindTurbo) return {};
    if (lastInterfaceOfKind(kind) != index) return {};
    return kind == kKindAv ? stringOf(avExchangeState().localFirmwareText)
                           : stringOf(core.turboFirmwareText);
}

InterfaceSnapshot interfaceSnapshotOf(int index) {
    InterfaceSnapshot out;
    out.index = index;
    out.name = interfaceNameOf(index);
    out.localPresent = localPresentOn(index);
    if (!out.localPresent) return out;
    const AdapterRecord& adapter = core.adapters[index];
    out.localMac = formatMac(adapter.localMac);
    out.localKind = localKindName(index);
    out.localFirmware = localFirmwareOf(index);
    return out;
}

const StationRecord* stationIn(const StationTable& table, const uint8_t* mac) {
    for (const StationRecord& station : table.stations)
        if (macEqual(station.mac, mac)) return &station;
    return nullptr;
}

// A station of the selected interface: live, with its rate and quality while present.
void fillFromStation(DeviceSnapshot& out, const StationRecord& station, int index) {
    out.interfaceName = interfaceNameOf(index);
    out.family = stationFamilyText(station.stationKind);
    out.present = station.present != 0 && localPresentOn(index);
    const double rate = station.rate.currentRate;
    const StationKind kind = station.stationKind;
    out.qualityLevel = out.present ? qualityLevel(rate, kind).level : 0;
    if (!out.present) return;
    // The device's own rates, not the scaled value the lists show.
    const PhyRates phy = phyRatesOf(index, station);
    if (phy.tx) out.txRateMbps = *phy.tx;
    if (phy.rx) out.rxRateMbps = *phy.rx;
}

DeviceSnapshot deviceSnapshotOf(const DeviceRecord& device, const LinkStatsByMac& linkStats) {
    DeviceSnapshot out;
    out.mac = formatMac(device.mac);
    out.name = stringOf(device.name);
    const int selected = core.currentAdapter;
    // A local device present now, on whichever interface.
    for (int i = 0; i < adapterCount && i < kMaxInterfaces; ++i) {
        if (!localPresentOn(i) || !macEqual(core.adapters[i].localMac, device.mac)) continue;
        out.interfaceName = interfaceNameOf(i);
        out.family = localFamilyText(core.adapters[i].localKind);
        out.local = true;
        out.present = true;
        return out;
    }
    if (selected >= 0 && selected < kMaxInterfaces) {
        if (const StationRecord* station = stationIn(core.stationTables[selected], device.mac)) {
            fillFromStation(out, *station, selected);
            if (const auto stats = linkStats.find(out.mac); stats != linkStats.end())
                out.linkStats = stats->second;
            return out;
        }
    }
    // Absent: where the tables (the database's among them) last held it.
    for (int i = 0; i < kMaxInterfaces; ++i) {
        const StationTable& table = core.stationTables[i];
        if (macEqual(table.localMac, device.mac)) {
            out.interfaceName = interfaceNameOf(i);
            out.family = localFamilyText(table.localKind);
            out.local = true;
            return out;
        }
        if (const StationRecord* station = stationIn(table, device.mac)) {
            out.interfaceName = interfaceNameOf(i);
            out.family = stationFamilyText(station->stationKind);
            out.qualityLevel = 0;
            return out;
        }
    }
    return out;
}

}  // namespace

CycleSnapshot takeSnapshot(const LinkStatsByMac& linkStats) {
    CycleSnapshot snapshot;
    for (int i = 0; i < adapterCount && i < kMaxInterfaces; ++i)
        snapshot.interfaces.push_back(interfaceSnapshotOf(i));
    const int count = std::min(std::max(core.deviceCount, 0), kMaxDevices);
    for (int k = 0; k < count; ++k)
        snapshot.devices.push_back(deviceSnapshotOf(core.devices[k], linkStats));
    return snapshot;
}

}  // namespace corvel
