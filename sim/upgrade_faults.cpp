// SPDX-License-Identifier: MIT
#include "sim/upgrade_faults.h"

namespace corvel::sim {

uint8_t takeUpgradeChunk(Device& device) {
    const Faults& faults = device.profile.faults;
    ++device.firmware.chunks;
    return device.firmware.chunks == faults.failChunk ? faults.failStatus : 0;
}

bool upgradeSilent(const Device& device, bool chunk) {
    const uint32_t after = device.profile.faults.silentAfterChunk;
    if (after == 0) return false;
    return chunk ? device.firmware.chunks > after : device.firmware.chunks >= after;
}

}  // namespace corvel::sim
