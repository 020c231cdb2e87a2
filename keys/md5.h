// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "keys/hash_blocks.h"

// MD5 message digest (RFC 1321). Only the HomePlug 1.0 key derivation needs it; it is not used
// for anything that has to resist collisions.
namespace corvel {

class Md5 {
public:
    Md5() { reset(); }
    void update(const uint8_t* data, size_t length);
    // Pads, returns the digest and starts a fresh message, so one object can hash many texts.
    std::array<uint8_t, 16> finish();

private:
    void reset();
    void compress(const uint8_t* block);

    std::array<uint32_t, 4> state_;
    HashBlocks blocks_;
};

// The MD5 of `length` bytes. `printLabel` first writes `MD5 ("<data>") = 0x` to standard output
// with the data as text; `printHex` then writes the digest as 32 lower-case hex digits and a
// newline. Key derivation passes both flags clear.
std::array<uint8_t, 16> md5Digest(const uint8_t* data, size_t length, bool printHex,
                                  bool printLabel);

}  // namespace corvel
