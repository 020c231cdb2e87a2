// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "hp10codec/frames.h"
#include "platform/mac.h"

// The HomePlug 1.0 local device's 50-byte parameter block: the reply that carries it (entry
// 0x19), its layout, and the key frames that hand parts of it back to the device with a key.
namespace corvel {

inline constexpr size_t kHp10ParamBlockSize = 50;

// Offsets in the block.
inline constexpr size_t kBlockSelectZeroKey = 6;  // 8 bytes: the key under key select 0
inline constexpr size_t kBlockKeySelect = 14;     // key select of the network key
inline constexpr size_t kBlockNek = 15;           // 8 bytes: the network key (NEK)
inline constexpr size_t kBlockParams = 23;        // P1, P2, P3

// Set in P1 by every parameter entry the host sends.
inline constexpr uint8_t kP1HostBit = 0x40;
// P2 bit 0: the local device sends what it carries for the host under key select 0 (a remote
// device's DEK) instead of under the network key.
inline constexpr uint8_t kP2ForwardUnderSelectZero = 0x01;

// The parameter reply: entry 0x19 with MELEN 0x33, its data which copy of the block it is (byte
// 17), then the block (18..67).
inline constexpr uint8_t kParamReplyLength = 0x33;
inline constexpr size_t kParamReplyCopyOffset = kHp10EntryDataOffset;
inline constexpr size_t kParamReplyBlockOffset = kParamReplyCopyOffset + 1;
inline constexpr uint8_t kParamStoredCopy = 1;   // the copy the device keeps across power cycles
inline constexpr uint8_t kParamWorkingCopy = 2;  // the copy it runs with

struct Hp10ParamReply {
    uint8_t copy = 0;
    std::span<const uint8_t, kHp10ParamBlockSize> block;
};

// The parameter reply in a 1.0 frame, when its first entry is one and the frame holds the whole
// block; nullopt for any other frame. Who sent it is for the caller to judge. The block is a
// view into `frame`.
std::optional<Hp10ParamReply> readParamReply(std::span<const uint8_t> frame);

// P1..P3 of a parameter entry the host sends: the block's P1 with the host bit set, its P2 (with
// bit 0 set as well when `forwardUnderSelectZero`), and `third`.
struct Hp10ParamBytes {
    uint8_t p1 = 0;
    uint8_t p2 = 0;
    uint8_t p3 = 0;
};
Hp10ParamBytes hostParamBytes(std::span<const uint8_t, kHp10ParamBlockSize> block,
                              bool forwardUnderSelectZero, uint8_t third);

// The set key of the key operations for key select `keySelect`, 31 bytes: followed by the
// parameter entry when `params` is given, else alone.
Hp10Frame buildKeyOperationFrame(const Mac& source, const Mac& destination, uint8_t keySelect,
                                 const Hp10Key& key, const std::optional<Hp10ParamBytes>& params);

}  // namespace corvel
