// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/mac.h"

// Misbehaviour on demand, for one device or for everything answered on one host port.
namespace corvel::sim {

// A frame that has nothing to do with the exchange, sent ahead of an answer.
struct UnrelatedFrame {
    enum class Kind {
        Ipv4,  // Ethertype 0x0800: the capture filter should never let it through
        Av,    // an AV management frame of another MMTYPE
        Hp10,  // a HomePlug 1.0 frame with an entry type nobody asked for
    };
    Kind kind = Kind::Ipv4;
    // The AV MMTYPE or the 1.0 entry type; ignored for IPv4.
    uint16_t type = 0;
};

inline constexpr uint16_t kDefaultUnrelatedMmtype = 0xA035;
inline constexpr uint8_t kDefaultUnrelatedEntryType = 0x3F;

struct Faults {
    // Neither hears, nor answers, nor (as a local device) bridges: as if unplugged.
    bool offline = false;
    // Acts on requests but sends no answer of its own.
    bool silent = false;
    // Added before every answer goes out (device and port latencies add up).
    uint32_t latencyMs = 0;
    // Non-zero: every AV confirmation with a status byte carries this value, and the request
    // it confirms is not carried out.
    uint8_t avStatus = 0;
    // Sent, in this order, ahead of every answer.
    std::vector<UnrelatedFrame> unrelated;
    // 0xA062 indications sent ahead of every answer (after the unrelated frames).
    uint32_t indications = 0;
    // Non-zero: every answer is cut to this many bytes.
    size_t truncateTo = 0;
    // Upgrades, counting the write chunks the device takes from 1 (AV module and memory writes,
    // loader blocks): chunk `failChunk` is refused with `failStatus`; after chunk
    // `silentAfterChunk` no upgrade request is answered any more.
    uint32_t failChunk = 0;
    uint8_t failStatus = 0x14;
    uint32_t silentAfterChunk = 0;
    // The loader's checksum answers differ from what it holds.
    bool wrongChecksum = false;
};

// The frames the faults inject, from `source` to `destination`.
std::vector<uint8_t> buildUnrelatedFrame(const UnrelatedFrame& what, const Mac& destination,
                                         const Mac& source);
std::vector<uint8_t> buildIndicationFrame(const Mac& destination, const Mac& source);

}  // namespace corvel::sim
