// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The 64-byte block buffering and Merkle-Damgard padding that MD5 and SHA-256 share; they differ
// only in the byte order of the trailing bit count.
namespace corvel {

enum class LengthOrder { LittleEndian, BigEndian };

class HashBlocks {
public:
    // Feeds bytes in, calling `compress(const uint8_t* block)` for every full 64-byte block.
    template <class Compress>
    void absorb(const uint8_t* data, size_t length, Compress&& compress) {
        size_t used = size_t(bitCount_ / 8 % 64);
        bitCount_ += uint64_t(length) * 8;
        while (length > 0) {
            const size_t take = length < 64 - used ? length : 64 - used;
            std::memcpy(buffer_.data() + used, data, take);
            used += take;
            data += take;
            length -= take;
            if (used == 64) {
                compress(buffer_.data());
                used = 0;
            }
        }
    }

    // Appends 0x80, zeros up to 56 bytes modulo 64 and the message length in bits, compressing
    // the last one or two blocks; then empties the buffer for the next message.
    template <class Compress>
    void pad(LengthOrder order, Compress&& compress) {
        const uint64_t bits = bitCount_;
        const size_t used = size_t(bits / 8 % 64);
        std::array<uint8_t, 64> padding{};
        padding[0] = 0x80;
        absorb(padding.data(), used < 56 ? 56 - used : 120 - used, compress);
        std::array<uint8_t, 8> lengthBytes{};
        for (size_t i = 0; i < 8; ++i) {
            const size_t shift = order == LengthOrder::LittleEndian ? 8 * i : 8 * (7 - i);
            lengthBytes[i] = uint8_t(bits >> shift);
        }
        absorb(lengthBytes.data(), lengthBytes.size(), compress);
        bitCount_ = 0;
        buffer_ = {};
    }

private:
    uint64_t bitCount_ = 0;
    std::array<uint8_t, 64> buffer_{};
};

}  // namespace corvel
