// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "keys/hash_blocks.h"

// SHA-256 (FIPS 180-2), the hash of the HomePlug AV key derivations.
namespace corvel {

class Sha256 {
public:
    Sha256() { reset(); }
    void update(const uint8_t* data, size_t length);
    // Pads, returns the digest and starts a fresh message, so one object can hash many texts.
    std::array<uint8_t, 32> finish();

private:
    void reset();
    void compress(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    HashBlocks blocks_;
};

std::array<uint8_t, 32> sha256Digest(const uint8_t* data, size_t length);

}  // namespace corvel
