// SPDX-License-Identifier: MIT
#pragma once

#include "sim/device.h"
#include "sim/frame_bytes.h"

namespace corvel::sim {

class Network;

// AV management requests a device answers: version 0xA000, network information 0xA038,
// configuration block 0xA058, module read 0xA024 (module 2, the PIB), set key 0xA050, the
// link-health requests (health_responder) and the upgrade's requests (av_upgrade_responder).
// Other requests, and requests too short for their fields, get no answer.
inline constexpr uint16_t kAvVersionRequest = 0xA000;
inline constexpr uint16_t kAvModuleReadRequest = 0xA024;
inline constexpr uint16_t kAvNetworkInfoRequest = 0xA038;
inline constexpr uint16_t kAvSetKeyRequest = 0xA050;
inline constexpr uint16_t kAvConfigBlockRequest = 0xA058;

// The status a device gives a request it cannot carry out.
inline constexpr uint8_t kAvFailureStatus = 0x01;
inline constexpr uint16_t kAvMaxReadChunk = 1024;
inline constexpr uint8_t kAvPibModule = 2;

// Carries out one AV request that reached `device` on `port` and sends its confirmation.
void respondAv(Network& network, int port, Device& device, Bytes frame);

// What a host on the segment can send in another's name (Faults: spoofNetworkInfo,
// forgeVersion): a network-information confirmation from `source` that lists `source` as the one
// station of its network, and a version confirmation from `source` with kForgedVersionText.
std::vector<uint8_t> spoofedNetworkInfo(const Mac& destination, const Mac& source);
std::vector<uint8_t> forgedVersion(const Mac& destination, const Mac& source);

}  // namespace corvel::sim
