// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/mac.h"

// The few byte-level pieces every simulated device needs to read a request and build its
// answer. They are written from the frame layouts alone, never through the utility's codecs,
// so that a layout mistake on one side shows up as a failed exchange with the other.
namespace corvel::sim {

inline constexpr uint16_t kAvEthertype = 0x88E1;
inline constexpr uint16_t kHp10Ethertype = 0x887B;
// Requests sent here are answered by the AV device cabled to the interface, whatever its MAC.
inline constexpr Mac kLocalManagementMac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x01};
// The vendor OUI of AV management messages and the one inside HomePlug 1.0 vendor entries.
inline constexpr uint8_t kAvOui[3] = {0x00, 0xB0, 0x52};
inline constexpr uint8_t kHp10VendorOui[3] = {0x00, 0x04, 0x87};
// Shortest Ethernet frame without its FCS: devices pad every answer up to it.
inline constexpr size_t kMinFrameLength = 60;
inline constexpr size_t kMaxFrameLength = 1514;

using Bytes = std::span<const uint8_t>;

// Whether `count` bytes from `offset` lie inside the frame.
inline bool fits(Bytes frame, size_t offset, size_t count) {
    return offset <= frame.size() && count <= frame.size() - offset;
}

Mac macAt(const uint8_t* bytes);
void putMac(uint8_t* bytes, const Mac& mac);
inline bool isGroupAddress(const Mac& mac) {
    return (mac[0] & 0x01) != 0;
}

// A zeroed frame of `length` bytes (at least 60) with destination, source and Ethertype written.
std::vector<uint8_t> ethernetFrame(const Mac& destination, const Mac& source, uint16_t ethertype,
                                   size_t length);
// An AV management frame: MMV 0, the MMTYPE least significant byte first, the vendor OUI; the
// payload from byte 20 is zero.
std::vector<uint8_t> avFrame(const Mac& destination, const Mac& source, uint16_t mmtype,
                             size_t length);
// A HomePlug 1.0 frame with one entry: MCTRL 1, MEHDR `type`, MELEN `melen`; data from byte 17
// is zero.
std::vector<uint8_t> hp10Frame(const Mac& destination, const Mac& source, uint8_t type,
                               uint8_t melen, size_t length);

}  // namespace corvel::sim
