// SPDX-License-Identifier: MIT
#include "avcodec/frame.h"

#include <cerrno>
#include <cstring>

#include "platform/bytes.h"

namespace corvel {

size_t writeAvHeader(uint8_t* buffer, size_t capacity, const uint8_t* destination,
                     const uint8_t* source, uint16_t mmtype) {
    if (buffer == nullptr || destination == nullptr || source == nullptr) {
        errno = kAvErrMissingOrShort;
        return 0;
    }
    if (capacity < kEthernetHeaderLength) {
        std::memset(buffer, 0, capacity);
        errno = kAvErrBufferTooSmall;
        return 0;
    }
    std::memcpy(buffer, destination, 6);
    std::memcpy(buffer + 6, source, 6);
    put16be(buffer + kOffsetEthertype, kAvEthertype);

    if (capacity < kAvHeaderLength) {
        std::memset(buffer + kEthernetHeaderLength, 0, capacity - kEthernetHeaderLength);
        errno = kAvErrBufferTooSmall;
        return 0;
    }
    buffer[kOffsetMmv] = kAvMmv;
    put16le(buffer + kOffsetMmtype, mmtype);
    std::memcpy(buffer + kOffsetOui, kAvOui.data(), kAvOui.size());
    return kAvHeaderLength;
}

}  // namespace corvel
