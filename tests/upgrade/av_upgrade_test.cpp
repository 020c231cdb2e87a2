// SPDX-License-Identifier: MIT
#include "upgrade/av_upgrade.h"

#include "av/exchanges.h"
#include "tests/upgrade/upgrade_sim_fixture.h"
#include "transport/interface_table.h"

namespace corvel::test {
namespace {

constexpr Mac kUpgradePibMac{0x00, 0xB0, 0x52, 0xAA, 0xBB, 0xCC};
const std::string kNewFirmware = "QRB3000-AV-3.4.0.0100-01-20261201-FINAL";

uint16_t mmtypeOf(const Bytes& f) {
    return f.size() > 16 && get16be(&f[12]) == 0x88E1 ? get16le(&f[15]) : 0;
}

class AvUpgrade : public UpgradeSim {
protected:
    // A local AV device of chip generation `generation` whose configuration block says whether
    // it commits, as readFirmwareType would have left the state.
    sim::Device& startAv(uint8_t generation, bool commits) {
        DeviceConfig config = deviceConfig(Family::Av, kAvLocal);
        config.profile.chipGeneration = generation;
        config.profile.configStatus = commits ? 0 : 2;
        config.profile.upgradedFirmware = kNewFirmware;
        config.profile.upgradeRebootMs = 3000;
        sim::Device& local = start(config);
        copyText(avExchangeState().localChipName, generation == 1 ? "QRB1000" : "QRB3000");
        avExchangeState().upgradeCommits = commits;
        return local;
    }
    AvUpgradeFiles files(const Bytes& nvm, const Bytes& pib) {
        return {write("fw.nvm", nvm), write("fw.pib", pib)};
    }
    AvUpgradeFiles goodFiles() { return files(firmware, pib); }
    std::vector<uint16_t> sentTypes() const {
        std::vector<uint16_t> types;
        for (const auto& f : sent()) types.push_back(mmtypeOf(f.bytes));
        return types;
    }

    // Two images: 1500 and 3400 bytes behind their headers (4988 bytes, 5 module chunks).
    Bytes firmware = sim::buildNvm({{0x00100000, 1500}, {0x00200000, 3400}});
    Bytes pib = sim::buildPib(kUpgradePibMac, publicAvKey(), 3, 3);
};

struct Ending {
    const char* name;
    uint8_t generation;
    bool commits;
    uint32_t options;
    uint16_t chunkType;
    size_t firmwareChunks;
    uint16_t endType;
    uint8_t endPayload;
};

class AvUpgradeEndings : public AvUpgrade, public ::testing::WithParamInterface<Ending> {};

// Each ending the options select runs to the device's verdict: the memory path sends only the
// last image (3400 bytes, 4 chunks) and the PIB at its fixed address; the commit carries the
// modules written and, for later chips, 0x10.
TEST_P(AvUpgradeEndings, SendsEachChunkAndFinishesAsTheOptionsSay) {
    const Ending& e = GetParam();
    sim::Device& local = startAv(e.generation, e.commits);
    EXPECT_EQ(avUpgradeOptions(avExchangeState().localChipName, e.commits), e.options);

    ASSERT_EQ(runAvUpgrade(goodFiles(), control), UpgradeOutcome::Upgraded) << e.name;
    EXPECT_TRUE(recorder.messages.empty());

    std::vector<uint16_t> expected(e.firmwareChunks + 8, e.chunkType);
    expected.push_back(e.endType);
    EXPECT_EQ(sentTypes(), expected);
    const Bytes& end = sent().back().bytes;
    EXPECT_EQ(end[20], e.endPayload);
    if (e.chunkType == kMmMemoryWriteRequest) {
        EXPECT_EQ(get32le(&sent()[e.firmwareChunks].bytes[20]), 0x01F00000u);  // the PIB
        EXPECT_EQ(get32le(&end[24]), 0x00200000u);  // the last image's load address
    }

    // The device took the PIB with the local MAC and a checksum over its 1998 words.
    EXPECT_TRUE(std::equal(kAvLocal.begin(), kAvLocal.end(), local.pib().begin() + 12));
    EXPECT_EQ(sim::complementedWordXor(local.pib().data(), 7992), 0u);
    EXPECT_FALSE(local.isAvailable(clock.tickCount()));
    clock.sleepMs(3000);
    EXPECT_TRUE(local.isAvailable(clock.tickCount()));
    EXPECT_EQ(local.profile.firmware, kNewFirmware);
    EXPECT_EQ(avOperation().kind, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Options, AvUpgradeEndings,
    ::testing::Values(Ending{"QRB1000 commit", 1, true, 0x23, kMmModuleWriteRequest, 5,
                             kMmModuleCommitRequest, 0x03},
                      Ending{"QRB1000 start", 1, false, 0x22, kMmModuleWriteRequest, 5,
                             kMmStartRequest, 0x01},
                      Ending{"later chip commit", 2, true, 0x13, kMmModuleWriteRequest, 5,
                             kMmModuleCommitRequest, 0x13},
                      Ending{"later chip memory", 2, false, 0x00, kMmMemoryWriteRequest, 4,
                             kMmStartRequest, 0x01}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (c == ' ') c = '_';
        return name;
    });

TEST_F(AvUpgrade, AFailureStatusOnTheThirdChunkEndsTheUpgrade) {
    sim::Device& local = startAv(2, true);
    local.profile.faults.failChunk = 3;
    EXPECT_EQ(runAvUpgrade(goodFiles(), control), UpgradeOutcome::Failed);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Upgrade failed. Operation aborted."});
    EXPECT_EQ(recorder.messages[0].title, "Error");
    EXPECT_EQ(recorder.messages[0].icon, Icon::Error);
    EXPECT_EQ(sent().size(), 3u);  // nothing resent, nothing committed
    EXPECT_EQ(avOperation().pending.ready, 0);
    EXPECT_EQ(local.profile.firmware, "QRB1000-AV-3.3.1.2090-01-20240117-FINAL");
}

struct Latency {
    uint32_t ms;
    bool upgraded;
};

class AvUpgradeLatency : public AvUpgrade, public ::testing::WithParamInterface<Latency> {};

// Each confirmation may take up to the 100 ms window; one that does not come within it is lost.
TEST_P(AvUpgradeLatency, ConfirmationsAreAwaitedWithinTheirWindow) {
    sim::Device& local = startAv(2, true);
    local.profile.faults.latencyMs = GetParam().ms;
    const bool upgraded = GetParam().upgraded;
    EXPECT_EQ(runAvUpgrade(goodFiles(), control),
              upgraded ? UpgradeOutcome::Upgraded : UpgradeOutcome::Failed);
    EXPECT_EQ(recorder.messages.size(), upgraded ? 0u : 1u);
    EXPECT_EQ(sent().size(), upgraded ? 14u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Window, AvUpgradeLatency,
                         ::testing::Values(Latency{60, true}, Latency{99, true},
                                           Latency{140, false}));

TEST_F(AvUpgrade, ADeviceThatFallsSilentLeavesNothingPrepared) {
    sim::Device& local = startAv(2, true);
    local.profile.faults.silentAfterChunk = 6;
    const uint64_t before = clock.tickCount();
    EXPECT_EQ(runAvUpgrade(goodFiles(), control), UpgradeOutcome::Failed);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Upgrade failed. Operation aborted."});
    EXPECT_EQ(sent().size(), 7u);
    EXPECT_LT(clock.tickCount() - before, 200u);
    EXPECT_EQ(avOperation().pending.ready, 0);
    EXPECT_EQ(avOperation().kind, 0);
}

// A busy segment queues a burst of other frames ahead of every chunk's confirmation: each
// confirmation is still found, and the upgrade takes no longer than on a quiet wire.
TEST_F(AvUpgrade, BurstsAheadOfEveryConfirmationLeaveTheUpgradeWhole) {
    sim::Device& local = startAv(2, true);
    for (const auto& frame : {sim::UnrelatedFrame{sim::UnrelatedFrame::Kind::Av, 0xA035},
                              sim::UnrelatedFrame{sim::UnrelatedFrame::Kind::Hp10, 0x3F}}) {
        SCOPED_TRACE(frame.kind == sim::UnrelatedFrame::Kind::Av ? "AV" : "1.0");
        net.port(0).faults.burst = {64, frame};
        wire.clearSent();
        recorder.messages.clear();
        const uint64_t before = clock.tickCount();
        ASSERT_EQ(runAvUpgrade(goodFiles(), control), UpgradeOutcome::Upgraded);
        EXPECT_TRUE(recorder.messages.empty());
        EXPECT_EQ(sent().size(), 14u);
        // Per chunk the 1 ms poll, the 1 ms pause and a few of the 2 ms idle polls at most,
        // then the 10 s the device is given to restart.
        EXPECT_LT(clock.tickCount() - before, kUpgradeRestartWaitMs + 14 * 10);
        EXPECT_EQ(local.profile.firmware, kNewFirmware);
        clock.sleepMs(3000);
    }
}

// A steady stream of other frames, one every millisecond, while the device falls silent: the
// wait for the lost confirmation still ends, at twice its window.
TEST_F(AvUpgrade, AStreamOfOtherFramesDoesNotHoldALostConfirmation) {
    sim::Device& local = startAv(2, true);
    local.profile.faults.silentAfterChunk = 6;
    const uint64_t before = clock.tickCount();
    streamForAMinute(sim::buildUnrelatedFrame({sim::UnrelatedFrame::Kind::Av, 0xA035},
                                              sim::memoryHostMac(0), kAvLocal));
    EXPECT_EQ(runAvUpgrade(goodFiles(), control), UpgradeOutcome::Failed);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Upgrade failed. Operation aborted."});
    EXPECT_EQ(sent().size(), 7u);
    EXPECT_LE(clock.tickCount() - before, 6 * 10 + kAvWaitCapFactor * kChunkConfirmWindowMs + 2);
    EXPECT_EQ(avOperation().pending.ready, 0);
}

// A cancel stops between frames; the next upgrade starts from a clean codec and succeeds.
TEST_F(AvUpgrade, CancelStopsAtAFrameBoundaryAndLeavesNoState) {
    sim::Device& local = startAv(2, true);
    std::vector<uint32_t> done;
    control.progress = [&](const UpgradeProgress& p) {
        done.push_back(p.framesDone);
        EXPECT_EQ(p.framesTotal, 14u);
        EXPECT_EQ(p.bytesTotal, firmware.size() + pib.size());
        if (p.framesDone == 4) control.requestCancel();
    };
    EXPECT_EQ(runAvUpgrade(goodFiles(), control), UpgradeOutcome::Cancelled);
    EXPECT_TRUE(control.cancelRequested());
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(sent().size(), 4u);
    EXPECT_EQ(avOperation().kind, 0);
    EXPECT_EQ(avOperation().pending.ready, 0);

    UpgradeControl again;
    EXPECT_EQ(runAvUpgrade(goodFiles(), again), UpgradeOutcome::Upgraded);
    EXPECT_EQ(local.profile.firmware, kNewFirmware);
}

// A late duplicate of the first chunk's confirmation, arriving while the second chunk is
// awaited, is not taken for the second's: the device refused that one, and nothing more is sent.
TEST_F(AvUpgrade, ALateDuplicateConfirmsNothing) {
    sim::Device& local = startAv(2, true);
    local.profile.faults.latencyMs = 30;
    local.profile.faults.failChunk = 2;
    Bytes duplicate(60, 0);
    const Mac host = sim::memoryHostMac(0);
    std::copy(host.begin(), host.end(), duplicate.begin());
    std::copy(kAvLocal.begin(), kAvLocal.end(), duplicate.begin() + 6);
    duplicate[12] = 0x88;
    duplicate[13] = 0xE1;
    put16le(&duplicate[15], kMmModuleWriteConfirm);
    duplicate[18] = 0xB0;
    duplicate[19] = 0x52;
    duplicate[21] = 1;              // module 1
    put16le(&duplicate[23], 1024);  // offset 0 (bytes 25..28) left zero
    control.progress = [&](const UpgradeProgress& p) {
        if (p.framesDone == 1) clock.scheduleAfter(5, [&] { wire.deliver(0, duplicate); });
    };
    EXPECT_EQ(runAvUpgrade(goodFiles(), control), UpgradeOutcome::Failed);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Upgrade failed. Operation aborted."});
    EXPECT_EQ(sent().size(), 2u);
}

TEST_F(AvUpgrade, WithoutAHostAddressNothingStarts) {
    startAv(2, true);
    std::fill_n(interfaceEntries[0].interfaceMac, 6, uint8_t(0));
    EXPECT_EQ(runAvUpgrade(goodFiles(), control), UpgradeOutcome::Failed);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Upgrade failed. Operation aborted"});
    EXPECT_TRUE(sent().empty());
}

TEST_F(AvUpgrade, APib20IsAcceptedAndPatched) {
    sim::Device& local = startAv(2, true);
    pib = sim::buildPib(kUpgradePibMac, publicAvKey(), 2, 0);
    pib[244] = 9;  // contents a 3.3 check would refuse are not looked at
    put32le(&pib[8], 0);
    put32le(&pib[8], sim::complementedWordXor(pib.data(), pib.size()));
    ASSERT_EQ(runAvUpgrade(goodFiles(), control), UpgradeOutcome::Upgraded);
    EXPECT_EQ(local.pib()[0], 2);
    EXPECT_TRUE(std::equal(kAvLocal.begin(), kAvLocal.end(), local.pib().begin() + 12));
    EXPECT_EQ(sim::complementedWordXor(local.pib().data(), 7992), 0u);
}

}  // namespace
}  // namespace corvel::test
