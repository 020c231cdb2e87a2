// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>

#include "hp10codec/loader_frames.h"

// The host's side of a conversation with a device's secondary loader on the selected interface:
// frames go from requestSourceMac to the local device's stored address, and the loader's answers
// are taken from every interface after a fixed wait.
namespace corvel {

// The loader's address for this conversation: the selected interface's local device.
Mac loaderDestination();

// Sends a loader frame; false, after "Packet Sending Failure", when it did not go out.
bool sendLoaderFrame(const LoaderFrame& frame);

// Sleeps waitMs + 5 ms, then takes every frame waiting, for no longer than the sleep took; the
// answer is the last loader response to `command` among them (a checksum answer may also come as
// 0x04): success when its status is 0, with the device's checksum in *value for a checksum
// answer. False without a source address or without such a response.
bool awaitLoaderResponse(uint32_t waitMs, uint8_t command, uint32_t* value = nullptr);

// Whether a device waits in its secondary loader on the selected interface, as an upgrade that
// did not finish leaves it: a checksum query of nothing (0 bytes of the MAC image) goes to the
// loader's address, and any answer counts, whatever its status. It changes nothing on the device.
bool probeLoader();

// Commit (0x82) or verify (0x84) with its argument, answered within 4200 ms. Shows "Packet sent
// but no response" when no successful answer came.
bool loaderCommand(uint8_t command, uint32_t argument);

// Asks the loader for the checksum of what it holds under `selector` (`data.size()` bytes) and
// compares it with that of `data`; "Packet sent but no response" when it did not answer.
bool querySectionChecksum(uint32_t selector, std::span<const uint8_t> data);

inline constexpr uint32_t kBlockWaitMs = 5;
inline constexpr uint32_t kCommandWaitMs = 4200;
inline constexpr uint32_t kChecksumWaitMs = 500;
inline constexpr uint32_t kLoaderSettleMs = 5;
// A loader answers at once; the probe waits this long for it on each interface.
inline constexpr uint32_t kLoaderProbeWaitMs = 200;

}  // namespace corvel
