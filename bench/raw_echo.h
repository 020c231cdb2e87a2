// SPDX-License-Identifier: MIT
#pragma once

#include <pcap/pcap.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Plain frames of an experimental Ethertype (0x88B5) over a veth pair, outside the product's
// stack: the echo that reflects them, and the round trip that is the floor of every exchange.
namespace corvel::bench {

inline constexpr uint16_t kExperimentalEthertype = 0x88B5;

// A capture handle for incoming 0x88B5 frames in immediate, non-blocking mode, or nullptr (said
// on standard error).
pcap_t* openRaw(const char* name);

// Waits up to `timeoutMs` for one frame; copies it into `frame`.
bool nextFrame(pcap_t* p, std::vector<uint8_t>& frame, int timeoutMs);

// Reflects every frame back to its sender, forever.
int echo(const char* name);

// One frame of `length` bytes (at least 60) from `source` to the echo and back, tagged with
// `tag`; false when it did not come back within 100 ms.
bool plainRoundTrip(pcap_t* p, const uint8_t* source, size_t length, uint8_t tag);

}  // namespace corvel::bench
