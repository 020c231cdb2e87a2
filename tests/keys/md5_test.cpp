// SPDX-License-Identifier: MIT
#include "keys/md5.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/keys/hash_fixture.h"

namespace corvel {
namespace {

using testing_keys::bytesOf;
using testing_keys::lowerHex;

struct Vector {
    const char* message;
    const char* digest;
};

// The RFC 1321 test suite.
constexpr Vector kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, Rfc1321TestSuite) {
    for (const Vector& v : kRfc1321) {
        const std::string message = v.message;
        EXPECT_EQ(lowerHex(md5Digest(bytesOf(message), message.size(), false, false)), v.digest)
            << '"' << message << '"';
    }
}

// Lengths at the padding boundaries, against digests from an independent implementation.
TEST(Md5, PaddingBoundaryLengths) {
    const struct {
        size_t length;
        const char* digest;
    } cases[] = {
        {55, "52c0e574e1198de5fe3f8f11440dcb1b"},  {56, "46c9907fc908ee68b1e7b8e71286a518"},
        {63, "a62f6d59e837867693f042f5b8f5a236"},  {64, "7160b8fb5e9e4023d549c3971fbaeead"},
        {119, "e84905d4214f4d1ca56c2cdcc152b143"}, {120, "e3eb5a6c8669ea01a8c185b8abc8a5dc"},
    };
    for (const auto& c : cases) {
        const auto data = testing_keys::patternBytes(c.length);
        EXPECT_EQ(lowerHex(md5Digest(data.data(), data.size(), false, false)), c.digest)
            << c.length;
    }
}

TEST(Md5, SplitUpdatesGiveTheSameDigest) {
    testing_keys::expectSplitsAgree<Md5>();
}

TEST(Md5Digest, PrintsLabelAndHexOnlyWhenAsked) {
    const std::string abc = "abc";
    const struct {
        bool printHex;
        bool printLabel;
        const char* output;
    } cases[] = {
        {false, false, ""},
        {true, false, "900150983cd24fb0d6963f7d28e17f72\n"},
        {false, true, "MD5 (\"abc\") = 0x"},
        {true, true, "MD5 (\"abc\") = 0x900150983cd24fb0d6963f7d28e17f72\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        const auto digest = md5Digest(bytesOf(abc), abc.size(), c.printHex, c.printLabel);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output)
            << "printHex " << c.printHex << " printLabel " << c.printLabel;
        EXPECT_EQ(lowerHex(digest), "900150983cd24fb0d6963f7d28e17f72");
    }
}

// The label shows exactly the hashed bytes: the data is not a C string and may have no
// terminator, so printing must stop at its length.
TEST(Md5Digest, LabelShowsOnlyTheHashedBytes) {
    const uint8_t buffer[6] = {'a', 'b', 'c', 'X', 'Y', 'Z'};
    testing::internal::CaptureStdout();
    md5Digest(buffer, 3, false, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MD5 (\"abc\") = 0x");
}

}  // namespace
}  // namespace corvel
