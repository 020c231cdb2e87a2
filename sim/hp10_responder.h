// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/device.h"
#include "sim/frame_bytes.h"

namespace corvel::sim {

class Network;

// Entry types (MEHDR) of HomePlug 1.0 MAC-management frames.
inline constexpr uint8_t kHp10VendorEntry = 0x02;
inline constexpr uint8_t kHp10SetKeyEntry = 0x04;
inline constexpr uint8_t kHp10SetKeyConfirmEntry = 0x06;
inline constexpr uint8_t kHp10StatsRequestEntry = 0x07;
inline constexpr uint8_t kHp10StationAnswerEntry = 0x08;
inline constexpr uint8_t kHp10ReadRequestEntry = 0x12;
inline constexpr uint8_t kHp10ReadReplyEntry = 0x13;
inline constexpr uint8_t kHp10EncryptedEntry = 0x14;
inline constexpr uint8_t kHp10ParamsEntry = 0x19;
inline constexpr uint8_t kHp10StatsEntry = 0x1A;
inline constexpr uint8_t kHp10LocalParamsEntry = 0x1F;
// Vendor codes; a reply carries the code with bit 7 set.
inline constexpr uint8_t kVendorVersionCode = 16;
inline constexpr uint8_t kVendorTurboStatsCode = 24;
// Read request sub-codes of the local Turbo device.
inline constexpr uint8_t kReadFirmwareText = 0x20;
inline constexpr uint8_t kReadNetworkKey = 0x21;

inline constexpr size_t kStatsSlots = 15;
inline constexpr size_t kStatsReplyLength = 24 + kStatsSlots * 12;

// One management entry of a frame: its type, the length it declares and where its data starts.
// `available` is how much of the declared data the frame really holds.
struct Hp10Entry {
    uint8_t type;
    uint8_t declared;
    size_t offset;
    size_t available;
};
// The entries of a frame in order, at most MCTRL of them. An entry that declares more data than
// the frame holds is the last one (the local query declares 0xBB bytes and carries one).
std::vector<Hp10Entry> hp10Entries(Bytes frame);

// How a device heard the frame: as the local device (sent to its MAC or broadcast from its own
// host), or as a station across the powerline.
enum class Hp10Role { Local, Station };

// Carries out the entries of one frame that reached `device` on `port` and sends its answers.
void respondHp10(Network& network, int port, Device& device, Hp10Role role, Bytes frame);

// A set-key entry sent to a station's address: the local device sends it on under key select 0
// when its local parameters say so (the station takes it only if that key is its DEK), else
// under the network key (the station takes it only if it shares that key).
void forwardHp10SetKey(Network& network, int port, Device& local, Device& station, Bytes frame);

}  // namespace corvel::sim
