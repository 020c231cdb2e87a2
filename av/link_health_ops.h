// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "avcodec/link_health.h"
#include "platform/mac.h"

// The link-health exchanges on the selected interface: the link statistics and tone maps of the
// local device's link to one station, the reset of a device, and the wait for a device that
// restarts. The link requests go to the local device, which names the station by the peer field;
// the reset goes to the device itself. Each request waits the usual confirmation window, and only
// the device it went to can answer it. A confirmation with a status other than 0 is a failure.
// On failure `error` holds one sentence saying why, as the command line prints it.
namespace corvel {

// The local device's link to `station`, both directions, as counted since start.
std::optional<LinkStatsConfirm> requestLinkStats(const Mac& station, std::string& error);

// The tone map of the local device's link to `station` in `slot` of the line cycle: how it
// modulates what it sends to the station (Tx), or how the station's frames reach it (Rx).
std::optional<ToneMapConfirm> requestToneMap(const Mac& station, ToneMapDirection direction,
                                             uint8_t slot, std::string& error);

// Sends the reset-device request to `device` (the local device or a station).
bool requestReset(const Mac& device, std::string& error);

// Sends version requests until `device` answers or `limitMs` passes (virtual clock).
// Returns the milliseconds from the call to the answer; `tick` hears the time elapsed after
// each request that went unanswered.
std::optional<uint32_t> waitUntilAnswers(const Mac& device, uint32_t limitMs,
                                         const std::function<void(uint32_t elapsedMs)>& tick);

// The converse: sends version requests until one goes unanswered or `limitMs` passes. A device
// confirms its reset before it restarts, and may answer for a moment longer; its return counts
// only once it has been silent. Returns the milliseconds from the call to the unanswered request.
std::optional<uint32_t> waitUntilSilent(const Mac& device, uint32_t limitMs);

}  // namespace corvel
