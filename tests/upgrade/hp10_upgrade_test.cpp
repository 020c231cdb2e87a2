// SPDX-License-Identifier: MIT
#include "upgrade/hp10_upgrade.h"

#include "hp10codec/loader_frames.h"
#include "tests/upgrade/upgrade_sim_fixture.h"

namespace corvel::test {
namespace {

const std::string kNewTurboFirmware = "TURBO-MAC-4-1-0-0-0100";

class Hp10Upgrade : public UpgradeSim {
protected:
    sim::Device& startTurbo() {
        DeviceConfig config = deviceConfig(Family::Turbo, kTurboLocal);
        config.profile.upgradedFirmware = kNewTurboFirmware;
        config.profile.upgradeRebootMs = 2000;
        return start(config);
    }
    Hp10UpgradeFiles withFiles(size_t imageSize, size_t configSize) {
        image = sim::patternBytes(imageSize, 1);
        config = sim::patternBytes(configSize, 2);
        return {write("mac.img", image), configSize == 0 ? "" : write("dev.cfg", config)};
    }
    // The loader commands sent (entry 0x10), command byte and the word at 20.
    struct Command {
        uint8_t command;
        uint32_t word;
    };
    std::vector<Command> loaderCommands() const {
        std::vector<Command> out;
        for (const auto& f : sent())
            if (get16be(&f.bytes[12]) == 0x887B && f.bytes[15] == kLoaderEntry)
                out.push_back({f.bytes[17], get32be(&f.bytes[20])});
        return out;
    }
    std::vector<uint32_t> wordsOf(uint8_t command) const {
        std::vector<uint32_t> out;
        for (const Command& c : loaderCommands())
            if (c.command == command) out.push_back(c.word);
        return out;
    }

    Bytes image;
    Bytes config;
};

struct ConfigCase {
    size_t configSize;
    std::vector<uint32_t> written;  // selectors of the write blocks
    uint32_t commit;
    std::vector<uint32_t> checksums;  // selectors queried, in order
};

class Hp10UpgradeConfigs : public Hp10Upgrade, public ::testing::WithParamInterface<ConfigCase> {};

// The option section goes only with a configuration read of exactly 960 bytes; the checksums are
// asked image first, then identity, option, parameter.
TEST_P(Hp10UpgradeConfigs, WritesCommitsAndVerifiesWhatTheFilesHold) {
    const ConfigCase& c = GetParam();
    sim::Device& local = startTurbo();
    EXPECT_NE(hp10UpgradeFirmware(withFiles(1500, c.configSize), control), 0);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Firmware Update Successful"});
    EXPECT_EQ(recorder.messages[0].title, "Success");
    EXPECT_EQ(wordsOf(kLoaderWriteBlock), c.written);
    EXPECT_EQ(wordsOf(kLoaderCommit), std::vector<uint32_t>{c.commit});
    EXPECT_EQ(wordsOf(kLoaderVerify), std::vector<uint32_t>{0x40});
    EXPECT_EQ(wordsOf(kLoaderChecksum), c.checksums);
    EXPECT_EQ(loaderCommands().back().command, kLoaderHardwareReset);
    EXPECT_EQ(sent().front().bytes[15], 0x12);  // the reset into the loader comes first
    EXPECT_EQ(sent().front().bytes[17], 0x67);

    clock.sleepMs(2000);
    EXPECT_TRUE(local.isAvailable(clock.tickCount()));
    EXPECT_EQ(local.profile.turboFirmware, kNewTurboFirmware);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, Hp10UpgradeConfigs,
    ::testing::Values(ConfigCase{0, {0x100, 0x100}, 0x100, {0x100}},
                      ConfigCase{
                          960, {0x100, 0x100, 0x10, 0x20, 0x80}, 0x1B0, {0x100, 0x10, 0x80, 0x20}},
                      ConfigCase{1000, {0x100, 0x100, 0x10, 0x20}, 0x130, {0x100, 0x10, 0x20}},
                      ConfigCase{200, {0x100, 0x100, 0x10, 0x20}, 0x130, {0x100, 0x10, 0x20}}));

TEST_F(Hp10Upgrade, TheLastBlockOfAnImageIsSentWhole) {
    startTurbo();
    ASSERT_NE(hp10UpgradeFirmware(withFiles(2050, 0), control), 0);
    std::vector<Bytes> blocks;
    for (const auto& f : sent())
        if (f.bytes[15] == kLoaderEntry && f.bytes[17] == kLoaderWriteBlock)
            blocks.push_back(f.bytes);
    ASSERT_EQ(blocks.size(), 3u);
    const uint32_t offsets[] = {0, 1024, 2048};
    const uint16_t lengths[] = {1024, 1024, 2};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(blocks[i].size(), 1054u);
        EXPECT_EQ(get16be(&blocks[i][18]), lengths[i] + 10);
        EXPECT_EQ(get32be(&blocks[i][24]), offsets[i]);
        EXPECT_EQ(get16be(&blocks[i][28]), lengths[i]);
        EXPECT_TRUE(std::equal(image.begin() + offsets[i], image.begin() + offsets[i] + lengths[i],
                               blocks[i].begin() + 30));
    }
    EXPECT_TRUE(
        std::all_of(blocks[2].begin() + 32, blocks[2].end(), [](uint8_t b) { return b == 0; }));
}

// A loader that answers only at its own address: the first block goes twice, and from then on
// every frame goes to the loader address, which the tables keep.
TEST_F(Hp10Upgrade, SwitchesOnceToTheLoaderAddress) {
    sim::Device& local = startTurbo();
    local.profile.loaderAnswersOwnAddress = false;
    ASSERT_NE(hp10UpgradeFirmware(withFiles(1500, 960), control), 0);
    std::vector<Mac> destinations;
    for (const auto& f : sent())
        if (f.bytes[15] == kLoaderEntry) destinations.push_back(macOf(f.bytes.data()));
    ASSERT_GE(destinations.size(), 3u);
    EXPECT_EQ(destinations[0], kTurboLocal);
    EXPECT_TRUE(std::all_of(destinations.begin() + 1, destinations.end(),
                            [](const Mac& m) { return m == kSecondaryLoaderMac; }));
    EXPECT_EQ(get32be(&sent()[1].bytes[24]), get32be(&sent()[2].bytes[24]));  // the same block
    EXPECT_TRUE(std::equal(kSecondaryLoaderMac.begin(), kSecondaryLoaderMac.end(),
                           core.adapters[0].localMac));
}

struct FailureCase {
    const char* name;
    uint32_t silentAfterChunk;
    bool wrongChecksum;
    std::vector<std::string> messages;
    bool resetSent;
};

class Hp10UpgradeFailures : public Hp10Upgrade,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Hp10UpgradeFailures, EachStepReportsItsOwnMessageFirst) {
    const FailureCase& c = GetParam();
    sim::Device& local = startTurbo();
    local.profile.faults.silentAfterChunk = c.silentAfterChunk;
    local.profile.faults.wrongChecksum = c.wrongChecksum;
    EXPECT_EQ(hp10UpgradeFirmware(withFiles(1500, 0), control), 0);
    EXPECT_EQ(messageTexts(), c.messages) << c.name;
    for (const auto& m : recorder.messages) EXPECT_EQ(m.title, "Error");
    EXPECT_EQ(wordsOf(kLoaderHardwareReset).size(), c.resetSent ? 1u : 0u) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Hp10UpgradeFailures,
    ::testing::Values(FailureCase{"no commit response",
                                  2,
                                  false,
                                  {"Packet sent but no response", "Commit Module Failed"},
                                  false},
                      FailureCase{"silent after the first block",
                                  1,
                                  false,
                                  {"Packet sent but no response", "MAC Image Sending Failed"},
                                  false},
                      FailureCase{"checksum mismatch",
                                  0,
                                  true,
                                  {"Mac Image Verification Failed", "Hardware Reset Failed"},
                                  false}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (ch == ' ') ch = '_';
        return name;
    });

// The loader's answers queued behind a burst of other frames are still found among them.
TEST_F(Hp10Upgrade, BurstsAheadOfTheLoadersAnswersLeaveTheUpgradeWhole) {
    sim::Device& local = startTurbo();
    net.port(0).faults.burst = {64, {sim::UnrelatedFrame::Kind::Hp10, 0x3F}};
    EXPECT_NE(hp10UpgradeFirmware(withFiles(1500, 960), control), 0);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Firmware Update Successful"});
    clock.sleepMs(2000);
    EXPECT_EQ(local.profile.turboFirmware, kNewTurboFirmware);
}

// Frames that keep coming, one every millisecond, after the loader fell silent: each wait for
// its answer takes them for no longer than its own wait, and the upgrade ends with its message.
TEST_F(Hp10Upgrade, AStreamOfOtherFramesDoesNotHoldTheLoaderWaits) {
    sim::Device& local = startTurbo();
    local.profile.faults.silentAfterChunk = 1;
    const uint64_t before = clock.tickCount();
    streamForAMinute(sim::buildUnrelatedFrame({sim::UnrelatedFrame::Kind::Hp10, 0x3F},
                                              sim::memoryHostMac(0), kTurboLocal));
    EXPECT_EQ(hp10UpgradeFirmware(withFiles(1500, 0), control), 0);
    EXPECT_EQ(messageTexts(),
              (std::vector<std::string>{"Packet sent but no response", "MAC Image Sending Failed"}));
    // The second the device takes to hand over to its loader, then waits of a few milliseconds
    // each, however long the stream goes on.
    EXPECT_LT(clock.tickCount() - before, 2'000u);
}

// Nothing is sent, and the device stays in its firmware, when a file cannot be used.
TEST_F(Hp10Upgrade, FileProblemsAreReportedBeforeTheDeviceIsTouched) {
    startTurbo();
    const std::string img = write("mac.img", sim::patternBytes(100, 1));
    struct Case {
        Hp10UpgradeFiles files;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {{"", ""}, {"No File is selected"}},
        {{"", img}, {"No Image File is selected"}},
        {{missing(), ""}, {"Can not open Image file", "MAC Image Sending Failed"}},
        {{write("empty.img", {}), ""}, {"Can not open Image file", "MAC Image Sending Failed"}},
        {{img, missing()}, {"Can not open Config file", "MAC Image Sending Failed"}},
    };
    for (const Case& c : cases) {
        recorder.messages.clear();
        EXPECT_EQ(hp10UpgradeFirmware(c.files, control), 0);
        EXPECT_EQ(messageTexts(), c.messages);
    }
    EXPECT_TRUE(sent().empty());
}

TEST_F(Hp10Upgrade, CancelStopsBetweenBlocks) {
    startTurbo();
    control.progress = [this](const UpgradeProgress& p) {
        EXPECT_EQ(p.framesTotal, 5u);  // 3 image blocks, 2 sections
        if (p.framesDone == 2) control.requestCancel();
    };
    EXPECT_EQ(hp10UpgradeFirmware(withFiles(2100, 500), control), 0);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(wordsOf(kLoaderWriteBlock).size(), 2u);
    EXPECT_TRUE(wordsOf(kLoaderCommit).empty());
}

// A cancelled upgrade leaves the device in its loader, answering nothing else; the same files
// again with LoaderEntry::Resume go straight to the loader's address, without the reset, and the
// device ends on its new firmware.
TEST_F(Hp10Upgrade, ResumeFinishesAnUpgradeLeftInTheLoader) {
    DeviceConfig config = deviceConfig(Family::Turbo, kTurboLocal);
    config.profile.upgradedFirmware = kNewTurboFirmware;
    config.profile.loaderAnswersOwnAddress = false;
    sim::Device& local = start(config);
    const Hp10UpgradeFiles files = withFiles(5000, 960);
    control.progress = [this](const UpgradeProgress& p) {
        if (p.framesDone == 2) control.requestCancel();
    };
    ASSERT_EQ(hp10UpgradeFirmware(files, control), 0);
    ASSERT_TRUE(local.firmware.inLoader);
    copyMac(core.adapters[0].localMac, kTurboLocal.data());  // as a new session finds it

    wire.clearSent();
    UpgradeControl again;
    EXPECT_NE(hp10UpgradeFirmware(files, again, LoaderEntry::Resume), 0);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Firmware Update Successful"});
    ASSERT_FALSE(sent().empty());
    for (const auto& f : sent()) {
        EXPECT_EQ(macOf(f.bytes.data()), kSecondaryLoaderMac);
        EXPECT_EQ(f.bytes[15], kLoaderEntry);  // no reset into the loader
    }
    EXPECT_EQ(wordsOf(kLoaderWriteBlock).size(), 5u + 3u);
    EXPECT_EQ(wordsOf(kLoaderCommit), std::vector<uint32_t>{0x1B0});
    EXPECT_FALSE(local.firmware.inLoader);
    EXPECT_EQ(local.profile.turboFirmware, kNewTurboFirmware);
}

}  // namespace
}  // namespace corvel::test
