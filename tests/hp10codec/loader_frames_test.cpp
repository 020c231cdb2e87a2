// SPDX-License-Identifier: MIT
#include "hp10codec/loader_frames.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr Mac kLoaderHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr Mac kDevice{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x10};

Bytes bytesOf(const LoaderFrame& f) {
    return Bytes(f.bytes.begin(), f.bytes.begin() + long(f.length));
}
// Destination, source, Ethertype 0x887B, then `rest` from byte 14.
Bytes expected(Bytes rest) {
    Bytes f(14 + rest.size());
    std::copy(kDevice.begin(), kDevice.end(), f.begin());
    std::copy(kLoaderHost.begin(), kLoaderHost.end(), f.begin() + 6);
    f[12] = 0x88;
    f[13] = 0x7B;
    std::copy(rest.begin(), rest.end(), f.begin() + 14);
    return f;
}

TEST(LoaderFrames, CommandsAreBuiltByteForByte) {
    struct Case {
        const char* name;
        Bytes built;
        Bytes wanted;
    };
    const Case cases[] = {
        {"reset to loader", bytesOf(buildLoaderReset(kLoaderHost, kDevice)),
         expected({0x01, 0x12, 0x01, 0x67})},
        {"commit", bytesOf(buildLoaderCommand(kLoaderHost, kDevice, kLoaderCommit, 0x1B0)),
         expected({0x01, 0x10, 0x01, 0x82, 0x00, 0x04, 0x00, 0x00, 0x01, 0xB0, 0x00})},
        {"verify", bytesOf(buildLoaderCommand(kLoaderHost, kDevice, kLoaderVerify, 0x40)),
         expected({0x01, 0x10, 0x01, 0x84, 0x00, 0x04, 0x00, 0x00, 0x00, 0x40, 0x00})},
        {"checksum", bytesOf(buildLoaderChecksumQuery(kLoaderHost, kDevice, 0x100, 2050)),
         expected(
             {0x01, 0x10, 0x01, 0x83, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x02})},
        {"hardware reset", bytesOf(buildLoaderHardwareReset(kLoaderHost, kDevice)),
         expected({0x01, 0x10, 0x01, 0x7F, 0x00, 0x00})},
    };
    for (const Case& c : cases) EXPECT_EQ(c.built, c.wanted) << c.name;
}

TEST(LoaderFrames, AWriteBlockIsAlways1054BytesWithTheDataAtThirty) {
    const Bytes data{0xDE, 0xAD};
    const auto frame = buildLoaderWrite(kLoaderHost, kDevice, kSectionOption, 2048, data);
    ASSERT_TRUE(frame.has_value());
    const Bytes f = bytesOf(*frame);
    ASSERT_EQ(f.size(), 1054u);
    EXPECT_EQ(Bytes(f.begin() + 14, f.begin() + 32),
              (Bytes{0x01, 0x10, 0x01, 0x81, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x08,
                     0x00, 0x00, 0x02, 0xDE, 0xAD}));
    EXPECT_TRUE(std::all_of(f.begin() + 32, f.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_FALSE(buildLoaderWrite(kLoaderHost, kDevice, kModuleMacImage, 0, Bytes(1025)).has_value());
    EXPECT_TRUE(buildLoaderWrite(kLoaderHost, kDevice, kModuleMacImage, 0, Bytes(1024)).has_value());
}

// A response counts only when it is a loader entry addressed to the host and long enough for
// the fields its command has.
TEST(LoaderFrames, ResponsesAreReadWithinTheirLength) {
    Bytes reply(60, 0);
    std::copy(kLoaderHost.begin(), kLoaderHost.end(), reply.begin());
    std::copy(kDevice.begin(), kDevice.end(), reply.begin() + 6);
    reply[12] = 0x88;
    reply[13] = 0x7B;
    reply[14] = 1;
    reply[15] = 0x10;
    reply[17] = kLoaderChecksum;
    reply[20] = 0;
    reply[29] = 0x12;
    reply[30] = 0x34;
    reply[31] = 0x56;
    reply[32] = 0x78;
    auto r = parseLoaderResponse(reply, kLoaderHost);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->command, kLoaderChecksum);
    EXPECT_EQ(r->value, 0x12345678u);

    EXPECT_FALSE(parseLoaderResponse(reply, kDevice).has_value());  // not for this host
    EXPECT_FALSE(parseLoaderResponse(Bytes(reply.begin(), reply.begin() + 32), kLoaderHost).has_value());
    reply[17] = kLoaderWriteBlock;
    EXPECT_TRUE(parseLoaderResponse(Bytes(reply.begin(), reply.begin() + 21), kLoaderHost).has_value());
    EXPECT_FALSE(parseLoaderResponse(Bytes(reply.begin(), reply.begin() + 20), kLoaderHost).has_value());
    reply[15] = 0x12;
    EXPECT_FALSE(parseLoaderResponse(reply, kLoaderHost).has_value());
}

TEST(LoaderFrames, SectionChecksumCompletesTheLastWordWithZeros) {
    EXPECT_EQ(sectionChecksum(Bytes{}), 0xFFFFFFFFu);
    EXPECT_EQ(sectionChecksum(Bytes{0x01, 0x02, 0x03, 0x04}), ~0x04030201u);
    EXPECT_EQ(sectionChecksum(Bytes{0x01, 0x02, 0x03, 0x04, 0xAA}), ~(0x04030201u ^ 0x000000AAu));
    EXPECT_EQ(sectionChecksum(Bytes{0x01, 0x02, 0x03, 0x04, 0xAA, 0xBB, 0xCC}),
              ~(0x04030201u ^ 0x00CCBBAAu));
}

}  // namespace
}  // namespace corvel
