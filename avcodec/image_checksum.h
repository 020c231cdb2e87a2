// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvel {

// The checksum of AV firmware images, image headers, PIBs and transfer chunks: the complement
// of (seed XOR every little-endian 32-bit word). A block that stores the checksum of its other
// words (computed with seed 0) checks to 0 over all its words with seed 0; a chunk checks to 0
// when its stored checksum is passed as the seed. Only `count` whole words are read, so the
// trailing bytes of a length that is not a multiple of 4 are not covered.
uint32_t imageChecksum(const uint8_t* words, size_t count, uint32_t seed);

}  // namespace corvel
