// SPDX-License-Identifier: MIT
#include "keys/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/keys/hash_fixture.h"

namespace corvel {
namespace {

using testing_keys::bytesOf;
using testing_keys::lowerHex;

// FIPS 180-2 examples, and the empty message.
TEST(Sha256, Fips180Vectors) {
    const struct {
        const char* message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const auto& c : cases) {
        const std::string message = c.message;
        EXPECT_EQ(lowerHex(sha256Digest(bytesOf(message), message.size())), c.digest)
            << '"' << message << '"';
    }
}

// One million 'a', fed in uneven pieces so that updates straddle block edges.
TEST(Sha256, OneMillionA) {
    const std::vector<uint8_t> piece(997, 'a');
    Sha256 sha;
    size_t left = 1000000;
    while (left > 0) {
        const size_t take = left < piece.size() ? left : piece.size();
        sha.update(piece.data(), take);
        left -= take;
    }
    EXPECT_EQ(lowerHex(sha.finish()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Lengths at the padding boundaries, against digests from an independent implementation.
TEST(Sha256, PaddingBoundaryLengths) {
    const struct {
        size_t length;
        const char* digest;
    } cases[] = {
        {55, "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
        {56, "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
        {63, "81c80242132f230c3bd41b3e63bbcff16107339549214a99614ff26664625055"},
        {64, "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
        {119, "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e"},
        {120, "7836b787757e95e58b3ca5aec90b1b004e8deba1e50e9675af9cabf1a13a04b5"},
    };
    for (const auto& c : cases) {
        const auto data = testing_keys::patternBytes(c.length);
        EXPECT_EQ(lowerHex(sha256Digest(data.data(), data.size())), c.digest) << c.length;
    }
}

TEST(Sha256, SplitUpdatesGiveTheSameDigest) {
    testing_keys::expectSplitsAgree<Sha256>();
}

}  // namespace
}  // namespace corvel
