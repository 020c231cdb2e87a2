// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

// Byte-order helpers for frames and file records. The byte order is in every name so that a
// reader sees at each call site that AV payload fields are little-endian while Ethertypes and
// HomePlug 1.0 entry fields are big-endian. Callers check lengths before calling.
namespace corvel {

inline uint16_t get16le(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint16_t get16be(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t get32le(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
           (uint32_t(p[3]) << 24);
}
inline uint32_t get32be(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint32_t get24be(const uint8_t* p) {
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[2]);
}

inline void put16le(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void put16be(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void put32be(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}
inline void put32le(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace corvel
