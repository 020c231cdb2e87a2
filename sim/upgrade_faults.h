// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "sim/device.h"

// The upgrade faults of a device, applied as it takes write chunks and answers upgrade requests.
namespace corvel::sim {

// Counts one write chunk; the status the device gives it because of a fault (0 = none).
uint8_t takeUpgradeChunk(Device& device);
// Whether the device has fallen silent for upgrade requests; `chunk` says whether the request
// is the write chunk just counted.
bool upgradeSilent(const Device& device, bool chunk);

}  // namespace corvel::sim
