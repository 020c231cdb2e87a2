// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Helpers shared by the MD5 and SHA-256 tests.
namespace corvel::testing_keys {

template <size_t N>
std::string lowerHex(const std::array<uint8_t, N>& digest) {
    std::string text;
    for (uint8_t byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

inline const uint8_t* bytesOf(std::string_view text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

// Bytes that differ from position to position, so a block assembled out of order shows.
inline std::vector<uint8_t> patternBytes(size_t length) {
    std::vector<uint8_t> data(length);
    for (size_t i = 0; i < length; ++i) data[i] = uint8_t(i * 7 + 3);
    return data;
}

// Lengths around the padding boundaries (55 still fits the bit count in the block, 56 does not)
// and block edges; fed in one piece, byte by byte, and split at every position, the digest must
// not change. The same object is reused, so a finish() that left state behind shows as well.
template <class Hash>
void expectSplitsAgree() {
    for (size_t length : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 200}) {
        const std::vector<uint8_t> data = patternBytes(length);
        Hash hash;
        hash.update(data.data(), data.size());
        const auto whole = hash.finish();

        for (size_t i = 0; i < length; ++i) hash.update(data.data() + i, 1);
        EXPECT_EQ(hash.finish(), whole) << "byte by byte, length " << length;

        for (size_t cut = 0; cut <= length; ++cut) {
            hash.update(data.data(), cut);
            hash.update(data.data() + cut, length - cut);
            EXPECT_EQ(hash.finish(), whole) << "length " << length << " cut at " << cut;
        }
    }
}

}  // namespace corvel::testing_keys
