// SPDX-License-Identifier: MIT
#pragma once

#include "platform/mac.h"

// What the AV exchanges keep between calls: whether a confirmation came, and what the local AV
// device said about itself. It lives for the whole process; an interface without an AV device
// does not clear it.
namespace corvel {

inline constexpr int kChipNameSize = 8;            // "QRB1000" and its terminator
inline constexpr int kLocalFirmwareTextSize = 65;  // at most 64 characters

struct AvExchangeState {
    // Set by pollAvConfirm when it accepts a confirmation, cleared by probeLocalAv.
    bool avConfirmSeen = false;
    // The device that answered probeLocalAv on the local-management address: the local device,
    // from which alone the version request that follows takes its answer. Cleared by the probe.
    Mac localAnswerer{};
    // The local device's chip generation by name; empty until a generation 1..3 was reported.
    char localChipName[kChipNameSize] = {};
    char localFirmwareText[kLocalFirmwareTextSize] = {};
    // Whether an AV firmware upgrade of the local device ends with the module-commit request
    // (true) or the start request (false).
    bool upgradeCommits = false;
};

AvExchangeState& avExchangeState();
// Everything as at process start.
void resetAvExchangeState();

}  // namespace corvel
