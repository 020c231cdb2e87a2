// SPDX-License-Identifier: MIT
#include "keys/derive.h"

#include <bit>
#include <cstring>

#include "keys/md5.h"
#include "keys/sha256.h"

namespace corvel {

namespace {

// PBKDF1 as the HomePlug standards use it: D = H(text || salt), then 999 times D = H(D) over the
// whole previous digest; the key is the leading bytes of the last D.
template <class Hash, size_t KeyLength>
std::array<uint8_t, KeyLength> pbkdf1(std::string_view text, const std::array<uint8_t, 8>& salt) {
    Hash hash;
    hash.update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    hash.update(salt.data(), salt.size());
    auto digest = hash.finish();
    for (int i = 1; i < 1000; ++i) {
        hash.update(digest.data(), digest.size());
        digest = hash.finish();
    }
    static_assert(KeyLength <= std::tuple_size_v<decltype(digest)>);
    std::array<uint8_t, KeyLength> key{};
    std::memcpy(key.data(), digest.data(), KeyLength);
    return key;
}

// DES keys carry a parity bit in bit 0: it makes the count of one bits in the byte odd.
uint8_t withOddParity(uint8_t byte) {
    const bool evenAbove = std::popcount(unsigned(byte & 0xFE)) % 2 == 0;
    return evenAbove ? uint8_t(byte | 0x01) : uint8_t(byte & 0xFE);
}

}  // namespace

Key16 deriveNMK(std::string_view networkName) {
    return pbkdf1<Sha256, 16>(networkName, kSaltB);
}

Key16 deriveDAK(std::string_view devicePassword) {
    return pbkdf1<Sha256, 16>(devicePassword, kSaltA);
}

Key8 deriveHP10Key(std::string_view text) {
    Key8 key = pbkdf1<Md5, 8>(text, kSaltA);
    for (uint8_t& byte : key) byte = withOddParity(byte);
    return key;
}

NetworkId deriveNID(const Key16& nmk, uint8_t securityLevel) {
    Sha256 hash;
    hash.update(nmk.data(), nmk.size());
    auto digest = hash.finish();
    for (int i = 1; i < 5; ++i) {
        hash.update(digest.data(), digest.size());
        digest = hash.finish();
    }
    NetworkId nid{};
    std::memcpy(nid.data(), digest.data(), nid.size());
    // The last byte keeps only its high nibble's 4 bits (bits 48..51), moved down.
    nid[6] = uint8_t((nid[6] >> 4) | (securityLevel & 0x03) << 4);
    return nid;
}

const Key16& publicAvKey() {
    static const Key16 key = deriveNMK(kPublicAvName);
    return key;
}

const Key8& publicHp10Key() {
    static const Key8 key = deriveHP10Key(kPublicHp10Name);
    return key;
}

std::string keyHex(const uint8_t* key, size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * length);
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[key[i] >> 4];
        text += kDigits[key[i] & 0x0F];
    }
    return text;
}

}  // namespace corvel
