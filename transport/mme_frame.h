// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// A raw Ethernet frame from the destination MAC on, without preamble or frame check sequence.
namespace corvel {

inline constexpr size_t kMaxFrameLength = 1514;
// The Ethernet minimum without the frame check sequence; shorter frames go out zero-padded.
inline constexpr size_t kMinFrameLength = 60;

struct MmeFrame {
    std::array<uint8_t, kMaxFrameLength> bytes{};
    size_t length = 0;
};

// The frame as it goes on the wire: `length` bytes of `data` in a zeroed frame, at least
// kMinFrameLength long. False (and nothing copied) for a frame longer than kMaxFrameLength.
bool padFrame(const uint8_t* data, size_t length, MmeFrame& out);

}  // namespace corvel
