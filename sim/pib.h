// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "keys/derive.h"
#include "platform/mac.h"

// The parameter image an AV device keeps beside its firmware and hands out by module read.
// A device's PIB is mostly zero: only the fields the host reads, and the one range-checked word
// that zero would fail, carry values.
namespace corvel::sim {

inline constexpr size_t kPibLength = 7992;
inline constexpr size_t kPibChecksumOffset = 8;
inline constexpr size_t kPibMacOffset = 12;
inline constexpr size_t kPibNmkOffset = 100;
// A 32-bit field that must lie in 20..180 for the image to pass its content checks.
inline constexpr size_t kPibRangedWordOffset = 7824;
inline constexpr uint32_t kPibRangedWordValue = 100;

// The complement of the XOR of the length / 4 little-endian words from `bytes` (trailing bytes
// of a length that is not a multiple of 4 are not covered). Stored in a block whose other words
// it covers, it makes the XOR of all the block's words 0xFFFFFFFF.
uint32_t complementedWordXor(const uint8_t* bytes, size_t length);

// A 7992-byte image of version major.minor with the MAC at 12, the NMK at 100 and its checksum.
std::vector<uint8_t> buildPib(const Mac& mac, const Key16& nmk, uint8_t major, uint8_t minor);
// Writes a new NMK into the image and recomputes its checksum.
void storePibNmk(std::vector<uint8_t>& pib, const Key16& nmk);

}  // namespace corvel::sim
