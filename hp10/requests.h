// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <span>

#include "platform/mac.h"

// HomePlug 1.0 / Turbo requests on the wire: each is built by the codec and sent with sendFrame,
// which pads it to 60 bytes. False when nothing went out (no source address, a closed interface,
// a send failure).
namespace corvel {

// Statistics request (entry 0x07) on interface `index`; every station, or the one addressed,
// answers with an entry 0x08.
bool sendStatsRequest(int index, const Mac& source, const Mac& destination);
// Parameter request (entry 0x19) carrying `value` (0 or 0x10).
bool sendParamRequest(int index, const Mac& source, const Mac& destination, uint8_t value);
// Local query (entry 0x1A, 38 bytes with MELEN 0xBB).
bool sendLocalQueryFrame(int index, const Mac& source, const Mac& destination);

// The following go out on the selected interface in the name of that interface
// (requestSourceMac); while its address is unknown (all zero) nothing is sent.

// Vendor request (entry 0x02) with `code` and `data`; without data one byte 00 goes out. More
// than 251 data bytes do not fit the entry and send nothing.
bool sendVendorRequest(const Mac& destination, uint8_t code, std::span<const uint8_t> data = {});
// Version query (vendor code 16) to broadcast: Turbo-capable devices answer with their version.
bool sendVersionQuery();
// Read request (entry 0x12) to the selected interface's local device: sub-code 0x20 asks for the
// firmware text, 0x21 for the network key.
bool sendReadRequest(uint8_t subCode);

}  // namespace corvel
