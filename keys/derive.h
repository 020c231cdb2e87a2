// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Network and device keys derived from the texts users type: the network name (shared by all
// devices of one private network) and the password printed on each device.
namespace corvel {

using Key16 = std::array<uint8_t, 16>;
using Key8 = std::array<uint8_t, 8>;
using NetworkId = std::array<uint8_t, 7>;

// The HomePlug salts. Salt B only for the AV network membership key; salt A for everything else.
inline constexpr std::array<uint8_t, 8> kSaltA = {0x08, 0x85, 0x6D, 0xAF, 0x7C, 0xF5, 0x81, 0x85};
inline constexpr std::array<uint8_t, 8> kSaltB = {0x08, 0x85, 0x6D, 0xAF, 0x7C, 0xF5, 0x81, 0x86};

// The public default network names; the key of a family's default name is its public key.
inline constexpr std::string_view kPublicAvName = "HomePlugAV";
inline constexpr std::string_view kPublicHp10Name = "HomePlug";

// The texts are hashed exactly as given: no terminator, case and dashes kept. Any
// normalisation (upper-casing a device password) is the caller's.
Key16 deriveNMK(std::string_view networkName);     // AV network membership key
Key16 deriveDAK(std::string_view devicePassword);  // AV device access key
// HomePlug 1.0 / Turbo key: the NEK from a network name, the DEK from a device password. Every
// byte has DES odd parity.
Key8 deriveHP10Key(std::string_view text);

// The AV network identifier an NMK announces in beacons: 52 bits of the NMK hashed five times
// with SHA-256, and the security level (0 simple connect, 1 secure) in bits 4..5 of the last
// byte.
NetworkId deriveNID(const Key16& nmk, uint8_t securityLevel = 0);

const Key16& publicAvKey();   // deriveNMK("HomePlugAV")
const Key8& publicHp10Key();  // deriveHP10Key("HomePlug")

// Upper-case hexadecimal without separators, the form keys take in logs and reports.
std::string keyHex(const uint8_t* key, size_t length);

}  // namespace corvel
