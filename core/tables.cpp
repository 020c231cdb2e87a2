// SPDX-License-Identifier: MIT
#include "core/tables.h"

#include <cstdio>
#include <cstring>

#include "platform/process_state.h"
#include "platform/text.h"

namespace corvel {

CoreState core;

void resetCoreState() { core = CoreState{}; }

namespace {
const RegisteredReset coreStateReset{resetCoreState};
}  // namespace

bool macEqual(const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, 6) == 0; }

bool macIsSet(const uint8_t* mac) {
    for (int i = 0; i < 6; ++i)
        if (mac[i] != 0) return true;
    return false;
}

void copyMac(uint8_t* destination, const uint8_t* source) { std::memcpy(destination, source, 6); }

void copyKey(uint8_t* destination, const uint8_t* source) {
    std::memcpy(destination, source, core.localIsAv ? 16 : 8);
}

AdapterRecord& currentAdapterRecord() { return core.adapters[core.currentAdapter]; }

StationTable& currentStationTable() { return core.stationTables[core.currentAdapter]; }

const char* localKindName(int interfaceIndex) {
    static const char* const kKindNames[] = {"Adapter", "USB", "HomePlug Turbo Device",
                                             "HomePlug 1.0 Device", "HomePlug AV Device"};
    if (interfaceIndex < 0 || interfaceIndex >= kMaxInterfaces) return "";
    const int32_t kind = core.adapters[interfaceIndex].localKind;
    if (kind < 0 || kind > kKindAv) return "";
    return kKindNames[kind];
}

Mac requestSourceMac() {
    Mac mac{};
    std::memcpy(mac.data(), interfaceEntries[core.currentAdapter].interfaceMac, 6);
    return mac;
}

void copyLocalMac(uint8_t* destination) { copyMac(destination, currentAdapterRecord().localMac); }

void setLocalMac(const uint8_t* mac) { copyMac(currentAdapterRecord().localMac, mac); }

void clearLocalPresence() {
    for (AdapterRecord& adapter : core.adapters) adapter.localPresent = 0;
}

StationRecord* findStationByMac(const uint8_t* mac) {
    if (!macIsSet(mac)) return nullptr;
    for (StationRecord& station : currentStationTable().stations)
        if (macEqual(station.mac, mac)) return &station;
    return nullptr;
}

int findDeviceByMac(const uint8_t* mac) {
    for (int i = 0; i < core.deviceCount; ++i)
        if (macEqual(core.devices[i].mac, mac)) return i + 1;
    return 0;
}

int findDeviceByName(std::string_view name) {
    for (int i = 0; i < core.deviceCount; ++i)
        if (textOf(core.devices[i].name) == name) return i + 1;
    return 0;
}

int findDeviceByMacText(std::string_view macText) {
    for (int i = 0; i < core.deviceCount; ++i)
        if (formatMac(core.devices[i].mac) == macText) return i + 1;
    return 0;
}

std::optional<std::string> findNetworkNameByKey(const uint8_t* key, std::string_view family) {
    if (family != "AV" && family != "Turbo") return std::nullopt;
    // A 16-byte match implies an 8-byte match, so comparing the NEK width covers both forms.
    for (int i = 0; i < core.deviceCount; ++i)
        if (std::memcmp(core.devices[i].networkKey, key, 8) == 0)
            return stringOf(core.devices[i].networkName);
    return std::nullopt;
}

void removeStationByMac(const uint8_t* mac) {
    StationRecord* station = findStationByMac(mac);
    if (station == nullptr) return;
    StationRecord* const stations = currentStationTable().stations;
    StationRecord* const last = stations + kStationsPerTable - 1;
    std::memmove(station, station + 1, size_t(last - station) * sizeof(StationRecord));
    std::memset(last, 0, sizeof(StationRecord));
}

namespace {
// Moves the records after `index` (0-based) down by one and clears the freed last slot, so a
// later append never inherits a removed device's password or key.
void eraseDeviceAt(int index) {
    DeviceRecord* const devices = core.devices;
    std::memmove(devices + index, devices + index + 1,
                 size_t(core.deviceCount - index - 1) * sizeof(DeviceRecord));
    core.deviceCount -= 1;
    std::memset(devices + core.deviceCount, 0, sizeof(DeviceRecord));
}
}  // namespace

void removeDevice(int index) {
    if (index <= 0 || index > core.deviceCount) return;
    removeStationByMac(core.devices[index - 1].mac);
    eraseDeviceAt(index - 1);
}

void removeDeviceByMac(const uint8_t* mac) {
    removeStationByMac(mac);
    const int index = findDeviceByMac(mac);
    if (index != 0) eraseDeviceAt(index - 1);
}

void removeUnaddressedDevices() {
    for (int i = 0; i < core.deviceCount;) {
        if (macIsSet(core.devices[i].mac)) {
            ++i;
        } else {
            eraseDeviceAt(i);  // the next record moved into slot i: look at it again
        }
    }
}

std::string makeDefaultName() {
    auto nameFor = [](int16_t number) {
        char name[32];
        std::snprintf(name, sizeof name, "%s %hd", "Device", number);
        return std::string(name);
    };
    std::string name = nameFor(int16_t(core.deviceCount + 1));
    for (int16_t k = 1; findDeviceByName(name) != 0 && k < INT16_MAX; ++k) name = nameFor(k);
    return name;
}

int appendDevice(const uint8_t* mac, std::string_view name) {
    // A group address (bit 0 of the first byte) is never a device's own: a frame sent from one
    // is hostile or garbled.
    if (core.deviceCount >= kMaxDevices || (mac[0] & 0x01) != 0) return 0;
    DeviceRecord& record = core.devices[core.deviceCount];
    copyMac(record.mac, mac);
    copyText(record.name, name);
    core.deviceCount += 1;
    return core.deviceCount;
}

bool setAutoscan(bool on) {
    const bool wasOn = core.scanPaused == 0;
    core.scanPaused = on ? 0 : 1;
    return wasOn;
}

std::array<int32_t, 4> adapterCounters(int interfaceIndex) {
    if (interfaceIndex < 0 || interfaceIndex >= kMaxInterfaces) return {};
    const int32_t* counters = core.adapters[interfaceIndex].linkCounters;
    return {counters[0], counters[1], counters[2], counters[3]};
}

}  // namespace corvel
