// SPDX-License-Identifier: MIT
#pragma once

#include "sim/device.h"
#include "sim/frame_bytes.h"

// The AV device's side of a firmware upgrade: module write 0xA020 and memory write 0xA004 take
// the images chunk by chunk (each chunk's checksum checked, module chunks in order without gaps
// or overlaps), and module commit 0xA028 or start 0xA00C judge what was written; the start
// request must name the image it starts. A device whose configuration block says it cannot
// commit (status other than 0) refuses the commit. An accepted upgrade restarts the device with
// the PIB it was given, under the MAC that PIB carries.
namespace corvel::sim {

class Network;

inline constexpr uint16_t kAvMemoryWriteRequest = 0xA004;
inline constexpr uint16_t kAvStartRequest = 0xA00C;
inline constexpr uint16_t kAvModuleWriteRequest = 0xA020;
inline constexpr uint16_t kAvModuleCommitRequest = 0xA028;
// Where the memory path loads the PIB.
inline constexpr uint32_t kAvPibMemoryAddress = 0x01F00000;

// Carries out an upgrade request; false when `frame` is none.
bool respondAvUpgrade(Network& network, int port, Device& device, Bytes frame);

}  // namespace corvel::sim
