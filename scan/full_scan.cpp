// SPDX-License-Identifier: MIT
#include "scan/full_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "av/local_device.h"
#include "scan/network_name.h"
#include "core/observer.h"
#include "scan/scan.h"
#include "core/tables.h"
#include "core/view_hooks.h"
#include "hp10codec/frames.h"
#include "hp10/queries.h"
#include "hp10/replies.h"
#include "hp10/requests.h"
#include "platform/text.h"
#include "transport/frame_io.h"
#include "transport/interface_table.h"

namespace corvel {

namespace {

constexpr int kLocalPollTries = 3;
constexpr uint8_t kLocalGiveUpMisses = 3;

// Bytes 14..21 of the local 1.0 parameter block: the key select of the network key and the
// first seven bytes of the NEK.
constexpr size_t kParamKeyOffset = 14;

using KeyBuffer = std::array<uint8_t, 16>;

uint32_t localPollWindowMs(int attempt) {
    return 50 + 100 * uint32_t(attempt);
}

Mac macOf(const uint8_t* bytes) {
    Mac mac{};
    std::copy_n(bytes, mac.size(), mac.begin());
    return mac;
}

bool keyIsSet(const KeyBuffer& key, size_t width) {
    return std::any_of(key.begin(), key.begin() + long(width), [](uint8_t b) { return b != 0; });
}

// The local device's network key, read the family's way. False when no key came: then the
// network keeps the name and key it had, and a pending name waits for the next full scan. An
// all-zero key is what a read that delivered nothing leaves behind, never a network's key (every
// byte of a 1.0 key has odd parity; an NMK is derived from a name or drawn at random).
bool readNetworkKey(NetworkFamily family, KeyBuffer& key) {
    switch (family) {
        case NetworkFamily::Av: {
            NetworkKey nmk{};
            if (readLocalNmk(macOf(currentAdapterRecord().localMac), nmk) != 1) return false;
            std::copy(nmk.begin(), nmk.end(), key.begin());
            if (!keyIsSet(key, 16)) return false;
            std::memcpy(core.avNetworkKey, key.data(), 16);
            return true;
        }
        case NetworkFamily::Turbo:
            sendReadRequest(kHp10ReadNetworkKey);
            pumpHp10Replies();
            break;
        case NetworkFamily::HomePlug10:
            std::memcpy(core.hp10NetworkKey, core.localParamBlock + kParamKeyOffset, 8);
            break;
    }
    std::memcpy(key.data(), core.hp10NetworkKey, 8);
    return keyIsSet(key, 8);
}

// Each interface's station table takes the interface's address and a copy of its local device,
// with the family's network key and name.
void copyIntoStationTables(std::optional<NetworkFamily> family) {
    const bool av = family == NetworkFamily::Av;
    for (int i = 0; i < adapterCount && i < kMaxInterfaces; ++i) {
        StationTable& table = core.stationTables[i];
        const AdapterRecord& adapter = core.adapters[i];
        copyMac(table.hostMac, interfaceEntries[i].interfaceMac);
        table.localPresent = adapter.localPresent;
        if (!adapter.localPresent) continue;
        table.localKind = adapter.localKind;
        copyMac(table.localMac, adapter.localMac);
        std::memcpy(table.networkKey, av ? core.avNetworkKey : core.hp10NetworkKey, av ? 16 : 8);
        copyText(table.networkName, textOf(av ? core.avNetworkName : core.hp10NetworkName));
    }
}

// Which interfaces had a HomePlug 1.0 local device (kinds 1..3) present before the full scan
// cleared presence. Such a device is not dropped for missing one poll round: its miss counter
// decides when it is given up.
using HeldPresence = std::array<bool, kMaxInterfaces>;

HeldPresence plainLocalPresence() {
    HeldPresence held{};
    for (int i = 0; i < kMaxInterfaces; ++i) {
        const AdapterRecord& adapter = core.adapters[i];
        held[size_t(i)] = adapter.localPresent != 0 && adapter.localKind >= kKindUsb &&
                          adapter.localKind <= kKindHomePlug10 && macIsSet(adapter.localMac);
    }
    return held;
}

void restorePresence(const HeldPresence& held) {
    for (int i = 0; i < kMaxInterfaces; ++i)
        if (held[size_t(i)]) core.adapters[i].localPresent = 1;
}

}  // namespace

bool probeTurbo() {
    const int32_t selected = core.currentAdapter;
    bool found = false;
    for (int i = 0; i < adapterCount && i < kMaxInterfaces; ++i) {
        core.currentAdapter = i;
        if (!queryTurboVersion()) continue;
        found = true;
        if (i == selected) core.localIsTurbo = 1;
        sendReadRequest(kHp10ReadFirmwareText);
        pumpHp10Replies();
        AdapterRecord& adapter = core.adapters[i];
        adapter.localKind = kKindTurbo;
        adapter.paramsValid = 1;
        adapter.localPresent = 1;
    }
    core.currentAdapter = selected;
    if (found) setUpgradeEnabled(true);
    return found;
}

bool pollLocalHp10() {
    bool anyPresent = false;
    for (int i = 0; i < adapterCount && i < kMaxInterfaces; ++i) {
        AdapterRecord& adapter = core.adapters[i];
        bool answered = false;
        for (int t = 0; t < kLocalPollTries && !answered; ++t) {
            // The address learned from an earlier answer, so that the device answers itself.
            Mac source{};
            if (macIsSet(adapter.localMac)) source = macOf(adapter.localMac);
            sendLocalQuery(i, source, kBroadcastMac);
            answered = waitLocalReply(i, localPollWindowMs(t));
        }
        if (answered) adapter.localMissCount = 0;
        if (!answered && adapter.localMissCount == kLocalGiveUpMisses) {
            adapter.localMissCount = 0;
            adapter.localPresent = 0;
        } else {
            adapter.localMissCount += 1;
        }
        anyPresent = anyPresent || adapter.localPresent != 0;
    }
    return anyPresent;
}

bool sendLocalQuery(int index, const Mac& source, const Mac& destination) {
    if (index < 0 || index >= adapterCount || index >= kMaxInterfaces) return false;
    const AdapterRecord& adapter = core.adapters[index];
    if (core.localIsTurbo) return sendTurboStatsRequest(macOf(adapter.localMac));
    if (core.localIsAv) return readNetworkStations(macOf(adapter.localMac));
    Mac from = source;
    if (!macIsSet(from.data())) from = macOf(adapter.localMac);
    if (!macIsSet(from.data())) from = macOf(interfaceEntries[index].interfaceMac);
    if (!macIsSet(from.data())) return false;
    return sendLocalQueryFrame(index, from, destination);
}

bool fullScan() {
    const HeldPresence held = plainLocalPresence();
    closeAllInterfaces();
    clearLocalPresence();
    reopenInterfaces();
    core.localIsTurbo = 0;
    core.localIsAv = 0;

    std::optional<NetworkFamily> family;
    if (discoverLocalAv()) {
        setUpgradeEnabled(true);
        family = NetworkFamily::Av;
    } else if (probeTurbo()) {
        family = NetworkFamily::Turbo;
    } else {
        restorePresence(held);
        if (pollLocalHp10()) family = NetworkFamily::HomePlug10;
    }

    if (!family) {
        copyIntoStationTables(family);
        clearStations();
        return false;
    }

    // The device found may sit on another interface than the selected one: then there is no
    // local device here to enter in the device list or to read a key from (an entry with an
    // all-zero address would be a device that does not exist).
    const AdapterRecord& selected = currentAdapterRecord();
    if (selected.localPresent && macIsSet(selected.localMac)) {
        int record = findDeviceByMac(selected.localMac);
        bool recordIsNew = false;
        if (record == 0) {
            record = appendDevice(selected.localMac, makeDefaultName());
            recordIsNew = record != 0;
        }
        // Without a parameter block received in this run the 1.0 key is not known yet: the
        // cycle's parameter requests bring it before the next full scan.
        if (family == NetworkFamily::HomePlug10 && !core.localKeyKnown) return true;
        KeyBuffer key{};
        if (readNetworkKey(*family, key)) nameNetwork(*family, key.data(), record, recordIsNew);
    }

    copyIntoStationTables(family);
    return true;
}

}  // namespace corvel
