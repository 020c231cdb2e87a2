// SPDX-License-Identifier: MIT
#include "keys/derive.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>

namespace corvel {
namespace {

template <size_t N>
std::string hexOf(const std::array<uint8_t, N>& key) {
    return keyHex(key.data(), key.size());
}

// Expected keys come from an independent PBKDF1 (1000 rounds) over the published salts; the
// NMK of "HomePlugAV" is the published default network membership key.
TEST(DeriveKeys, KnownAnswers) {
    const struct {
        std::string text;
        const char* nmk;
        const char* hp10;
    } cases[] = {
        {"HomePlugAV", "50D3E4933F855B7040784DF815AA8DB7", "91B3FB6B588026BC"},
        // Names are case-sensitive: the default name in lower case is a private network.
        {"homeplugav", "D389130340BCD4AE0AF406D8AFCF80B1", nullptr},
        {"HomePlug", "EF02852D831365934886D6B56727A942", "46D613E0F84A764C"},
        // The shortest and longest network names derive like any other text...
        {"Home", "10117C34F112E6AA22F1BDB066404E38", "0270341C9DCDC2C8"},
        {"Our Network Name 24 char", "221E801B9A9F96B3EBEBA371388F4CB7", "DF51B3BFEA6E5BB0"},
        // ...and so does a text longer than one hash block.
        {std::string(100, 'x'), "79EDC169FBC7B8E29231EA9C8D138DA0", "F132E0AB4F3DE34C"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hexOf(deriveNMK(c.text)), c.nmk) << c.text;
        if (c.hp10 != nullptr) {
            EXPECT_EQ(hexOf(deriveHP10Key(c.text)), c.hp10) << c.text;
        }
    }
}

TEST(DeriveKeys, DeviceAccessKeyUsesSaltAAndKeepsDashes) {
    EXPECT_EQ(hexOf(deriveDAK("ABCD-EFGH-IJKL-MNOP")), "D9D4B37A5F73EBB5C1FF6310C28B8BFC");
    EXPECT_EQ(hexOf(deriveDAK("ABCDEFGHIJKLMNOP")), "3150C364EC09A8F73CD53A2DA1C73FE6");
    EXPECT_EQ(hexOf(deriveHP10Key("ABCD-EFGH-IJKL-MNOP")), "3D32FBA1671F9715");
    EXPECT_EQ(hexOf(deriveHP10Key("ABCDEFGHIJKLMNOP")), "6E0B7540F1EA38B3");
    // Same text, salts differing in the last byte: the DAK is not the NMK.
    EXPECT_EQ(hexOf(deriveDAK("HomePlugAV")), "689F074B8B0275A2710B0B5779AD1630");
}

// Expected identifiers from an independent SHA-256 chain over the NMK. The public network's NID
// is the one every AV adapter on the default key announces.
TEST(DeriveKeys, NetworkIdentifierCarriesFiftyTwoBitsAndTheSecurityLevel) {
    const struct {
        const char* name;
        uint8_t level;
        const char* nid;
    } cases[] = {
        {"HomePlugAV", 0, "B0F2E695666B03"},
        {"HomePlugAV", 1, "B0F2E695666B13"},
        {"DemoHome", 0, "955271477A560D"},
        // Only two bits of level exist: higher bits must not spill into the identifier.
        {"DemoHome", 0xFD, "955271477A561D"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hexOf(deriveNID(deriveNMK(c.name), c.level)), c.nid) << c.name << int(c.level);
    }
}

TEST(DeriveKeys, PublicKeysAreTheDefaultNamesKeys) {
    EXPECT_EQ(hexOf(publicAvKey()), "50D3E4933F855B7040784DF815AA8DB7");
    EXPECT_EQ(hexOf(publicHp10Key()), "46D613E0F84A764C");
    EXPECT_EQ(publicAvKey(), deriveNMK(kPublicAvName));
    EXPECT_EQ(publicHp10Key(), deriveHP10Key(kPublicHp10Name));
}

// The raw MD5 PBKDF1 output for "HomePlug" is 47 D6 12 E0 F8 4A 76 4C: 0x47 and 0x12 need their
// bit 0 flipped, the other bytes already have odd parity and must keep it.
TEST(DeriveKeys, HomePlug10KeyHasOddParityAndKeepsBitsOneToSeven) {
    const Key8 raw = {0x47, 0xD6, 0x12, 0xE0, 0xF8, 0x4A, 0x76, 0x4C};
    const Key8 key = deriveHP10Key("HomePlug");
    for (size_t i = 0; i < key.size(); ++i) {
        EXPECT_EQ(key[i] & 0xFE, raw[i] & 0xFE) << i;
        EXPECT_EQ(std::popcount(unsigned(key[i])) % 2, 1) << i;
    }
    for (const char* text : {"HomePlugAV", "ABCD-EFGH-IJKL-MNOP", "Home", "a", ""}) {
        for (uint8_t byte : deriveHP10Key(text)) {
            EXPECT_EQ(std::popcount(unsigned(byte)) % 2, 1) << text;
        }
    }
}

TEST(KeyHex, UpperCaseWithoutSeparators) {
    const uint8_t bytes[] = {0x00, 0x0F, 0xA0, 0xFF, 0x5c};
    EXPECT_EQ(keyHex(bytes, sizeof bytes), "000FA0FF5C");
    EXPECT_EQ(keyHex(bytes, 0), "");
}

}  // namespace
}  // namespace corvel
