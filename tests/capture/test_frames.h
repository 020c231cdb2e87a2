// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvel::capture {

using Bytes = std::vector<uint8_t>;

// A frame of `length` bytes of `fill` with the given Ethertype.
inline Bytes frameOf(uint16_t ethertype, size_t length, uint8_t fill = 0x11) {
    Bytes frame(length, fill);
    frame[12] = uint8_t(ethertype >> 8);
    frame[13] = uint8_t(ethertype);
    return frame;
}

}  // namespace corvel::capture
