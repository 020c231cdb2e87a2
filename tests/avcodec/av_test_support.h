// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/bytes.h"
#include "platform/mac.h"

// Frames and images shared by the AV codec tests. Checksums here are computed by a plain loop of
// their own, so the tests do not take the codec's checksum on trust.
namespace corvel::test {

inline constexpr Mac kHostMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
inline constexpr Mac kDeviceMac{0x00, 0xB0, 0x52, 0x12, 0x34, 0x56};

inline uint32_t referenceChecksum(const uint8_t* bytes, size_t words, uint32_t seed = 0) {
    uint32_t x = seed;
    for (size_t i = 0; i < words; ++i) {
        const uint8_t* w = bytes + 4 * i;
        x ^= uint32_t(w[0]) | uint32_t(w[1]) << 8 | uint32_t(w[2]) << 16 | uint32_t(w[3]) << 24;
    }
    return ~x;
}

inline std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
    return bytes;
}

// An AV frame of exactly `length` bytes (at least 20): header, then zeros.
inline std::vector<uint8_t> avFrame(uint16_t mmtype, size_t length,
                                    const Mac& destination = kHostMac,
                                    const Mac& source = kDeviceMac) {
    std::vector<uint8_t> frame(length);
    std::copy(destination.begin(), destination.end(), frame.begin());
    std::copy(source.begin(), source.end(), frame.begin() + 6);
    frame[12] = 0x88;
    frame[13] = 0xE1;
    frame[14] = 0x00;
    put16le(&frame[15], mmtype);
    frame[17] = 0x00;
    frame[18] = 0xB0;
    frame[19] = 0x52;
    return frame;
}

// Stores in word 10 the value that makes the checksum over the eleven words 0.
inline void sealHeader(uint8_t* header) {
    put32le(header + 40, referenceChecksum(header, 10));
}

struct NvmImageLayout {
    uint32_t loadAddress;
    uint32_t length;
    std::optional<uint32_t> word4 = std::nullopt;  // the image's checksum unless given
    uint32_t word5 = 0x5555BBBB;
    uint32_t gapAfter = 0;  // bytes between this image and the next header
};

// A firmware file: each image behind its sealed 44-byte header, chained by word 9.
inline std::vector<uint8_t> makeNvm(const std::vector<NvmImageLayout>& images) {
    std::vector<uint8_t> file;
    for (size_t i = 0; i < images.size(); ++i) {
        const NvmImageLayout& layout = images[i];
        const size_t at = file.size();
        const size_t next = at + 44 + layout.length + layout.gapAfter;
        std::vector<uint8_t> header(44);
        put32le(&header[0], 0x00010001);
        put32le(&header[4], uint32_t(i));
        put32le(&header[8], layout.loadAddress);
        put32le(&header[12], layout.length);
        const std::vector<uint8_t> body =
            pattern(layout.length + layout.gapAfter, uint8_t(0x31 * (i + 1)));
        put32le(&header[16],
                layout.word4.value_or(referenceChecksum(body.data(), layout.length / 4)));
        put32le(&header[20], layout.word5);
        put32le(&header[36], i + 1 < images.size() ? uint32_t(next) : 0);
        sealHeader(header.data());
        file.insert(file.end(), header.begin(), header.end());
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

// A PIB-like image whose 16-bit length field at offset 4 holds `size`.
inline std::vector<uint8_t> makePib(size_t size) {
    std::vector<uint8_t> pib = pattern(size, 0x5A);
    pib[0] = 3;
    pib[1] = 3;
    put16le(&pib[4], uint16_t(size));
    return pib;
}

}  // namespace corvel::test
