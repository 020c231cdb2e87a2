// SPDX-License-Identifier: MIT
#include "avcodec/image_checksum.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/avcodec/av_test_support.h"

namespace corvel {
namespace {

TEST(ImageChecksum, KnownAnswers) {
    struct Case {
        std::vector<uint8_t> bytes;
        uint32_t seed;
        uint32_t expected;
    };
    const Case cases[] = {
        {{}, 0, 0xFFFFFFFF},
        {{}, 0x12345678, 0xEDCBA987},
        // Words are little-endian: these bytes are the word 0x12345678.
        {{0x78, 0x56, 0x34, 0x12}, 0, 0xEDCBA987},
        {{0x01, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0x80}, 0, 0x7FFFFFFC},
        {{0x01, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0x80}, 0x0000000F, 0x7FFFFFF3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(imageChecksum(c.bytes.data(), c.bytes.size() / 4, c.seed), c.expected)
            << c.bytes.size() << " bytes, seed " << c.seed;
    }
}

TEST(ImageChecksum, StoredChecksumsCheckToZero) {
    // A header that stores the checksum of its other words in its last word.
    std::vector<uint8_t> header = test::pattern(44, 0x21);
    test::sealHeader(header.data());
    EXPECT_EQ(imageChecksum(header.data(), 11, 0), 0u);
    header[5] ^= 0x40;
    EXPECT_NE(imageChecksum(header.data(), 11, 0), 0u);

    // A chunk is checked with its stored checksum as the seed.
    const std::vector<uint8_t> chunk = test::pattern(1024, 0x03);
    const uint32_t stored = imageChecksum(chunk.data(), 256, 0);
    EXPECT_EQ(stored, test::referenceChecksum(chunk.data(), 256));
    EXPECT_EQ(imageChecksum(chunk.data(), 256, stored), 0u);
}

TEST(ImageChecksum, OnlyWholeWordsAreCovered) {
    // 453 bytes: 113 words and one trailing byte that no checksum sees.
    std::vector<uint8_t> chunk = test::pattern(453, 0x77);
    const uint32_t before = imageChecksum(chunk.data(), chunk.size() / 4, 0);
    chunk[452] ^= 0xFF;
    EXPECT_EQ(imageChecksum(chunk.data(), chunk.size() / 4, 0), before);
    chunk[451] ^= 0xFF;
    EXPECT_NE(imageChecksum(chunk.data(), chunk.size() / 4, 0), before);
}

}  // namespace
}  // namespace corvel
