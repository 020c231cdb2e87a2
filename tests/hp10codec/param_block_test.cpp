// SPDX-License-Identifier: MIT
#include "hp10codec/param_block.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;

const Mac kReplyHost{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
const Mac kLocal{0x00, 0xB0, 0x52, 0x00, 0x00, 0x42};
const Hp10Key kSetKey{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

// A block whose every byte tells its offset: 0xB0 + offset.
std::array<uint8_t, kHp10ParamBlockSize> numberedBlock() {
    std::array<uint8_t, kHp10ParamBlockSize> block{};
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(0xB0 + i);
    return block;
}

// The local device's parameter reply: header, one entry 19 33, the copy, the block.
Bytes paramReply(uint8_t copy) {
    Bytes frame = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55,  // to the host
                   0x00, 0xB0, 0x52, 0x00, 0x00, 0x42,  // from the local device
                   0x88, 0x7B, 0x01, 0x19, 0x33, copy};
    const auto block = numberedBlock();
    frame.insert(frame.end(), block.begin(), block.end());
    return frame;
}

TEST(Hp10ParamReply, TheBlockIsReadWithTheCopyItIs) {
    for (const uint8_t copy : {kParamStoredCopy, kParamWorkingCopy}) {
        const Bytes frame = paramReply(copy);
        ASSERT_EQ(frame.size(), 68u);
        const std::optional<Hp10ParamReply> reply = readParamReply(frame);
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->copy, copy);
        const auto block = numberedBlock();
        EXPECT_TRUE(std::equal(reply->block.begin(), reply->block.end(), block.begin()));
        EXPECT_EQ(reply->block.data(), frame.data() + 18);
    }
}

TEST(Hp10ParamReply, AnyOtherFrameIsNone) {
    struct Case {
        const char* name;
        size_t at;  // the byte changed, or the length cut to when `cut`
        uint8_t value;
        bool cut;
    };
    const Case cases[] = {
        {"an AV frame", 13, 0xE1, false},
        {"another entry type", 15, 0x1A, false},
        {"the parameter request's length", 16, 0x0F, false},
        {"the block one byte short", 67, 0, true},
        {"the header only", 15, 0, true},
        {"nothing", 0, 0, true},
    };
    for (const Case& c : cases) {
        Bytes frame = paramReply(kParamStoredCopy);
        if (c.cut)
            frame.resize(c.at);
        else
            frame[c.at] = c.value;
        EXPECT_FALSE(readParamReply(frame).has_value()) << c.name;
    }
    // A frame longer than the block (padding) is still a reply.
    Bytes padded = paramReply(kParamStoredCopy);
    padded.resize(80, 0);
    EXPECT_TRUE(readParamReply(padded).has_value());
}

// P1 and P2 are the block's own bytes 23 and 24: the host bit goes on P1, the forwarding bit on
// P2 only when asked for.
TEST(Hp10ParamBytes, TheBlocksParametersWithTheHostsBits) {
    std::array<uint8_t, kHp10ParamBlockSize> block{};
    block[kBlockParams] = 0x05;
    block[kBlockParams + 1] = 0x02;
    block[kBlockParams + 2] = 0x77;  // P3 of the block is not sent back

    const Hp10ParamBytes plain = hostParamBytes(block, false, 0x01);
    EXPECT_EQ(plain.p1, 0x45);
    EXPECT_EQ(plain.p2, 0x02);
    EXPECT_EQ(plain.p3, 0x01);

    const Hp10ParamBytes forwarding = hostParamBytes(block, true, 0x00);
    EXPECT_EQ(forwarding.p1, 0x45);
    EXPECT_EQ(forwarding.p2, 0x03);
    EXPECT_EQ(forwarding.p3, 0x00);

    // Bits already set stay set.
    block[kBlockParams] = 0x40;
    block[kBlockParams + 1] = 0x01;
    const Hp10ParamBytes set = hostParamBytes(block, true, 0x00);
    EXPECT_EQ(set.p1, 0x40);
    EXPECT_EQ(set.p2, 0x01);
}

TEST(Hp10KeyOperationFrame, WithAndWithoutTheParameterEntry) {
    const Hp10Frame withParams = buildKeyOperationFrame(kReplyHost, kBroadcastMac, 0x01, kSetKey,
                                                        Hp10ParamBytes{0x45, 0x03, 0x01});
    const Bytes expectedWith = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // broadcast
                                0x02, 0x11, 0x22, 0x33, 0x44, 0x55,  // the host
                                0x88, 0x7B, 0x02,                    // two entries
                                0x04, 0x09, 0x01,                    // set key, key select 1
                                0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                0x08, 0x1F, 0x03, 0x45, 0x03, 0x01};  // P1..P3
    ASSERT_EQ(withParams.length, 31u);
    EXPECT_EQ(Bytes(withParams.bytes.begin(), withParams.bytes.begin() + 31), expectedWith);

    const Hp10Frame alone = buildKeyOperationFrame(kReplyHost, kLocal, 0x00, kSetKey, std::nullopt);
    const Bytes expectedAlone = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x42,  // the local device
                                 0x02, 0x11, 0x22, 0x33, 0x44, 0x55,  // the host
                                 0x88, 0x7B, 0x01,                    // one entry
                                 0x04, 0x09, 0x00,                    // set key, key select 0
                                 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                 0x08, 0x00, 0x00, 0x00, 0x00, 0x00};  // zeros up to 31 bytes
    ASSERT_EQ(alone.length, 31u);
    EXPECT_EQ(Bytes(alone.bytes.begin(), alone.bytes.begin() + 31), expectedAlone);
}

}  // namespace
}  // namespace corvel
