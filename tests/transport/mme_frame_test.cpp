// SPDX-License-Identifier: MIT
#include "transport/mme_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel {
namespace {

TEST(PadFrame, ShortFramesGoOutAsSixtyZeroPaddedBytes) {
    MmeFrame frame;
    frame.bytes.fill(0xEE);  // a reused buffer must not leak old bytes into the padding
    const std::vector<uint8_t> request(17, 0x5A);
    ASSERT_TRUE(padFrame(request.data(), request.size(), frame));
    EXPECT_EQ(frame.length, 60u);
    for (size_t i = 0; i < 60; ++i) EXPECT_EQ(frame.bytes[i], i < 17 ? 0x5A : 0) << i;
}

TEST(PadFrame, LongFramesKeepTheirLengthUpToTheEthernetMaximum) {
    MmeFrame frame;
    std::vector<uint8_t> data(1514, 1);
    ASSERT_TRUE(padFrame(data.data(), 272, frame));
    EXPECT_EQ(frame.length, 272u);
    ASSERT_TRUE(padFrame(data.data(), 1514, frame));
    EXPECT_EQ(frame.length, 1514u);
    data.push_back(1);
    EXPECT_FALSE(padFrame(data.data(), data.size(), frame));
}

}  // namespace
}  // namespace corvel
