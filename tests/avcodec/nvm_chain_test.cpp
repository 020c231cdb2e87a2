// SPDX-License-Identifier: MIT
#include "avcodec/nvm_chain.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "avcodec/frame.h"
#include "tests/avcodec/av_test_support.h"

namespace corvel {
namespace {

using test::makeNvm;

// Two images: headers at 0 and 344.
std::vector<uint8_t> twoImages() {
    return makeNvm({{0x00001000, 300}, {0x00200000, 2100}});
}

void setNext(std::vector<uint8_t>& file, size_t header, uint32_t next) {
    put32le(&file[header + 36], next);
    test::sealHeader(&file[header]);
}

TEST(FindLastImageHeader, FollowsTheChainToItsLastHeader) {
    const std::vector<uint8_t> one = makeNvm({{0x1000, 100}});
    EXPECT_EQ(findLastImageHeader(one.data(), one.size()), one.data());
    const std::vector<uint8_t> two = twoImages();
    EXPECT_EQ(findLastImageHeader(two.data(), two.size()), two.data() + 344);
}

TEST(FindLastImageHeader, RefusesBrokenAndHostileChains) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        int error;
    };
    std::vector<Case> cases;
    {
        std::vector<uint8_t> file = twoImages();
        file[344 + 12] ^= 1;  // second header's length, checksum not updated
        cases.push_back({"bad checksum", file, kAvErrInvalidValue});
    }
    {
        // The file ends 1 byte into the second header.
        std::vector<uint8_t> file = twoImages();
        file.resize(344 + 43);
        cases.push_back({"header cut short by the end", file, kAvErrMissingOrShort});
    }
    {
        std::vector<uint8_t> file = twoImages();
        setNext(file, 0, uint32_t(file.size()));
        cases.push_back({"next header past the end", file, kAvErrMissingOrShort});
    }
    {
        std::vector<uint8_t> file = twoImages();
        setNext(file, 344, 344);
        cases.push_back({"next header is itself", file, kAvErrInvalidValue});
    }
    {
        std::vector<uint8_t> file = twoImages();
        setNext(file, 344, 44);
        cases.push_back({"next header goes back", file, kAvErrInvalidValue});
    }
    cases.push_back({"shorter than one header", std::vector<uint8_t>(20), kAvErrMissingOrShort});
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(findLastImageHeader(c.file.data(), c.file.size()), nullptr) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
    }
    errno = 0;
    EXPECT_EQ(findLastImageHeader(nullptr, 100), nullptr);
    EXPECT_EQ(errno, kAvErrMissingOrShort);
}

TEST(WalkNvmChain, ListsEveryImageOfASoundChain) {
    const std::vector<uint8_t> file = twoImages();
    const NvmChain chain = walkNvmChain(file.data(), file.size());
    EXPECT_TRUE(chain.valid);
    ASSERT_EQ(chain.images.size(), 2u);
    EXPECT_EQ(chain.images[0].offset, 0u);
    EXPECT_EQ(chain.images[0].loadAddress, 0x00001000u);
    EXPECT_EQ(chain.images[0].length, 300u);
    EXPECT_EQ(chain.images[0].next, 344u);
    EXPECT_TRUE(chain.images[0].headerValid);
    EXPECT_EQ(chain.images[1].offset, 344u);
    EXPECT_EQ(chain.images[1].loadAddress, 0x00200000u);
    EXPECT_EQ(chain.images[1].length, 2100u);
    EXPECT_EQ(chain.images[1].next, 0u);
    EXPECT_TRUE(chain.images[1].headerValid);
}

TEST(WalkNvmChain, ChecksEveryImageAgainstTheChecksumInItsHeader) {
    const std::vector<uint8_t> sound = twoImages();
    const NvmChain chain = walkNvmChain(sound.data(), sound.size());
    ASSERT_EQ(chain.images.size(), 2u);
    for (const NvmImageInfo& image : chain.images) {
        EXPECT_TRUE(image.imageChecked);
        EXPECT_TRUE(image.imageValid());
        EXPECT_EQ(image.storedChecksum,
                  test::referenceChecksum(&sound[image.offset + 44], image.length / 4));
    }
    EXPECT_EQ(firstImageWithBadChecksum(chain), nullptr);

    // One bit flipped in either image, its header left as it was; the other image still checks.
    for (const size_t flipped : {size_t(44 + 5), size_t(344 + 44 + 2099 - 3)}) {
        std::vector<uint8_t> file = sound;
        file[flipped] ^= 0x10;
        const NvmChain broken = walkNvmChain(file.data(), file.size());
        EXPECT_FALSE(broken.valid) << flipped;
        ASSERT_EQ(broken.images.size(), 2u) << flipped;
        const size_t bad = flipped < 344 ? 0 : 1;
        EXPECT_FALSE(broken.images[bad].imageValid()) << flipped;
        EXPECT_TRUE(broken.images[1 - bad].imageValid()) << flipped;
        EXPECT_TRUE(broken.images[bad].headerValid) << flipped;
        EXPECT_EQ(firstImageWithBadChecksum(broken), &broken.images[bad]) << flipped;
        EXPECT_EQ(broken.images[bad].computedChecksum, chain.images[bad].computedChecksum ^
                                                           (0x10u << (8 * (flipped % 4))))
            << flipped;
    }

    std::vector<uint8_t> file = makeNvm({{0x1000, 100, 0x00000011}});
    const NvmChain one = walkNvmChain(file.data(), file.size());
    ASSERT_EQ(one.images.size(), 1u);
    const uint32_t computed = test::referenceChecksum(&file[44], 25);
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "image 0 (header at 0): its header gives the image checksum 0x00000011, its 25 "
                  "words give 0x%08X",
                  computed);
    EXPECT_EQ(imageChecksumMismatchText(0, one.images[0]), expected);
}

TEST(WalkNvmChain, UnsoundChainsEndSafely) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        size_t images;      // headers listed
        int invalidHeader;  // index of the header whose checksum fails, or -1
    };
    std::vector<Case> cases;
    {
        std::vector<uint8_t> file = twoImages();
        file[344 + 8] ^= 0x80;
        cases.push_back({"bad checksum", file, 2, 1});
    }
    {
        // The walk ends at a bad header: the two behind it are not listed.
        std::vector<uint8_t> file = makeNvm({{0x1000, 100}, {0x2000, 100}, {0x3000, 100}});
        file[8] ^= 0x80;
        cases.push_back({"bad first header", file, 1, 0});
    }
    {
        std::vector<uint8_t> file = twoImages();
        setNext(file, 0, uint32_t(file.size() - 10));
        cases.push_back({"header past the end", file, 1, -1});
    }
    {
        std::vector<uint8_t> file = twoImages();
        file.resize(344 + 44 + 2000);  // the second image claims 2100 bytes
        cases.push_back({"image past the end", file, 2, -1});
    }
    {
        // Three images; the third points back at the second.
        std::vector<uint8_t> file = makeNvm({{0x1000, 100}, {0x2000, 100}, {0x3000, 100}});
        setNext(file, 288, 144);
        cases.push_back({"loop back to an earlier header", file, 3, -1});
    }
    {
        std::vector<uint8_t> file = twoImages();
        setNext(file, 344, 344);
        cases.push_back({"header pointing at itself", file, 2, -1});
    }
    cases.push_back({"shorter than one header", std::vector<uint8_t>(43), 0, -1});
    cases.push_back({"empty", {}, 0, -1});
    for (const Case& c : cases) {
        const NvmChain chain = walkNvmChain(c.file.data(), c.file.size());
        EXPECT_FALSE(chain.valid) << c.name;
        ASSERT_EQ(chain.images.size(), c.images) << c.name;
        for (size_t i = 0; i < chain.images.size(); ++i) {
            EXPECT_EQ(chain.images[i].headerValid, int(i) != c.invalidHeader) << c.name << " " << i;
        }
    }
}

}  // namespace
}  // namespace corvel
