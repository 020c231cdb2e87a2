// SPDX-License-Identifier: MIT
#include "avcodec/image_format.h"

#include <gtest/gtest.h>

#include "tests/avcodec/av_test_support.h"

namespace corvel {
namespace {

using test::makeNvm;
using test::referenceChecksum;

std::vector<uint8_t> newerHeader() {
    std::vector<uint8_t> file(96 + 200, 0x5A);
    std::fill(file.begin(), file.begin() + 96, 0);
    put32le(&file[0], 1);
    put32le(&file[8], 200);
    put32le(&file[92], referenceChecksum(file.data(), 23));
    return file;
}

TEST(ImageFormat, RecognisesOnlyASealedNewerHeader) {
    EXPECT_TRUE(isNewerImageFormat(newerHeader().data(), newerHeader().size()));

    auto version2 = newerHeader();
    put32le(&version2[0], 2);
    put32le(&version2[92], referenceChecksum(version2.data(), 23));
    auto unsealed = newerHeader();
    unsealed[40] ^= 1;
    auto cut = newerHeader();
    cut.resize(95);
    // An older chain whose first word happens to be 1 is still the older chain.
    auto older = makeNvm({{0x1000, 300}});
    put32le(&older[0], 1);
    test::sealHeader(older.data());
    for (const auto* file : {&version2, &unsealed, &cut, &older})
        EXPECT_FALSE(isNewerImageFormat(file->data(), file->size()));
    EXPECT_FALSE(isNewerImageFormat(nullptr, 500));
}

}  // namespace
}  // namespace corvel
