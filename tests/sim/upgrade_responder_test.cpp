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

TEST(UpgradeScenario, FieldsLand) {
    Network net = parseScenario(R"({"ports": [{"interface": "plc0", "local": {
        "family": "turbo", "upgradedFirmware": "T2", "upgradeRebootMs": 1500,
        "loaderAnswersOwnAddress": false,
        "faults": {"failChunk": 3, "failStatus": 48, "silentAfterChunk": 7, "wrongChecksum": true}}}]})");
    const Device& d = *net.port(0).local;
    EXPECT_EQ(d.profile.upgradedFirmware, "T2");
    EXPECT_EQ(d.profile.upgradeRebootMs, 1500u);
    EXPECT_FALSE(d.profile.loaderAnswersOwnAddress);
    EXPECT_EQ(d.profile.faults.failChunk, 3u);
    EXPECT_EQ(d.profile.faults.failStatus, 48);
    EXPECT_EQ(d.profile.faults.silentAfterChunk, 7u);
    EXPECT_TRUE(d.profile.faults.wrongChecksum);
    EXPECT_THROW(
        parseScenario(
            R"({"ports": [{"interface": "plc0", "local": {"faults": {"failStatus": 0}}}]})"),
        ScenarioError);
}

}  // namespace
}  // namespace corvel::sim::test
