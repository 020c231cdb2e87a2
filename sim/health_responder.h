// SPDX-License-Identifier: MIT
#pragma once

#include "sim/device.h"
#include "sim/frame_bytes.h"

// The AV requests about a link's health: link statistics 0xA030, transmit and receive tone maps
// 0xA070 and 0xA090, and reset 0xA01C. A link joins the local device and one station of its
// network; the station's profile.link describes it whichever end is asked.
namespace corvel::sim {

class Network;

inline constexpr uint16_t kAvResetDeviceRequest = 0xA01C;
inline constexpr uint16_t kAvLinkStatsRequest = 0xA030;
inline constexpr uint16_t kAvTxToneMapRequest = 0xA070;
inline constexpr uint16_t kAvRxToneMapRequest = 0xA090;

// Answers one of those requests that reached `device` and returns true; false for any other
// MMTYPE. A request too short for its fields gets no answer.
bool respondHealth(Network& network, int port, Device& device, Bytes frame);

// The link rates `profile` reports `elapsedMs` after the network started: the rate bytes of its
// schedules where it has them, its fixed LinkRates otherwise.
LinkRates currentRates(const DeviceProfile& profile, uint64_t elapsedMs);

}  // namespace corvel::sim
