// SPDX-License-Identifier: MIT
#include "network/hp10_confirm.h"

#include <cstring>

#include "core/answers.h"
#include "core/observer.h"
#include "core/tables.h"
#include "hp10codec/frames.h"
#include "platform/bytes.h"
#include "platform/clock.h"

namespace corvel {

bool isHp10EntryFrame(const MmeFrame& frame, uint8_t type, size_t dataBytes) {
    if (frame.length < kHp10EntryDataOffset + dataBytes || frame.length <= kHp10EntryLengthOffset)
        return false;
    return get16be(frame.bytes.data() + kHp10EthertypeOffset) == kHp10Ethertype &&
           frame.bytes[kHp10EntryTypeOffset] == type;
}

Mac frameSource(const MmeFrame& frame) {
    Mac mac{};
    std::memcpy(mac.data(), frame.bytes.data() + 6, mac.size());
    return mac;
}

bool isDeviceAddress(const Mac& mac) {
    return couldBeDevice(mac.data());
}

Mac localHp10Mac() {
    Mac mac{};
    copyLocalMac(mac.data());
    return mac;
}

bool awaitHp10SetKeyConfirm(Mac& device, uint32_t windowMs) {
    Clock& clock = systemClock();
    const bool anyDevice = device == kBroadcastMac;
    const Mac local = localHp10Mac();
    const uint64_t deadline = clock.tickCount() + windowMs;
    MmeFrame frame;
    while (clock.tickCount() < deadline) {
        if (!receiveFrame(frame)) {
            clock.sleepMs(1);
            continue;
        }
        if (!isHp10EntryFrame(frame, kHp10SetKeyConfirm)) continue;
        const Mac source = frameSource(frame);
        if (!isDeviceAddress(source)) continue;
        // The local device confirms what it takes itself; with the device unknown only another
        // sender can be the device.
        if (anyDevice ? source == local : source != device) continue;
        device = source;
        return true;
    }
    return false;
}

void pauseMs(uint32_t ms) {
    Clock& clock = systemClock();
    const uint64_t end = clock.tickCount() + ms;
    while (clock.tickCount() < end) clock.sleepMs(1);
}

}  // namespace corvel
