// SPDX-License-Identifier: MIT
#include "avcodec/pib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/mac.h"

namespace corvel {
namespace {

constexpr size_t kRecord0 = 784;
constexpr size_t kRecord1 = 884;
constexpr size_t kBlock0 = kRecord0 + 76;
constexpr size_t kBlock1 = kRecord1 + 76;

const Mac kImageMac{0x00, 0xB0, 0x52, 0x12, 0x34, 0x56};

// The smallest record that passes: no entries, a zero block with its two ranged values at
// their lowest.
void putMinimalRecord(std::vector<uint8_t>& pib, size_t record) {
    put32le(&pib[record + 76 + 4], 10000);
    put16le(&pib[record + 76 + 12], 1);
}

// A 7992-byte 3.3 PIB that passes every content check, with the ranged values at their limits
// wherever one step beyond must fail.
std::vector<uint8_t> validPib() {
    std::vector<uint8_t> pib(kPibCheckedLength, 0);
    pib[0] = 3;
    pib[1] = 3;
    put16le(&pib[4], 7992);
    std::copy(kImageMac.begin(), kImageMac.end(), pib.begin() + 12);
    for (size_t i = 0; i < 16; ++i) pib[100 + i] = uint8_t(0xA0 + i);

    pib[244] = 3;
    pib[245] = 2;
    pib[246] = 2;
    pib[254] = 0x1F;  // bits 4-5 = 1, bits 0-3 free
    pib[256] = 1;
    pib[257] = 1;

    pib[268] = 1;
    pib[269] = 0x01;
    pib[270] = 0xFE;
    pib[277] = 2;  // two 7-byte entries from 278
    pib[278] = 0x01;
    pib[279] = 0xFE;
    pib[285] = 0xFE;
    pib[286] = 0x00;

    put32le(&pib[556], 2);
    // Record 0: two entries, every block field at the limit that still passes.
    pib[kRecord0 + 1] = 1;
    put16le(&pib[kRecord0 + 2], 2);
    put32le(&pib[kRecord0 + 4], 15);
    put32le(&pib[kRecord0 + 8], 1);
    put32le(&pib[kRecord0 + 28], 0xE2);
    put32le(&pib[kRecord0 + 32], 0);
    pib[kBlock0 + 0] = 3;
    pib[kBlock0 + 1] = 3;
    pib[kBlock0 + 2] = 1;
    pib[kBlock0 + 3] = 1;
    put32le(&pib[kBlock0 + 4], 10000);
    put16le(&pib[kBlock0 + 12], 10000);
    pib[kBlock0 + 14] = 1;
    pib[kBlock0 + 15] = 3;
    // Record 1: block byte 0 is 2, which frees byte 15.
    pib[kBlock1 + 0] = 2;
    put32le(&pib[kBlock1 + 4], 2000000);
    put16le(&pib[kBlock1 + 12], 1);
    pib[kBlock1 + 15] = 9;

    pib[2384] = 8;
    put32le(&pib[2572], 1);
    put32le(&pib[7824], 20);
    pib[7828] = 1;
    pib[7829] = 5;
    pib[7830] = 5;
    return pib;
}

class PibTest : public ::testing::Test {
protected:
    std::vector<uint8_t> pib = validPib();
    PibImage image;
};

TEST_F(PibTest, FixturePassesEveryCheck) {
    EXPECT_EQ(image.pibOpen(pib), kPibDone);
    EXPECT_TRUE(image.contentsValid());
}

struct Write {
    size_t offset;
    int width;  // 1, 2 or 4 bytes, little-endian
    uint32_t value;
};

struct Mutation {
    std::string name;
    std::vector<Write> writes;
    int code;
};

void apply(std::vector<uint8_t>& pib, const std::vector<Write>& writes) {
    for (const Write& w : writes) {
        if (w.width == 1) pib[w.offset] = uint8_t(w.value);
        if (w.width == 2) put16le(&pib[w.offset], uint16_t(w.value));
        if (w.width == 4) put32le(&pib[w.offset], w.value);
    }
}

TEST_F(PibTest, EachCheckRefusesItsOwnFaultAndAcceptsItsLimits) {
    const Mutation mutations[] = {
        {"version 3.2", {{1, 1, 2}}, kPibOtherVersion},
        {"version 4.3", {{0, 1, 4}}, kPibOtherVersion},
        {"length 7991", {{4, 2, 7991}}, kPibBadLength},
        {"length 7993", {{4, 2, 7993}}, kPibBadLength},
        {"length field is 16 bits", {{6, 1, 0xFF}}, kPibDone},

        {"1: group MAC", {{12, 1, 0x01}}, kPibContentsInvalid},
        {"1: other bits free", {{12, 1, 0xFE}}, kPibDone},

        {"2: byte 244 is 4", {{244, 1, 4}}, kPibContentsInvalid},
        {"2: byte 245 is 3", {{245, 1, 3}}, kPibContentsInvalid},
        {"2: byte 246 is 3", {{246, 1, 3}}, kPibContentsInvalid},

        {"3: bits 4-5 read 2", {{254, 1, 0x20}}, kPibContentsInvalid},
        {"3: bit 6", {{254, 1, 0x40}}, kPibContentsInvalid},
        {"3: bit 7", {{254, 1, 0x80}}, kPibContentsInvalid},

        {"4: byte 257 is 2", {{257, 1, 2}}, kPibContentsInvalid},
        {"4: byte 257 free unless 256 is 1", {{256, 1, 2}, {257, 1, 9}}, kPibDone},

        {"5: byte 269 is 0", {{269, 1, 0x00}}, kPibContentsInvalid},
        {"5: byte 269 is 0xFF", {{269, 1, 0xFF}}, kPibContentsInvalid},
        {"5: byte 270 bit 0", {{270, 1, 0x01}}, kPibContentsInvalid},
        {"5: entry 1 first byte 0", {{285, 1, 0x00}}, kPibContentsInvalid},
        {"5: entry 1 first byte 0xFF", {{285, 1, 0xFF}}, kPibContentsInvalid},
        {"5: entry 1 second byte bit 0", {{286, 1, 0x01}}, kPibContentsInvalid},
        {"5: entries beyond the count are not checked", {{277, 1, 1}, {285, 1, 0}}, kPibDone},
        {"5: nothing checked unless byte 268 is 1",
         {{268, 1, 2}, {269, 1, 0}, {270, 1, 1}, {285, 1, 0}},
         kPibDone},

        {"record: byte 1 is 2", {{kRecord0 + 1, 1, 2}}, kPibContentsInvalid},
        {"record: entry kind 16", {{kRecord0 + 4, 4, 16}}, kPibContentsInvalid},
        {"record: entry kind 0xE0", {{kRecord0 + 4, 4, 0xE0}}, kPibContentsInvalid},
        {"record: entry kind 0xE1", {{kRecord0 + 4, 4, 0xE1}}, kPibContentsInvalid},
        {"record: entry kind 0xE3", {{kRecord0 + 4, 4, 0xE3}}, kPibContentsInvalid},
        {"record: entry kind 0xE2", {{kRecord0 + 4, 4, 0xE2}}, kPibDone},
        {"record: entry kind is a 32-bit word", {{kRecord0 + 7, 1, 1}}, kPibContentsInvalid},
        {"record: entry word 4 is 2", {{kRecord0 + 8, 4, 2}}, kPibContentsInvalid},
        {"record: second entry checked", {{kRecord0 + 28, 4, 0xE0}}, kPibContentsInvalid},
        {"record: entries beyond the count are not checked",
         {{kRecord0 + 2, 2, 1}, {kRecord0 + 28, 4, 0xE0}},
         kPibDone},
        {"block: byte 0 is 4", {{kBlock0 + 0, 1, 4}}, kPibContentsInvalid},
        {"block: byte 1 is 4", {{kBlock0 + 1, 1, 4}}, kPibContentsInvalid},
        {"block: byte 1 free when byte 0 is 0",
         {{kBlock0 + 0, 1, 0}, {kBlock0 + 1, 1, 4}},
         kPibDone},
        {"block: byte 2 is 2", {{kBlock0 + 2, 1, 2}}, kPibContentsInvalid},
        {"block: byte 3 is 2", {{kBlock0 + 3, 1, 2}}, kPibContentsInvalid},
        {"block: word 4 is 9999", {{kBlock0 + 4, 4, 9999}}, kPibContentsInvalid},
        {"block: word 4 is 2000000", {{kBlock0 + 4, 4, 2000000}}, kPibDone},
        {"block: word 4 is 2000001", {{kBlock0 + 4, 4, 2000001}}, kPibContentsInvalid},
        {"block: value 12 is 0", {{kBlock0 + 12, 2, 0}}, kPibContentsInvalid},
        {"block: value 12 is 1", {{kBlock0 + 12, 2, 1}}, kPibDone},
        {"block: value 12 is 10001", {{kBlock0 + 12, 2, 10001}}, kPibContentsInvalid},
        {"block: byte 14 is 2", {{kBlock0 + 14, 1, 2}}, kPibContentsInvalid},
        {"block: byte 15 is 4", {{kBlock0 + 15, 1, 4}}, kPibContentsInvalid},
        {"block: byte 15 free when byte 0 is 2",
         {{kBlock0 + 0, 1, 2}, {kBlock0 + 15, 1, 4}},
         kPibDone},
        {"second record checked", {{kBlock1 + 0, 1, 1}}, kPibContentsInvalid},
        {"records beyond the count are not checked",
         {{556, 4, 1}, {kBlock1 + 4, 4, 9999}},
         kPibDone},

        {"7: byte 2384 is 9", {{2384, 1, 9}}, kPibContentsInvalid},
        {"8: word 2572 is 2", {{2572, 4, 2}}, kPibContentsInvalid},
        {"8: word 2572 is a 32-bit word", {{2575, 1, 1}}, kPibContentsInvalid},
        {"9: word 7824 is 19", {{7824, 4, 19}}, kPibContentsInvalid},
        {"9: word 7824 is 180", {{7824, 4, 180}}, kPibDone},
        {"9: word 7824 is 181", {{7824, 4, 181}}, kPibContentsInvalid},
        {"9: word 7824 is a 32-bit word", {{7827, 1, 1}}, kPibContentsInvalid},
        {"10: byte 7829 above 7830", {{7829, 1, 6}}, kPibContentsInvalid},
        {"10: free unless byte 7828 is 1", {{7828, 1, 2}, {7829, 1, 6}}, kPibDone},
    };
    for (const Mutation& m : mutations) {
        std::vector<uint8_t> bytes = validPib();
        apply(bytes, m.writes);
        PibImage fresh;
        EXPECT_EQ(fresh.pibOpen(bytes), m.code) << m.name;
        EXPECT_EQ(fresh.contentsValid(), m.code == kPibDone) << m.name;
    }
}

TEST_F(PibTest, RecordCountZeroSkipsTheRecordsButNotWhatFollows) {
    put32le(&pib[556], 0);
    pib[kRecord0 + 1] = 2;
    EXPECT_EQ(image.pibOpen(pib), kPibDone);
    pib[2384] = 9;
    EXPECT_EQ(image.pibOpen(pib), kPibContentsInvalid);
}

// The image vector is exactly 7992 bytes, so a walk past its end is an over-read that the
// sanitizer build reports.
TEST_F(PibTest, CountsReachingPastTheEndFailWithoutReadingThere) {
    // 72 records end at byte 7984; a 73rd would end at 8084.
    for (size_t i = 2; i < 72; ++i) putMinimalRecord(pib, kRecord0 + i * 100);
    put32le(&pib[556], 72);
    EXPECT_EQ(image.pibOpen(pib), kPibDone);
    put32le(&pib[556], 73);
    EXPECT_EQ(image.pibOpen(pib), kPibContentsInvalid);
    put32le(&pib[556], 0xFFFFFFFF);
    EXPECT_EQ(image.pibOpen(pib), kPibContentsInvalid);

    // The entries of the last record start at 7888 and are checked before its block; with
    // a zero block word the first five of them pass, so only the count bound stops the walk.
    const size_t last = kRecord0 + 71 * 100;
    put32le(&pib[556], 72);
    put16le(&pib[last + 2], 0xFFFF);
    put32le(&pib[last + 76 + 4], 0);
    EXPECT_EQ(image.pibOpen(pib), kPibContentsInvalid);
}

TEST_F(PibTest, ImageShorterThanItsCheckedLengthFailsTheContentChecks) {
    // Every byte the checks read lies below 7831, so only the size tells this image apart.
    std::vector<uint8_t> cut(pib.begin(), pib.end() - 1);
    EXPECT_EQ(image.pibOpen(cut), kPibContentsInvalid);
    EXPECT_FALSE(image.contentsValid());
}

TEST_F(PibTest, ImageTooShortForItsFixedFieldsIsNoImage) {
    ASSERT_EQ(image.pibOpen(pib), kPibDone);
    std::vector<uint8_t> tiny(pib.begin(), pib.begin() + 115);
    tiny[0] = 2;  // a version whose MAC and NMK would be readable
    const std::vector<uint8_t> tinyBefore = tiny;
    const std::vector<uint8_t> pibBefore = pib;
    std::array<uint8_t, 16> nmk{};

    for (std::span<uint8_t> bytes :
         {std::span<uint8_t>(), std::span<uint8_t>(tiny), std::span<uint8_t>(tiny).first(1)}) {
        EXPECT_EQ(image.pibOpen(bytes), kPibNoImage) << bytes.size();
        EXPECT_FALSE(image.contentsValid());
        // The image opened before is dropped too, so nothing writes into it any more.
        EXPECT_EQ(image.pibSetMac(Mac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}), kPibNoImage);
        EXPECT_EQ(image.pibGetNmk(nmk), kPibNoImage);
        EXPECT_EQ(image.pibUpdateChecksum(bytes), kPibNoImage);
    }
    EXPECT_EQ(tiny, tinyBefore);
    EXPECT_EQ(pib, pibBefore);
    EXPECT_EQ(nmk, (std::array<uint8_t, 16>{}));

    std::vector<uint8_t> smallest(pib.begin(), pib.begin() + 116);
    smallest[0] = 2;
    EXPECT_EQ(image.pibOpen(smallest), kPibOtherVersion);
    EXPECT_EQ(image.pibGetNmk(nmk), kPibDone);
    EXPECT_EQ(nmk[15], 0xAF);
}

TEST_F(PibTest, VersionGatesMacAndNmkAccess) {
    struct Case {
        uint8_t major;
        uint8_t minor;
        int openCode;
        int accessCode;
    };
    const Case cases[] = {
        {3, 3, kPibDone, kPibDone},
        {2, 0, kPibOtherVersion, kPibDone},
        {1, 4, kPibOtherVersion, kPibDone},
        {1, 3, kPibOtherVersion, kPibVersionTooOld},
        {0, 9, kPibOtherVersion, kPibVersionTooOld},
    };
    const Mac newMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = validPib();
        bytes[0] = c.major;
        bytes[1] = c.minor;
        bytes[244] = 4;  // contents that would fail are never looked at in other versions
        if (c.major == 3) bytes[244] = 3;
        PibImage pibImage;
        EXPECT_EQ(pibImage.pibOpen(bytes), c.openCode) << int(c.major) << "." << int(c.minor);

        std::array<uint8_t, 16> nmk{};
        EXPECT_EQ(pibImage.pibGetNmk(nmk), c.accessCode);
        EXPECT_EQ(pibImage.pibSetMac(newMac), c.accessCode);
        const bool allowed = c.accessCode == kPibDone;
        EXPECT_EQ(nmk[0], allowed ? 0xA0 : 0x00);
        EXPECT_EQ(nmk[15], allowed ? 0xAF : 0x00);
        EXPECT_TRUE(std::equal(newMac.begin(), newMac.end(), bytes.begin() + 12) == allowed);
    }
}

TEST_F(PibTest, SetMacRefusesGroupAndReservedAddresses) {
    struct Case {
        Mac mac;
        int code;
    };
    const Case cases[] = {
        {{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}, kPibMacRefused},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, kPibMacRefused},
        {{0x00, 0xB0, 0x52, 0x00, 0x00, 0x01}, kPibMacRefused},
        {{0x00, 0xB0, 0x52, 0x00, 0x00, 0x02}, kPibMacRefused},
        {{0x00, 0xB0, 0x52, 0x00, 0x00, 0x03}, kPibMacRefused},
        {{0x00, 0xB0, 0x52, 0x00, 0x00, 0x04}, kPibDone},
        {{0x02, 0xB0, 0x52, 0x00, 0x00, 0x01}, kPibDone},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = validPib();
        const std::vector<uint8_t> before = bytes;
        PibImage pibImage;
        ASSERT_EQ(pibImage.pibOpen(bytes), kPibDone);
        EXPECT_EQ(pibImage.pibSetMac(c.mac), c.code) << formatMac(c.mac);
        std::vector<uint8_t> expected = before;
        ASSERT_GE(expected.size(), 18u);
        if (c.code == kPibDone) std::copy(c.mac.begin(), c.mac.end(), expected.begin() + 12);
        EXPECT_EQ(bytes, expected) << formatMac(c.mac);
    }
}

uint32_t xorOfWords(const std::vector<uint8_t>& bytes, size_t words) {
    uint32_t sum = 0;
    for (size_t i = 0; i < words; ++i) sum ^= get32le(&bytes[4 * i]);
    return sum;
}

TEST_F(PibTest, UpdateChecksumCoversTheWordsOfTheLengthField) {
    put32le(&pib[8], 0x12345678);  // a stale checksum must not leak into the new one
    pib[7991] = 0x5A;
    const std::vector<uint8_t> before = pib;
    EXPECT_EQ(image.pibUpdateChecksum(pib), kPibDone);
    EXPECT_EQ(xorOfWords(pib, 1998), 0xFFFFFFFFu);
    std::vector<uint8_t> onlyChecksumChanged = before;
    std::copy(pib.begin() + 8, pib.begin() + 12, onlyChecksumChanged.begin() + 8);
    EXPECT_EQ(pib, onlyChecksumChanged);

    // A version 2.0 image of 1002 bytes covers 250 words; the odd two bytes stay outside.
    std::vector<uint8_t> other(1002, 0x11);
    other[0] = 2;
    other[1] = 0;
    put16le(&other[4], 1002);
    EXPECT_EQ(image.pibUpdateChecksum(other), kPibOtherVersion);
    EXPECT_EQ(xorOfWords(other, 250), 0xFFFFFFFFu);
    const uint32_t checksum = get32le(&other[8]);
    other[1000] = 0x99;
    other[1001] = 0x99;
    image.pibUpdateChecksum(other);
    EXPECT_EQ(get32le(&other[8]), checksum);
}

TEST_F(PibTest, UpdateChecksumStillWritesWhenContentsFail) {
    pib[244] = 4;
    EXPECT_EQ(image.pibUpdateChecksum(pib), kPibContentsInvalid);
    EXPECT_EQ(xorOfWords(pib, 1998), 0xFFFFFFFFu);
}

TEST_F(PibTest, UpdateChecksumRefusesALengthItCannotSumAndChangesNothing) {
    struct Case {
        std::string name;
        size_t size;
        uint8_t major;
        uint16_t length;
        int code;
    };
    const Case cases[] = {
        {"3.3 length other than 7992", 8000, 3, 8000, kPibBadLength},
        {"length beyond the bytes given", 1000, 2, 1004, kPibBadLength},
        {"length above 16384", 16388, 2, 16385, kPibBadLength},
        {"length of exactly 16384", 16384, 2, 16384, kPibOtherVersion},
        {"length of exactly the bytes given", 1000, 2, 1000, kPibOtherVersion},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(c.size, 0x3C);
        bytes[0] = c.major;
        bytes[1] = c.major == 3 ? 3 : 0;
        put16le(&bytes[4], c.length);
        const std::vector<uint8_t> before = bytes;
        PibImage pibImage;
        EXPECT_EQ(pibImage.pibUpdateChecksum(bytes), c.code) << c.name;
        if (c.code == kPibBadLength) {
            EXPECT_EQ(bytes, before) << c.name;
        } else {
            EXPECT_EQ(xorOfWords(bytes, c.length / 4), 0xFFFFFFFFu) << c.name;
        }
    }
}

TEST(PibCodeMeaning, NamesEveryCodeAndOnlyThose) {
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {
        {0, "layout and contents valid"},
        {2, "a content check failed"},
        {3, "the version is not 3.3; nothing else was checked"},
        {5, "no image"},
        {6, "the version is below 1.4"},
        {7, "the length field is not 7992"},
        {8, "the MAC address is refused"},
        {1, "unknown code"},
        {4, "unknown code"},
        {9, "unknown code"},
        {-1, "unknown code"},
    };
    for (const Case& c : cases) EXPECT_STREQ(pibCodeMeaning(c.code), c.text) << c.code;
}

}  // namespace
}  // namespace corvel
