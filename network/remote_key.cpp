// SPDX-License-Identifier: MIT
#include "network/remote_key.h"

#include "avcodec/codec.h"
#include "av/exchanges.h"
#include "avcodec/frame.h"
#include "scan/device_list.h"
#include "core/observer.h"
#include "core/tables.h"
#include "hp10codec/frames.h"
#include "network/hp10_confirm.h"
#include "network/hp10_key_frame.h"
#include "network/key_target.h"
#include "network/local_family.h"
#include "platform/clock.h"
#include "transport/frame_io.h"

namespace corvel {

namespace {

constexpr uint32_t kRemoteConfirmWindowMs = 3700;
constexpr uint32_t kProbeWindowMs = 200;
constexpr uint32_t kProbeIdleSleepMs = 10;

bool awaitAvSetKeyConfirm(uint32_t windowMs) {
    // The request went to the local device, which confirms once the device whose DAK matched
    // took the key.
    Mac local{};
    copyMac(local.data(), currentStationTable().localMac);
    AvConfirm confirm;
    // A stray module-commit confirmation says nothing about the key.
    return waitAvConfirm(kMmSetKeyRequest, local, confirm, windowMs, nullptr, AvAnswer::ownConfirm);
}

int setHp10RemoteKey(const NetworkKey& accessKey, const NetworkKey& newKey, Mac& device,
                     bool byPassword) {
    if (core.localKeyKnown == 0) return kKeyNotSet;
    // 1. The local device takes the device's DEK under key select 0 and, with P2 marked, sends
    //    what it forwards under that key.
    Hp10KeyFrame reach;
    reach.destination = kBroadcastMac;
    reach.keySelect = 0;
    reach.key = hp10KeyOf(accessKey);
    reach.withParams = true;
    reach.thirdParam = 0;
    reach.mark = true;
    if (!sendHp10KeyFrame(reach).sent) return kKeyNotSet;
    // 2. The new NEK to the device, which only its DEK opens.
    Hp10KeyFrame give;
    give.destination = device;
    give.keySelect = 1;
    give.key = hp10KeyOf(newKey);
    give.mark = true;
    if (!sendHp10KeyFrame(give).sent) return kKeyNotSet;
    // 3. The marked parameters again, now with the third byte 1.
    if (!sendMarkedParamEntry(kBroadcastMac, 1)) return kKeyNotSet;
    if (awaitHp10SetKeyConfirm(device, kRemoteConfirmWindowMs)) return kKeyHp10Confirmed;
    return probeDevice(device, byPassword) ? kKeyAnswering : kKeyNotSet;
}

}  // namespace

int setRemoteKey(const NetworkKey& accessKey, const NetworkKey& newKey, Mac& device,
                 bool byPassword) {
    if (!macIsSet(requestSourceMac().data())) return kKeyNotSet;
    const LocalFamily family = localFamily();
    if (family == LocalFamily::homePlug10)
        return setHp10RemoteKey(accessKey, newKey, device, byPassword);
    if (!byPassword) return sendRemoteKey(device, newKey, accessKey);

    Mac answered = kBroadcastMac;
    const int result = sendRemoteKey(answered, newKey, accessKey);
    // Only a device that answered has an address to expect; the broadcast address is none.
    if (family == LocalFamily::turbo && answered != kBroadcastMac)
        pendingAdd().expectedMac = answered;
    if (result != kKeyNotSet) device = answered;
    return result;
}

int sendRemoteKey(Mac& device, const NetworkKey& newKey, const NetworkKey& accessKey) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return kKeyNotSet;
    const LocalFamily family = localFamily();
    const bool broadcastMode = device == kBroadcastMac;

    if (family == LocalFamily::av) {
        AvRequestBuffer frame{};
        const int length = buildRemoteSetKey(frame, source, device, newKey, accessKey);
        if (length <= 0) {
            reportEncodeFailure();
            return kKeyNotSet;
        }
        if (!sendAvFrame(frame, length)) return kKeyNotSet;
    } else if (family == LocalFamily::turbo) {
        if (!sendHp10Frame(
                buildTurboSetKey(source, kBroadcastMac, hp10KeyOf(accessKey), hp10KeyOf(newKey))))
            return kKeyNotSet;
    } else {
        return kKeyNotSet;
    }

    systemClock().sleepMs(1);
    if (family == LocalFamily::av) {
        if (awaitAvSetKeyConfirm(kRemoteConfirmWindowMs)) return kKeyAvConfirmed;
    } else if (awaitHp10SetKeyConfirm(device, kRemoteConfirmWindowMs)) {
        return kKeyHp10Confirmed;
    }
    return probeDevice(device, broadcastMode) ? kKeyAnswering : kKeyNotSet;
}

bool probeDevice(Mac& device, bool broadcastMode) {
    const Mac source = requestSourceMac();
    if (!macIsSet(source.data())) return false;
    switch (localFamily()) {
        case LocalFamily::av:
            sendAvRequest(kBroadcastMac, kMmVersionRequest);
            break;
        case LocalFamily::turbo:
            sendHp10Frame(buildStatsRequest(source, kBroadcastMac));
            break;
        case LocalFamily::homePlug10:
            sendHp10Frame(buildStatsRequest(source, device));
            break;
    }
    Clock& clock = systemClock();
    const Mac local = localHp10Mac();
    const uint64_t deadline = clock.tickCount() + kProbeWindowMs;
    MmeFrame frame;
    while (clock.tickCount() < deadline) {
        if (!receiveFrame(frame)) {
            clock.sleepMs(kProbeIdleSleepMs);
            continue;
        }
        if (!isHp10EntryFrame(frame, kHp10StationAnswer)) continue;
        const Mac from = frameSource(frame);
        if (!isDeviceAddress(from)) continue;
        if (broadcastMode) {
            if (from == local) continue;
            device = from;
            return true;
        }
        if (from == device) return true;
    }
    return false;
}

}  // namespace corvel
