// SPDX-License-Identifier: MIT
#include "avcodec/image_checksum.h"

#include "platform/bytes.h"

namespace corvel {

uint32_t imageChecksum(const uint8_t* words, size_t count, uint32_t seed) {
    uint32_t sum = seed;
    for (size_t i = 0; i < count; ++i) sum ^= get32le(words + 4 * i);
    return ~sum;
}

}  // namespace corvel
