// SPDX-License-Identifier: MIT
#include "sim/pib.h"

#include <gtest/gtest.h>

#include "platform/bytes.h"

namespace corvel::sim {
namespace {

const Mac kImageMac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x10};
const Key16 kNmk{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// The content checks a host runs on a 3.3 image, numbered as it numbers them; 0 when all pass.
// Check 6 walks the records from offset 784: the image must have none (word 556 = 0).
int firstFailedCheck(const std::vector<uint8_t>& p) {
    if ((p[12] & 0x01) != 0) return 1;
    if (p[244] >= 4 || p[245] >= 3 || p[246] >= 3) return 2;
    if (((p[254] >> 4) & 0x03) >= 2 || (p[254] & 0xC0) != 0) return 3;
    if (p[256] == 1 && p[257] >= 2) return 4;
    if (p[268] == 1) return 5;  // no neighbour entries in these images
    if (get32le(&p[556]) != 0) return 6;
    if (p[2384] > 8) return 7;
    if (get32le(&p[2572]) >= 2) return 8;
    const uint32_t ranged = get32le(&p[7824]);
    if (ranged < 20 || ranged > 180) return 9;
    if (p[7828] == 1 && p[7829] > p[7830]) return 10;
    return 0;
}

uint32_t xorOfWords(const std::vector<uint8_t>& bytes) {
    uint32_t x = 0;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) x ^= get32le(&bytes[i]);
    return x;
}

TEST(Pib, BuiltImageCarriesItsFieldsAndPassesTheContentChecks) {
    const std::vector<uint8_t> pib = buildPib(kImageMac, kNmk, 3, 3);
    ASSERT_EQ(pib.size(), 7992u);
    EXPECT_EQ(pib[0], 3);
    EXPECT_EQ(pib[1], 3);
    EXPECT_EQ(get16le(&pib[4]), 7992);
    EXPECT_EQ(std::vector<uint8_t>(pib.begin() + 12, pib.begin() + 18),
              std::vector<uint8_t>(kImageMac.begin(), kImageMac.end()));
    EXPECT_EQ(std::vector<uint8_t>(pib.begin() + 100, pib.begin() + 116),
              std::vector<uint8_t>(kNmk.begin(), kNmk.end()));
    EXPECT_EQ(firstFailedCheck(pib), 0);
    // All 1998 words, the stored checksum included, XOR to all ones.
    EXPECT_EQ(xorOfWords(pib), 0xFFFFFFFFu);
}

TEST(Pib, OtherVersionsAreStoredAsAsked) {
    for (auto [major, minor] : {std::pair{2, 0}, std::pair{1, 3}}) {
        const std::vector<uint8_t> pib = buildPib(kImageMac, kNmk, uint8_t(major), uint8_t(minor));
        EXPECT_EQ(pib[0], major);
        EXPECT_EQ(pib[1], minor);
        EXPECT_EQ(xorOfWords(pib), 0xFFFFFFFFu);
    }
}

TEST(Pib, NewNmkReplacesTheOldOneAndKeepsTheChecksumRight) {
    std::vector<uint8_t> pib = buildPib(kImageMac, kNmk, 3, 3);
    const std::vector<uint8_t> before = pib;
    Key16 other{};
    other.fill(0xA5);
    storePibNmk(pib, other);
    EXPECT_EQ(std::vector<uint8_t>(pib.begin() + 100, pib.begin() + 116),
              std::vector<uint8_t>(other.begin(), other.end()));
    EXPECT_EQ(xorOfWords(pib), 0xFFFFFFFFu);
    EXPECT_NE(get32le(&pib[8]), get32le(&before[8]));
    // Nothing else moved.
    for (size_t i = 0; i < pib.size(); ++i) {
        const bool keyOrChecksum = (i >= 100 && i < 116) || (i >= 8 && i < 12);
        if (!keyOrChecksum) {
            ASSERT_EQ(pib[i], before[i]) << i;
        }
    }
}

TEST(Pib, ChecksumCoversWholeWordsOnly) {
    const std::vector<uint8_t> words = {0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0xFF};
    EXPECT_EQ(complementedWordXor(words.data(), words.size()), ~0x00000101u);
    EXPECT_EQ(complementedWordXor(words.data(), 0), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace corvel::sim
