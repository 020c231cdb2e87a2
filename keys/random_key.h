// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Keys the program makes up itself, to move a device onto a network nobody else is on: their
// bytes come from the kernel's random source, so nobody can compute them, whoever knows when
// and where they were made.
namespace corvel {

enum class KeyFamily { Av, HomePlug10, Turbo };

// Where made-up keys take their bytes: fills `length` bytes at `out`.
using RandomBytesSource = std::function<void(uint8_t* out, size_t length)>;

// The kernel's random source, getrandom(2) without flags: it waits only while the kernel's
// generator is not yet seeded after boot. Throws std::system_error when the kernel gives none.
void kernelRandomBytes(uint8_t* out, size_t length);

// The source makeRandomKey reads, the kernel's unless a test installed another; installing an
// empty source puts the kernel's back.
const RandomBytesSource& randomBytesSource();
void installRandomBytesSource(RandomBytesSource source);

// Fills `out` with a new random key: 8 bytes for Turbo (the other 8 zeroed), 16 for AV and plain
// 1.0 (which uses the first 8). Bytes whose first 8 equal the family's public key are drawn
// again, so the key never puts a device back on the public network.
void makeRandomKey(KeyFamily family, uint8_t out[16]);

}  // namespace corvel
