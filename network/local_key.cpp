// SPDX-License-Identifier: MIT
#include "network/local_key.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "core/observer.h"
#include "core/tables.h"
#include "hp10codec/frames.h"
#include "hp10/replies.h"
#include "hp10/requests.h"
#include "keys/derive.h"
#include "network/hp10_confirm.h"
#include "network/hp10_key_frame.h"
#include "network/interface_select.h"
#include "network/key_target.h"
#include "network/local_family.h"
#include "network/scan_pause.h"
#include "scan/station_texts.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/text.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

constexpr uint32_t kTurboConfirmWindowMs = 3700;
constexpr uint32_t kKeyQueryWindowMs = 100;
// The read reply carrying the key: sub-code, key select, the 8-byte key.
constexpr size_t kKeyReplyData = 1 + 1 + 8;

NetworkKey keyBufferFrom(const uint8_t* key, size_t length) {
    NetworkKey out{};
    std::memcpy(out.data(), key, length);
    return out;
}

int setTurboLocalKey(const NetworkKey& key) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return kKeyNotSet;
    Mac local = localHp10Mac();
    // Key select 1: the network key.
    const Hp10Frame frame = buildSetKey(source, local, 1, hp10KeyOf(key), SetKeyLength::turboLocal);
    if (!sendHp10Frame(frame)) return kKeyNotSet;
    return awaitHp10SetKeyConfirm(local, kTurboConfirmWindowMs) ? kKeyHp10Confirmed : kKeyNotSet;
}

int setHp10LocalKey(const NetworkKey& key) {
    try {
        Hp10KeyFrame request;
        request.destination = kBroadcastMac;
        request.keySelect = 1;
        request.key = hp10KeyOf(key);
        request.withParams = true;
        request.thirdParam = 1;
        return sendHp10KeyFrame(request).readBackMatched ? kKeyAnswering : kKeyNotSet;
    } catch (...) {
        notifier().show({MessageId::UnexpectedFailure, "setLocalNEK",
                         "Unknown error occurred. Please try after some time.", Icon::None,
                         Buttons::Ok, {"setting the local device's key"}});
        return kKeyNotSet;
    }
}

// The scan's label for a private network of unknown name is no name to derive a key from: the
// key would put the local device on a network nobody else is on. A user who typed that very
// text as the new name has it pending.
std::optional<std::string> knownNetworkName() {
    const std::string name = stringOf(currentStationTable().networkName);
    if (name.empty()) return std::nullopt;
    if (name == kUnknownNetworkName && core.networkNamePending == 0) return std::nullopt;
    return name;
}

int reapplyAvKey() {
    StationTable& table = currentStationTable();
    NetworkKey nmk = keyBufferFrom(table.networkKey, sizeof table.networkKey);
    if (const auto name = knownNetworkName()) {
        nmk = deriveNMK(*name);
        std::memcpy(table.networkKey, nmk.data(), nmk.size());
        for (int i = 0; i < core.deviceCount && i < kMaxDevices; ++i) {
            DeviceRecord& device = core.devices[i];
            if (!macEqual(device.mac, table.localMac)) continue;
            copyText(device.networkName, *name);
            copyKey(device.networkKey, nmk.data());
        }
    }
    return setLocalNEK(std::nullopt, nmk);
}

// The local 1.0 device's own key under key select 0 (remote work lends that select to a device's
// DEK), with P2 still marked: what it forwards goes out under that key until the next frame
// clears the mark. Nothing while its parameter block is not known.
void restoreSelectZeroKey() {
    if (core.localKeyKnown == 0) return;
    Hp10KeyFrame restore;
    restore.destination = kBroadcastMac;
    restore.keySelect = 0;
    restore.key = localBlockKey(kBlockSelectZeroKey);
    restore.withParams = true;
    restore.thirdParam = 1;
    restore.mark = true;
    sendHp10KeyFrame(restore);
}

int reapplyHp10Key() {
    if (!macIsSet(requestSourceMac().data())) return kKeyNotSet;
    restoreSelectZeroKey();
    std::optional<NetworkKey> nek;
    if (const auto name = knownNetworkName()) {
        nek = keyBufferOf(deriveHP10Key(*name));
    } else if (core.localKeyKnown != 0) {
        nek = keyBufferOf(localBlockKey(kBlockNek));
    }
    if (!nek) return kKeyNotSet;
    return setLocalNEK(std::nullopt, *nek);
}

}  // namespace

int setLocalNEK(const std::optional<Mac>& hostAddress, const NetworkKey& key) {
    if (hostAddress) selectInterfaceByHostMac(*hostAddress);
    switch (localFamily()) {
        case LocalFamily::av:
            return sendLocalSetKey(key);
        case LocalFamily::turbo:
            return setTurboLocalKey(key);
        case LocalFamily::homePlug10:
            return setHp10LocalKey(key);
    }
    return kKeyNotSet;
}

int restoreLocalKey(const NetworkKey& key) {
    ScanPause pause;
    if (localFamily() == LocalFamily::homePlug10) {
        if (!macIsSet(requestSourceMac().data())) return kKeyNotSet;
        restoreSelectZeroKey();
    }
    return setLocalNEK(std::nullopt, key);
}

std::optional<NetworkKey> localKeyNow() {
    NetworkKey key{};
    switch (localFamily()) {
        case LocalFamily::av:
            std::memcpy(key.data(), core.avNetworkKey, sizeof core.avNetworkKey);
            break;
        case LocalFamily::turbo:
            std::memcpy(key.data(), core.hp10NetworkKey, sizeof core.hp10NetworkKey);
            break;
        case LocalFamily::homePlug10:
            if (core.localKeyKnown == 0) return std::nullopt;
            key = keyBufferOf(localBlockKey(kBlockNek));
            break;
    }
    if (!keyIsSet(key)) return std::nullopt;
    return key;
}

bool readLocalTurboKey() {
    if (!sendReadRequest(kHp10ReadNetworkKey)) return false;
    Clock& clock = systemClock();
    const uint64_t start = clock.tickCount();
    bool keyCame = false;
    MmeFrame frame;
    // As the scan's drain: every reply is processed, the frames already waiting one after
    // another and 1 ms apart otherwise; the key reply fills hp10NetworkKey.
    do {
        if (!receiveNextFrame(frame, 1)) continue;
        if (isHp10EntryFrame(frame, kHp10ReadReply, kKeyReplyData) &&
            frame.bytes[kHp10EntryDataOffset] == kHp10ReadNetworkKey &&
            frameSource(frame) == localHp10Mac())
            keyCame = true;
        handleHp10Reply(std::span<uint8_t>(frame.bytes.data(), frame.length));
    } while (clock.tickCount() - start < kKeyQueryWindowMs);
    return keyCame;
}

bool refreshLocalTurboKey() {
    if (readLocalTurboKey()) return true;
    // No network key is all zero (each byte of a 1.0 key has odd parity): all zero is a key
    // that was never read.
    return std::any_of(std::begin(core.hp10NetworkKey), std::end(core.hp10NetworkKey),
                       [](uint8_t b) { return b != 0; });
}

int reapplyLocalKey() {
    ScanPause pause;
    switch (localFamily()) {
        case LocalFamily::av:
            return reapplyAvKey();
        case LocalFamily::turbo:
            if (!refreshLocalTurboKey()) return kKeyNotSet;
            return setLocalNEK(std::nullopt,
                               keyBufferFrom(core.hp10NetworkKey, sizeof core.hp10NetworkKey));
        case LocalFamily::homePlug10:
            return reapplyHp10Key();
    }
    return kKeyNotSet;
}

}  // namespace corvel
