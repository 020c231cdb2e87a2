// SPDX-License-Identifier: MIT
#pragma once

#include "sim/device.h"
#include "sim/frame_bytes.h"

// The secondary loader of a HomePlug 1.0 / Turbo local device. The reset request (entry 0x12
// with code 0x67) hands the device over to it; loader commands (entry 0x10) then write blocks of
// the MAC image and the configuration sections (0x81; image blocks in order, sections whole),
// commit them (0x82), verify (0x84, argument 0x40), answer section checksums (0x83), and restart
// the device (0x7F) into what was committed. The loader answers at 00:04:87:FE:11:00 and,
// unless the profile says otherwise, at the device's own MAC. While the device is in its loader
// it answers nothing else: its firmware does not run until a reset after a commit.
namespace corvel::sim {

class Network;

inline constexpr Mac kLoaderMac{0x00, 0x04, 0x87, 0xFE, 0x11, 0x00};

// Takes the frame when it is for the loader (or hands the device over to it), or when the device
// is in its loader and so hears nothing else: true then, false when the device's running
// firmware should see it.
bool respondLoader(Network& network, int port, Device& local, Bytes frame);

}  // namespace corvel::sim
