// SPDX-License-Identifier: MIT
#include "avcodec/image_format.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "sim/firmware_files.h"
#include "tests/avcodec/av_test_support.h"

// The newer chain of 96-byte headers, from files the simulator's generator makes out of the
// format's public description rather than from the walker's own constants.
namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;
using test::makeNvm;

// Three images: firmware, parameters, and a type nobody names; headers at 0, 1096 and 1896.
constexpr uint32_t kSecond = 96 + 1000;
constexpr uint32_t kThird = kSecond + 96 + 704;

Bytes threeImages() {
    return sim::buildNewerChain({{0x04, test::pattern(1000, 1), 0x00100000, 0x00100040},
                                 {0x0F, test::pattern(704, 2), 0x01F00000, 0},
                                 {0x30, test::pattern(64, 3), 0x02000000, 0x02000004}});
}

void setWord(Bytes& file, size_t header, size_t offset, uint32_t value) {
    put32le(&file[header + offset], value);
    sim::sealNewerHeader(&file[header]);
}

TEST(NewerImageFormat, IsRecognisedByItsVersionWordsAndSeal) {
    struct Case {
        const char* name;
        Bytes file;
        bool newer;
    };
    std::vector<Case> cases{{"current chain", threeImages(), true}};
    {
        Bytes file = threeImages();
        file[40] ^= 1;  // version words 1.1 still there, the seal broken
        cases.push_back({"current version, first header broken", file, true});
    }
    {
        Bytes file = threeImages();
        setWord(file, 0, 0, 0x00000001);  // 1.0, sealed
        cases.push_back({"major 1, another minor, sealed", file, true});
    }
    {
        Bytes file = threeImages();
        put32le(&file[0], 0x00000001);  // 1.0, not sealed
        cases.push_back({"major 1, another minor, unsealed", file, false});
    }
    {
        Bytes file = threeImages();
        setWord(file, 0, 0, 0x00010002);  // 2.1, sealed
        cases.push_back({"major 2", file, false});
    }
    {
        Bytes file = threeImages();
        file.resize(95);
        cases.push_back({"shorter than one header", file, false});
    }
    {
        // An older chain whose first word happens to read 1.1 is still the older chain.
        Bytes file = makeNvm({{0x1000, 300}});
        ASSERT_EQ(get32le(&file[0]), 0x00010001u);
        cases.push_back({"older chain", file, false});
    }
    for (const Case& c : cases)
        EXPECT_EQ(isNewerImageFormat(c.file.data(), c.file.size()), c.newer) << c.name;
    EXPECT_FALSE(isNewerImageFormat(nullptr, 500));
}

TEST(NewerImageFormat, WalksAndListsASoundChain) {
    const Bytes file = threeImages();
    const NewerChain chain = walkNewerChain(file.data(), file.size());
    EXPECT_TRUE(chain.sound()) << newerChainFaultText(chain);
    EXPECT_EQ(newerChainFaultText(chain), "");
    ASSERT_EQ(chain.images.size(), 3u);
    const NewerImageInfo& first = chain.images[0];
    EXPECT_EQ(first.offset, 0u);
    EXPECT_EQ(first.majorVersion, 1);
    EXPECT_EQ(first.minorVersion, 1);
    EXPECT_EQ(first.nvmAddress, 96u);
    EXPECT_EQ(first.loadAddress, 0x00100000u);
    EXPECT_EQ(first.length, 1000u);
    EXPECT_EQ(first.entryPoint, 0x00100040u);
    EXPECT_EQ(first.next, kSecond);
    EXPECT_EQ(first.previous, kNewerChainEnd);
    EXPECT_EQ(first.moduleType, 0x04u);
    EXPECT_EQ(chain.images[1].offset, kSecond);
    EXPECT_EQ(chain.images[1].previous, 0u);
    EXPECT_EQ(chain.images[1].moduleType, kNewerModulePib);
    EXPECT_EQ(chain.images[2].offset, kThird);
    EXPECT_EQ(chain.images[2].previous, kSecond);
    EXPECT_EQ(chain.images[2].next, kNewerChainEnd);
    for (const NewerImageInfo& image : chain.images) {
        EXPECT_TRUE(image.headerValid) << image.offset;
        EXPECT_TRUE(image.imageValid) << image.offset;
    }
    EXPECT_EQ(findNewerModule(chain, kNewerModulePib), &chain.images[1]);
    EXPECT_EQ(findNewerModule(chain, 0x07), nullptr);

    EXPECT_EQ(newerModuleTypeName(0x04), "Runtime Firmware");
    EXPECT_EQ(newerModuleTypeName(0x0F), "Runtime Parameters");
    EXPECT_EQ(newerModuleTypeName(0x0E), "Chain Manifest");
    EXPECT_EQ(newerModuleTypeName(13), "");
    EXPECT_EQ(newerModuleTypeName(0x30), "");
}

// Each broken chain is refused with its reason and listed up to the header concerned; no walk
// reads past the file or goes round for ever.
TEST(NewerImageFormat, BrokenChainsAreRefusedWithTheirReason) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> breakIt;
        NewerChainFault fault;
        uint32_t at;
        size_t listed;
        const char* reason;
    };
    const Case cases[] = {
        {"bad header checksum", [](Bytes& f) { f[kSecond + 12] ^= 0x80; },
         NewerChainFault::HeaderChecksum, kSecond, 2,
         "the header at 1096 has a bad header checksum"},
        {"file ends inside a header", [](Bytes& f) { f.resize(kThird + 50); },
         NewerChainFault::HeaderPastEnd, kThird, 2,
         "the header at 1896 runs past the end of the file (1946 bytes)"},
        {"next header past the end", [](Bytes& f) { setWord(f, kSecond, 28, 100000); },
         NewerChainFault::HeaderPastEnd, 100000, 2, "the header at 100000 runs past the end"},
        {"file ends inside an image", [](Bytes& f) { f.resize(f.size() - 1); },
         NewerChainFault::ImagePastEnd, kThird, 3,
         "the image behind the header at 1896 (64 bytes) runs past the end of the file"},
        {"loop back to the first header", [](Bytes& f) { setWord(f, kThird, 28, 0); },
         NewerChainFault::Loop, kThird, 3,
         "the header at 1896 names 0 as the next header, back along the chain: the chain loops"},
        {"points at itself", [](Bytes& f) { setWord(f, kSecond, 28, kSecond); },
         NewerChainFault::Loop, kSecond, 2, "the chain loops"},
        {"next header inside the image", [](Bytes& f) { setWord(f, 0, 28, 500); },
         NewerChainFault::Loop, 0, 1,
         "the header at 0 names 500 as the next header, inside its own image"},
        {"previous link wrong", [](Bytes& f) { setWord(f, kThird, 32, 0); },
         NewerChainFault::PreviousLink, kThird, 3,
         "the header at 1896 names 0x00000000 as the header before it, not 1096"},
        {"first header names a previous one", [](Bytes& f) { setWord(f, 0, 32, 0); },
         NewerChainFault::PreviousLink, 0, 1, "not 0xFFFFFFFF (none)"},
        {"another major version further on", [](Bytes& f) { setWord(f, kSecond, 0, 0x00010002); },
         NewerChainFault::HeaderVersion, kSecond, 2, "the header at 1096 has version 2.1"},
        // The walk goes on past a damaged image: its header still links the chain.
        {"bad image checksum", [](Bytes& f) { f[96 + 10] ^= 1; }, NewerChainFault::ImageChecksum, 0,
         3, "the image behind the header at 0 has a bad image checksum"},
        {"shorter than one header", [](Bytes& f) { f.resize(40); }, NewerChainFault::HeaderPastEnd,
         0, 0, "the file (40 bytes) is shorter than one header"},
    };
    for (const Case& c : cases) {
        Bytes file = threeImages();
        c.breakIt(file);
        const NewerChain chain = walkNewerChain(file.data(), file.size());
        EXPECT_EQ(chain.fault, c.fault) << c.name;
        EXPECT_EQ(chain.faultOffset, c.at) << c.name;
        EXPECT_EQ(chain.images.size(), c.listed) << c.name;
        EXPECT_NE(newerChainFaultText(chain).find(c.reason), std::string::npos)
            << c.name << ": " << newerChainFaultText(chain);
    }
    const NewerChain none = walkNewerChain(nullptr, 500);
    EXPECT_FALSE(none.sound());
    EXPECT_TRUE(none.images.empty());
}

TEST(NewerImageFormat, AWalkReadsAtMostItsLimitOfHeaders) {
    std::vector<sim::NewerImageSpec> images(kMaxNewerHeaders + 1, {0x00, Bytes(4, 7)});
    const Bytes file = sim::buildNewerChain(images);
    const NewerChain chain = walkNewerChain(file.data(), file.size());
    EXPECT_EQ(chain.fault, NewerChainFault::TooManyHeaders);
    EXPECT_EQ(chain.images.size(), kMaxNewerHeaders);
    EXPECT_EQ(newerChainFaultText(chain), "the chain has more than 64 headers");

    images.pop_back();
    const Bytes most = sim::buildNewerChain(images);
    EXPECT_TRUE(walkNewerChain(most.data(), most.size()).sound());
}

// Headers whose words are random but sealed: whatever the links and lengths say, the walk stays
// inside the file (the sanitizers watch every read) and ends.
TEST(NewerImageFormat, SealedNonsenseStaysInsideTheFile) {
    std::mt19937 random(17);
    for (int round = 0; round < 2000; ++round) {
        Bytes file = threeImages();
        for (uint32_t header : {0u, kSecond, kThird}) {
            const size_t word = 1 + random() % 22;
            uint32_t value = uint32_t(random());
            if (random() % 2) value %= uint32_t(file.size() + 200);
            setWord(file, header, 4 * word, value);
        }
        file.resize(file.size() - random() % 300);
        const NewerChain chain = walkNewerChain(file.data(), file.size());
        ASSERT_LE(chain.images.size(), kMaxNewerHeaders);
        for (const NewerImageInfo& image : chain.images) ASSERT_LT(image.offset, file.size());
        newerChainFaultText(chain);
    }
}

}  // namespace
}  // namespace corvel
