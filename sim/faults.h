// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
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
// The address a spoofing host sends from unless the scenario names another: locally
// administered, so no adapter has it.
inline constexpr Mac kDefaultSpoofMac{0x02, 0x00, 0x00, 0x00, 0x66, 0x66};
inline constexpr const char* kForgedVersionText = "FORGED-VERSION";
inline constexpr uint8_t kDefaultUnrelatedEntryType = 0x3F;

struct Faults {
    // Neither hears, nor answers, nor (as a local device) bridges: as if unplugged.
    bool offline = false;
    // Acts on requests but sends no answer of its own.
    bool silent = false;
    // Added before every answer goes out (device and port latencies add up).
    uint32_t latencyMs = 0;
    // Added, on top of latencyMs, before the answers of one message type: keyed by the AV
    // confirmation's MMTYPE (0xA025 a module-read chunk) or the 1.0 reply's entry type.
    std::map<uint16_t, uint32_t> latencyByType;
    // Non-zero: every AV confirmation with a status byte carries this value, and the request
    // it confirms is not carried out.
    uint8_t avStatus = 0;
    // Sent, in this order, ahead of every answer.
    std::vector<UnrelatedFrame> unrelated;
    // Ahead of every answer (after the unrelated frames), `count` frames of one kind at once: the
    // traffic of a busy segment queued between a request and its answer.
    struct Burst {
        uint32_t count = 0;
        UnrelatedFrame frame{UnrelatedFrame::Kind::Av, kDefaultUnrelatedMmtype};
    } burst;
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

    // What any other host on the segment can send in the name of an address that is not its
    // own. Ahead of every AV network-information confirmation: one from `spoofFrom` that lists
    // only `spoofFrom` as the network's station.
    bool spoofNetworkInfo = false;
    // With every AV version confirmation: a forged one from `spoofFrom` (chip generation 1, text
    // kForgedVersionText). It goes ahead of the answer to a request sent to the device's own
    // address and right after the answer to one sent to the local-management address, which
    // any device may answer: a forger that answered first there would be the local device.
    bool forgeVersion = false;
    Mac spoofFrom = kDefaultSpoofMac;
    // Ahead of every answer, this many copies of it carrying a host interface's own address as
    // their source, the host addresses of all ports taken in turn (the answering port's first).
    // A copy of an answer the device sent to itself goes from that host address to itself.
    uint32_t hostSourceBurst = 0;
};

// Traffic nobody asked for on a port's wiring: one frame every `everyMs` reaches the host, from
// the port's local device to broadcast, for as long as the network runs.
struct NoiseStream {
    uint32_t everyMs = 0;  // 0: no stream
    UnrelatedFrame frame{UnrelatedFrame::Kind::Hp10, kDefaultUnrelatedEntryType};
};

// The type an answer's latencyByType entry is looked up by: the MMTYPE of an AV frame, the
// entry type of a 1.0 frame, 0 for anything else or too short.
uint16_t answerType(const std::vector<uint8_t>& frame);

// The frames the faults inject, from `source` to `destination`.
std::vector<uint8_t> buildUnrelatedFrame(const UnrelatedFrame& what, const Mac& destination,
                                         const Mac& source);
std::vector<uint8_t> buildIndicationFrame(const Mac& destination, const Mac& source);

}  // namespace corvel::sim
