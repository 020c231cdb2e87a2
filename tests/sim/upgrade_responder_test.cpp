// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "keys/derive.h"
#include "platform/bytes.h"
#include "sim/firmware_files.h"
#include "sim/pib.h"
#include "sim/scenario.h"
#include "tests/sim/sim_test_support.h"

// The devices' side of an upgrade, request by request: what an AV device takes and judges, and
// what the Turbo secondary loader answers, with the scenario fields that shape both.
namespace corvel::sim::test {
namespace {

const Mac kAv{0x00, 0xB0, 0x52, 0x00, 0x00, 0x10};
const Mac kTurbo{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x10};
const Mac kLoader{0x00, 0x04, 0x87, 0xFE, 0x11, 0x00};

Frame le16(uint16_t v) {
    return {uint8_t(v), uint8_t(v >> 8)};
}
Frame le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
Frame be16(uint16_t v) {
    return {uint8_t(v >> 8), uint8_t(v)};
}
Frame be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// 0xA020: module, 0, length, offset, checksum, chunk.
Frame moduleWrite(uint8_t module, uint32_t offset, const Frame& chunk, uint32_t checksum) {
    return avRequest(
        kAv, kHost, 0xA020,
        cat({{module, 0}, le16(uint16_t(chunk.size())), le32(offset), le32(checksum), chunk}));
}
Frame goodChunk(uint8_t module, uint32_t offset, const Frame& chunk) {
    return moduleWrite(module, offset, chunk, complementedWordXor(chunk.data(), chunk.size()));
}
uint8_t statusOf(const std::vector<Emitted>& answers) {
    EXPECT_EQ(answers.size(), 1u);
    return answers.empty() ? 0xFF : answers[0].frame[20];
}

class AvUpgradeDevice : public ::testing::Test {
protected:
    Device& start(uint8_t configStatus) {
        h.net.addPort("plc0");
        DeviceConfig config = device(Family::Av, kAv, "AAAA-BBBB-CCCC-DDDD");
        config.profile.configStatus = configStatus;
        config.profile.upgradedFirmware = "NEW";
        config.profile.upgradeRebootMs = 500;
        return h.net.setLocal(0, config);
    }
    // Writes both modules in 1024-byte chunks; the status of each.
    std::vector<uint8_t> writeModules(const Frame& nvm, const Frame& pib) {
        std::vector<uint8_t> statuses;
        for (auto [module, image] : {std::pair<uint8_t, const Frame*>{1, &nvm}, {2, &pib}})
            for (size_t at = 0; at < image->size(); at += 1024) {
                const Frame chunk(image->begin() + long(at),
                                  image->begin() + long(std::min(at + 1024, image->size())));
                statuses.push_back(statusOf(h.exchange(0, goodChunk(module, uint32_t(at), chunk))));
            }
        return statuses;
    }
    Harness h;
    Frame nvm = buildNvm({{0x1000, 3000}});
    Frame pib = buildPib(kAv, publicAvKey(), 3, 3);
};

TEST_F(AvUpgradeDevice, ChunksAreCheckedAndConfirmedWithTheirPlace) {
    Device& d = start(0);
    for (uint32_t at : {0u, 1024u})
        ASSERT_EQ(statusOf(h.exchange(0, goodChunk(1, at, Frame(1024, 1)))), 0);
    const Frame chunk(100, 0x3C);
    const auto answers = h.exchange(0, goodChunk(1, 2048, chunk));
    ASSERT_EQ(answers.size(), 1u);
    const Frame& c = answers[0].frame;
    EXPECT_EQ(get16le(&c[15]), 0xA021);
    EXPECT_EQ(c[20], 0);
    EXPECT_EQ(c[21], 1);
    EXPECT_EQ(get16le(&c[23]), 100);
    EXPECT_EQ(get32le(&c[25]), 2048u);

    EXPECT_NE(statusOf(h.exchange(0, moduleWrite(1, 0, chunk, 0x12345678))), 0);  // bad checksum
    EXPECT_NE(statusOf(h.exchange(0, goodChunk(3, 0, chunk))), 0);                // no such module
    EXPECT_EQ(d.firmware.modules.at(1).size(), 2148u);
}

// The verdict: a commit needs a device that keeps images (configuration status 0) and sound
// images; an accepted one restarts the device with its new version and the PIB it was given.
TEST_F(AvUpgradeDevice, CommitJudgesWhatWasWritten) {
    struct Case {
        const char* name;
        uint8_t configStatus;
        bool breakNvm;
        uint8_t mask;
        bool accepted;
    };
    const Case cases[] = {
        {"sound images", 0, false, 0x03, true},
        {"with bit 0x10", 0, false, 0x13, true},
        {"device without commit", 2, false, 0x03, false},
        {"broken firmware chain", 0, true, 0x03, false},
        {"nothing named", 0, false, 0x10, false},
    };
    for (const Case& c : cases) {
        h.reset();
        Device& d = start(c.configStatus);
        Frame image = nvm;
        if (c.breakNvm) image[12] ^= 1;
        const auto statuses = writeModules(image, pib);
        EXPECT_TRUE(
            std::all_of(statuses.begin(), statuses.end(), [](uint8_t s) { return s == 0; }));
        EXPECT_EQ(statusOf(h.exchange(0, avRequest(kAv, kHost, 0xA028, {c.mask}))) == 0, c.accepted)
            << c.name;
        EXPECT_EQ(d.profile.firmware == "NEW", c.accepted) << c.name;
        EXPECT_EQ(d.isAvailable(h.nowMs + 100), !c.accepted) << c.name;
        EXPECT_TRUE(d.isAvailable(h.nowMs + 600)) << c.name;
    }
}

TEST_F(AvUpgradeDevice, ChunkFaultsCountFromOne) {
    Device& d = start(0);
    d.profile.faults.failChunk = 2;
    d.profile.faults.failStatus = 0x30;
    d.profile.faults.silentAfterChunk = 3;
    const Frame chunk(64, 1);
    EXPECT_EQ(statusOf(h.exchange(0, goodChunk(1, 0, chunk))), 0);
    EXPECT_EQ(statusOf(h.exchange(0, goodChunk(1, 64, chunk))), 0x30);
    EXPECT_EQ(statusOf(h.exchange(0, goodChunk(1, 64, chunk))), 0);
    EXPECT_TRUE(h.exchange(0, goodChunk(1, 128, chunk)).empty());
    EXPECT_TRUE(h.exchange(0, avRequest(kAv, kHost, 0xA028, {0x03})).empty());
}

// Within a module every chunk starts where the last one ended; a chunk at offset 0 starts the
// module afresh. A gap or an overlap is refused and nothing of it is kept.
TEST_F(AvUpgradeDevice, ModuleChunksMustFollowEachOther) {
    struct Write {
        uint32_t offset;
        size_t length;
        bool accepted;
    };
    struct Case {
        const char* name;
        std::vector<Write> writes;
        size_t kept;  // bytes of module 1 afterwards
    };
    const Case cases[] = {
        {"in order", {{0, 1024, true}, {1024, 1024, true}, {2048, 100, true}}, 2148},
        {"gap", {{0, 1024, true}, {2048, 1024, false}}, 1024},
        {"overlap", {{0, 1024, true}, {512, 1024, false}}, 1024},
        {"the last chunk again", {{0, 1024, true}, {1024, 1024, true}, {1024, 1024, false}}, 2048},
        {"not starting at 0", {{1024, 1024, false}}, 0},
        {"starting afresh", {{0, 1024, true}, {1024, 1024, true}, {0, 300, true}}, 300},
    };
    for (const Case& c : cases) {
        h.reset();
        Device& d = start(0);
        for (const Write& w : c.writes)
            EXPECT_EQ(statusOf(h.exchange(0, goodChunk(1, w.offset, Frame(w.length, 0x5A)))) == 0,
                      w.accepted)
                << c.name << " at " << w.offset;
        const auto module = d.firmware.modules.find(1);
        EXPECT_EQ(module == d.firmware.modules.end() ? 0 : module->second.size(), c.kept) << c.name;
    }
}

// 0xA004: address, length, chunk.
Frame memoryWrite(uint32_t address, const Frame& chunk) {
    return avRequest(kAv, kHost, 0xA004, cat({le32(address), le32(uint32_t(chunk.size())), chunk}));
}

// The start request names the image it starts: byte 20 is 1, 21..23 zero, then the load
// address, length and the two words passed on from the image header. The device checks them
// against what it holds: the first header of the firmware module after module writes, the
// region written at that address after memory writes.
TEST_F(AvUpgradeDevice, StartChecksTheImageItNames) {
    const Frame twoImages =
        buildNvm({{0x00100000, 2000, 0x11, 0x22}, {0x00200000, 3000, 0x33, 0x44}});
    auto payload = [](uint32_t address, uint32_t length, uint32_t w4, uint32_t w5) {
        return cat({{0x01, 0, 0, 0}, le32(address), le32(length), le32(w4), le32(w5)});
    };
    Frame unmarked = payload(0x00100000, 2000, 0x11, 0x22);
    unmarked[0] = 0x00;
    struct Case {
        const char* name;
        bool memoryPath;
        Frame payload;
        bool accepted;
    };
    const Case cases[] = {
        {"module path, first header", false, payload(0x00100000, 2000, 0x11, 0x22), true},
        {"module path, wrong address", false, payload(0x00100004, 2000, 0x11, 0x22), false},
        {"module path, wrong length", false, payload(0x00100000, 2001, 0x11, 0x22), false},
        {"module path, wrong passed-on word", false, payload(0x00100000, 2000, 0x11, 0x23), false},
        {"module path, the last header", false, payload(0x00200000, 3000, 0x33, 0x44), false},
        {"not marked 1", false, unmarked, false},
        {"memory path, last image", true, payload(0x00200000, 3000, 0x33, 0x44), true},
        {"memory path, shorter than written", true, payload(0x00200000, 2996, 0x33, 0x44), false},
        {"memory path, nothing at that address", true, payload(0x00100000, 2000, 0x11, 0x22),
         false},
    };
    for (const Case& c : cases) {
        h.reset();
        Device& d = start(2);
        if (c.memoryPath) {
            const Frame image(twoImages.begin() + 44 + 2000 + 44, twoImages.end());
            for (size_t at = 0; at < image.size(); at += 1024) {
                const Frame chunk(image.begin() + long(at),
                                  image.begin() + long(std::min(at + 1024, image.size())));
                ASSERT_EQ(statusOf(h.exchange(0, memoryWrite(0x00200000 + uint32_t(at), chunk))),
                          0);
            }
            for (size_t at = 0; at < pib.size(); at += 1024) {
                const Frame chunk(pib.begin() + long(at),
                                  pib.begin() + long(std::min(at + 1024, pib.size())));
                ASSERT_EQ(statusOf(h.exchange(0, memoryWrite(0x01F00000 + uint32_t(at), chunk))),
                          0);
            }
        } else {
            writeModules(twoImages, pib);
        }
        EXPECT_EQ(statusOf(h.exchange(0, avRequest(kAv, kHost, 0xA00C, c.payload))) == 0,
                  c.accepted)
            << c.name;
        EXPECT_EQ(d.profile.firmware == "NEW", c.accepted) << c.name;
    }
}

// The device takes its MAC from the PIB it commits, from version 1.4 on (older PIBs carry none):
// a PIB patched with the wrong address shows as a device under that address.
TEST_F(AvUpgradeDevice, ACommittedPibGivesTheDeviceItsMac) {
    const Mac other{0x00, 0xB0, 0x52, 0x77, 0x66, 0x55};
    struct Case {
        const char* name;
        uint8_t major, minor;
        Mac expected;
    };
    const Case cases[] = {
        {"3.3", 3, 3, other},
        {"1.4", 1, 4, other},
        {"1.3: no MAC field", 1, 3, kAv},
    };
    for (const Case& c : cases) {
        h.reset();
        Device& d = start(0);
        writeModules(nvm, buildPib(other, publicAvKey(), c.major, c.minor));
        ASSERT_EQ(statusOf(h.exchange(0, avRequest(kAv, kHost, 0xA028, {0x03}))), 0) << c.name;
        EXPECT_EQ(d.mac(), c.expected) << c.name;
        h.nowMs += 1000;  // past the restart
        const auto answers = h.exchange(0, avRequest(kLocalManagement, kHost, 0xA000));
        ASSERT_EQ(answers.size(), 1u) << c.name;
        EXPECT_EQ(sourceOf(answers[0].frame), c.expected) << c.name;
    }
}

// Loader frames: entry 0x10, command at 17, parameter length at 18, parameters from 20.
Frame loaderFrame(const Mac& to, uint8_t command, const Frame& params) {
    return hp10Request(to, kHost,
                       cat({{0x01, 0x10, 0x01, command}, be16(uint16_t(params.size())), params}));
}
Frame writeBlock(const Mac& to, uint32_t selector, const Frame& data) {
    return padded(
        loaderFrame(to, 0x81, cat({be32(selector), be32(0), be16(uint16_t(data.size())), data})),
        1054);
}

TEST(TurboLoader, AnswersOnlyOnceTheDeviceHandedOverAndAtItsAddresses) {
    Harness h;
    h.net.addPort("plc0");
    DeviceConfig config = device(Family::Turbo, kTurbo, "AAAA-BBBB-CCCC-DDDD");
    config.profile.loaderAnswersOwnAddress = false;
    config.profile.upgradedFirmware = "TURBO-NEW";
    Device& d = h.net.setLocal(0, config);
    const Frame data(300, 0x42);

    EXPECT_TRUE(h.exchange(0, writeBlock(kLoader, 0x100, data)).empty());  // still its firmware
    EXPECT_TRUE(h.exchange(0, hp10Request(kTurbo, kHost, {0x01, 0x12, 0x01, 0x67}, 18)).empty());
    EXPECT_TRUE(h.exchange(0, writeBlock(kTurbo, 0x100, data)).empty());  // not at its own MAC
    auto answers = h.exchange(0, writeBlock(kLoader, 0x100, data));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].frame[17], 0x81);
    EXPECT_EQ(answers[0].frame[20], 0);
    EXPECT_EQ(sourceOf(answers[0].frame), kLoader);

    answers = h.exchange(0, loaderFrame(kLoader, 0x83, cat({be32(0x100), be32(300)})));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(get32be(&answers[0].frame[29]), loaderChecksum(data));
    EXPECT_NE(h.exchange(0, loaderFrame(kLoader, 0x82, be32(0x110)))[0].frame[20],
              0);  // 0x10 unwritten
    EXPECT_EQ(h.exchange(0, loaderFrame(kLoader, 0x82, be32(0x100)))[0].frame[20], 0);
    EXPECT_EQ(h.exchange(0, loaderFrame(kLoader, 0x84, be32(0x40)))[0].frame[20], 0);
    EXPECT_TRUE(
        h.exchange(0, hp10Request(kLoader, kHost, {0x01, 0x10, 0x01, 0x7F, 0, 0}, 20)).empty());
    EXPECT_EQ(d.profile.turboFirmware, "TURBO-NEW");
    EXPECT_FALSE(d.firmware.inLoader);
}

Frame writeBlockAt(const Mac& to, uint32_t selector, uint32_t offset, const Frame& data) {
    return padded(
        loaderFrame(to, 0x81,
                    cat({be32(selector), be32(offset), be16(uint16_t(data.size())), data})),
        1054);
}

class TurboInLoader : public ::testing::Test {
protected:
    void SetUp() override {
        h.net.addPort("plc0");
        DeviceConfig config = device(Family::Turbo, kTurbo, "AAAA-BBBB-CCCC-DDDD");
        config.profile.upgradedFirmware = "TURBO-NEW";
        d = &h.net.setLocal(0, config);
        h.net.addStation(0, device(Family::Turbo, kStation, "EEEE-FFFF-GGGG-HHHH"));
    }
    void enterLoader() {
        EXPECT_TRUE(
            h.exchange(0, hp10Request(kTurbo, kHost, {0x01, 0x12, 0x01, 0x67}, 18)).empty());
        ASSERT_TRUE(d->firmware.inLoader);
    }
    uint8_t status(const Frame& request) { return statusOf(h.exchange(0, request)); }
    // Answers to what the running firmware answers: the local query at the device's address and
    // a broadcast version query (which the station answers too).
    size_t firmwareAnswers() {
        return h.exchange(0, hp10Request(kTurbo, kHost, {0x01, 0x1A, 0xBB, 0x80})).size() +
               h.exchange(0, hp10Request(kBroadcastMac, kHost,
                                         {0x01, 0x02, 0x05, 0x00, 0x04, 0x87, 0x10, 0x00}))
                   .size();
    }
    static constexpr Mac kStation{0x00, 0x0B, 0x3B, 0x00, 0x01, 0x11};
    Harness h;
    Device* d = nullptr;
};

// A device in its loader no longer runs its firmware: it answers loader frames only, and carries
// nothing to the stations behind it, until a reset starts the firmware it committed.
TEST_F(TurboInLoader, AnswersOnlyLoaderFramesUntilReset) {
    EXPECT_GE(firmwareAnswers(), 3u);
    enterLoader();
    EXPECT_EQ(firmwareAnswers(), 0u);
    const Frame data(1024, 0x42);
    EXPECT_EQ(status(writeBlockAt(kLoader, 0x100, 0, data)), 0);
    EXPECT_EQ(status(loaderFrame(kLoader, 0x82, be32(0x100))), 0);
    EXPECT_TRUE(
        h.exchange(0, hp10Request(kLoader, kHost, {0x01, 0x10, 0x01, 0x7F, 0, 0}, 20)).empty());
    EXPECT_FALSE(d->firmware.inLoader);
    EXPECT_GE(firmwareAnswers(), 3u);
}

TEST_F(TurboInLoader, AResetWithoutACommitStaysInTheLoader) {
    enterLoader();
    EXPECT_TRUE(
        h.exchange(0, hp10Request(kLoader, kHost, {0x01, 0x10, 0x01, 0x7F, 0, 0}, 20)).empty());
    EXPECT_TRUE(d->firmware.inLoader);
    EXPECT_EQ(firmwareAnswers(), 0u);
}

// The image goes in whole blocks, each where the last one ended; a shorter block ends it. Each
// configuration section is one block at offset 0 of the section's own length.
TEST_F(TurboInLoader, BlocksAreCheckedForOffsetAndLength) {
    struct Block {
        uint32_t selector;
        uint32_t offset;
        size_t length;
        bool accepted;
    };
    struct Case {
        const char* name;
        std::vector<Block> blocks;
    };
    const Case cases[] = {
        {"image in order",
         {{0x100, 0, 1024, true}, {0x100, 1024, 1024, true}, {0x100, 2048, 2, true}}},
        {"image gap", {{0x100, 0, 1024, true}, {0x100, 2048, 1024, false}}},
        {"image overlap", {{0x100, 0, 1024, true}, {0x100, 512, 1024, false}}},
        {"image not starting at 0", {{0x100, 1024, 1024, false}}},
        {"past a short block", {{0x100, 0, 1000, true}, {0x100, 1000, 24, false}}},
        {"image starting afresh", {{0x100, 0, 1024, true}, {0x100, 0, 1024, true}}},
        {"sections whole", {{0x10, 0, 128, true}, {0x20, 0, 256, true}, {0x80, 0, 512, true}}},
        {"identity too short", {{0x10, 0, 127, false}}},
        {"parameter too long", {{0x20, 0, 300, false}}},
        {"option not at 0", {{0x80, 512, 512, false}}},
    };
    for (const Case& c : cases) {
        h.reset();
        SetUp();
        enterLoader();
        for (const Block& b : c.blocks)
            EXPECT_EQ(status(writeBlockAt(kLoader, b.selector, b.offset, Frame(b.length, 7))) == 0,
                      b.accepted)
                << c.name << ": " << b.selector << " at " << b.offset;
    }
}

// The verify command carries the argument 0x40; the loader refuses any other, and refuses to
// verify before a commit.
TEST_F(TurboInLoader, VerifyChecksItsArgument) {
    enterLoader();
    EXPECT_NE(status(loaderFrame(kLoader, 0x84, be32(0x40))), 0);  // nothing committed
    ASSERT_EQ(status(writeBlockAt(kLoader, 0x100, 0, Frame(500, 1))), 0);
    ASSERT_EQ(status(loaderFrame(kLoader, 0x82, be32(0x100))), 0);
    for (uint32_t argument : {0x00u, 0x41u, 0x100u, 0x40000000u})
        EXPECT_NE(status(loaderFrame(kLoader, 0x84, be32(argument))), 0) << argument;
    EXPECT_EQ(status(loaderFrame(kLoader, 0x84, be32(0x40))), 0);
}

TEST(UpgradeScenario, FieldsLand) {
    Network net = parseScenario(R"({"ports": [{"interface": "plc0", "local": {
        "family": "turbo", "upgradedFirmware": "T2", "upgradeRebootMs": 1500,
        "loaderAnswersOwnAddress": false, "inLoader": true,
        "faults": {"failChunk": 3, "failStatus": 48, "silentAfterChunk": 7, "wrongChecksum": true}}}]})");
    const Device& d = *net.port(0).local;
    EXPECT_EQ(d.profile.upgradedFirmware, "T2");
    EXPECT_EQ(d.profile.upgradeRebootMs, 1500u);
    EXPECT_FALSE(d.profile.loaderAnswersOwnAddress);
    EXPECT_TRUE(d.firmware.inLoader);
    EXPECT_EQ(d.profile.faults.failChunk, 3u);
    EXPECT_EQ(d.profile.faults.failStatus, 48);
    EXPECT_EQ(d.profile.faults.silentAfterChunk, 7u);
    EXPECT_TRUE(d.profile.faults.wrongChecksum);
    for (const char* wrong : {
             R"({"ports": [{"interface": "plc0", "local": {"faults": {"failStatus": 0}}}]})",
             // Only a 1.0 or Turbo local device has a loader to be in.
             R"({"ports": [{"local": {"inLoader": true}}]})",
             R"({"ports": [{"local": {"family": "turbo"}, "stations": [{"inLoader": true}]}]})",
         })
        EXPECT_THROW(parseScenario(wrong), ScenarioError) << wrong;
}

}  // namespace
}  // namespace corvel::sim::test
