// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/mac.h"

namespace corvel::capture {

using Bytes = std::vector<uint8_t>;

// The two host interfaces of the tests' wire.
inline constexpr Mac kHost0{2, 0, 0, 0, 0, 1};
inline constexpr Mac kHost1{2, 0, 0, 0, 0, 2};

// A frame of `length` bytes of `fill` with the given Ethertype.
inline Bytes frameOf(uint16_t ethertype, size_t length, uint8_t fill = 0x11) {
    Bytes frame(length, fill);
    frame[12] = uint8_t(ethertype >> 8);
    frame[13] = uint8_t(ethertype);
    return frame;
}

// The same, sent in the name of `source`.
inline Bytes frameFrom(const Mac& source, uint16_t ethertype, size_t length, uint8_t fill = 0x11) {
    Bytes frame = frameOf(ethertype, length, fill);
    std::copy(source.begin(), source.end(), frame.begin() + 6);
    return frame;
}

}  // namespace corvel::capture
