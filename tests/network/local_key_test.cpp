// SPDX-License-Identifier: MIT
#include "network/local_key.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "network/key_target.h"
#include "network/remote_key.h"
#include "scan/station_texts.h"
#include "tests/network/key_sim_fixture.h"

namespace corvel::test {
namespace {

struct FamilyCase {
    const char* name;
    Family family;
    int expected;
    std::function<Bytes(const NetworkKey&)> frame;
};

void PrintTo(const FamilyCase& c, std::ostream* out) {
    *out << c.name;
}

class LocalKey : public KeySim, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(LocalKey, EachFamilySendsItsOwnFrameAndReportsItsOwnCode) {
    const FamilyCase& c = GetParam();
    addFamilyPort(c.family);
    start();
    const NetworkKey key = nameKey(c.family, kNetworkName);

    EXPECT_EQ(setLocalNEK(std::nullopt, key), c.expected);

    ASSERT_FALSE(wire.sent().empty());
    EXPECT_EQ(wire.sent()[0].bytes, c.frame(key));
    const sim::Device& local = device(localMacOf(c.family));
    if (c.family == Family::Av) {
        EXPECT_EQ(local.nmk(), key);
    } else {
        EXPECT_EQ(local.nek(), narrow(key));
    }
    if (c.family == Family::HomePlug10) {
        // The host's copy of the block follows what was sent, and the device agrees.
        EXPECT_EQ(bytesOf(core.localParamBlock), bytesOf(local.paramBlock(1)));
        EXPECT_EQ(sentHp10(0x19).size(), 1u);
    }
}

TEST_P(LocalKey, SilentLocalDeviceFailsAfterItsFamilysWindow) {
    const FamilyCase& c = GetParam();
    addFamilyPort(c.family);
    start();
    device(localMacOf(c.family)).profile.faults.silent = true;
    // AV: one confirmation window; Turbo: the remote window; 1.0: 100 ms before the first
    // parameter query, then three windows of 500 ms.
    const uint64_t window = c.family == Family::Av ? 100 : c.family == Family::Turbo ? 3700 : 1600;
    const uint64_t before = clock.tickCount();

    EXPECT_EQ(setLocalNEK(std::nullopt, nameKey(c.family, kNetworkName)), kKeyNotSet);

    const uint64_t took = clock.tickCount() - before;
    EXPECT_GE(took, window);
    EXPECT_LE(took, window + 15);
}

INSTANTIATE_TEST_SUITE_P(
    Families, LocalKey,
    ::testing::Values(FamilyCase{"Av", Family::Av, kKeyAvConfirmed,
                                 [](const NetworkKey& k) {
                                     // PEKS 0x0F: the key is for the receiving device; RDA is that
                                     // device, and no DAK is needed.
                                     return cat(
                                         {macBytes(kAvLocal),
                                          kHost0,
                                          {0x88, 0xE1, 0x00, 0x50, 0xA0, 0x00, 0xB0, 0x52, 0x01},
                                          keyBytes(k, 16),
                                          {0x0F},
                                          macBytes(kAvLocal),
                                          Bytes(16, 0),
                                          Bytes(4, 0)});
                                 }},
                      FamilyCase{"Turbo", Family::Turbo, kKeyHp10Confirmed,
                                 [](const NetworkKey& k) {
                                     // 35 bytes to the local device, key select 1; the wire pads
                                     // to 60.
                                     return padded(cat({macBytes(kTurboLocal),
                                                        kHost0,
                                                        {0x88, 0x7B, 0x01, 0x04, 0x09, 0x01},
                                                        keyBytes(k, 8)}),
                                                   60);
                                 }},
                      FamilyCase{"HomePlug10", Family::HomePlug10, kKeyAnswering,
                                 [](const NetworkKey& k) {
                                     // By broadcast, with the parameter entry P1 | 0x40, P2, 1.
                                     return padded(cat({kBroadcast,
                                                        kHost0,
                                                        {0x88, 0x7B, 0x02, 0x04, 0x09, 0x01},
                                                        keyBytes(k, 8),
                                                        {0x1F, 0x03, 0x40, 0x00, 0x01}}),
                                                   60);
                                 }}),
    [](const ::testing::TestParamInfo<FamilyCase>& info) { return std::string(info.param.name); });

TEST_F(KeySim, StrayCommitConfirmationIsNoAnswerToTheLocalSetKey) {
    const struct {
        const char* name;
        uint8_t refusal;  // the set-key confirmation's status; non-zero: the key is not taken
        int expected;
    } cases[] = {
        {"taken: the real confirmation behind the stray one counts", 0, kKeyAvConfirmed},
        {"refused: the stray one alone is no confirmation", 1, kKeyNotSet},
    };
    addFamilyPort(Family::Av);
    start();
    sim::Device& local = device(kAvLocal);
    // A module-commit confirmation (0xA029, status 0) arrives ahead of every answer.
    local.profile.faults.unrelated.push_back({sim::UnrelatedFrame::Kind::Av, 0xA029});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        local.profile.faults.avStatus = c.refusal;
        const NetworkKey before = local.nmk();
        const NetworkKey key = deriveNMK(c.refusal == 0 ? "Taken Network" : "Refused Network");

        EXPECT_EQ(setLocalNEK(std::nullopt, key), c.expected);

        EXPECT_EQ(local.nmk(), c.refusal == 0 ? key : before);
    }
}

class Hp10ReadBack : public KeySim {
protected:
    void SetUp() override {
        KeySim::SetUp();
        addFamilyPort(Family::HomePlug10);
        start();
    }
    const sim::Device& local() { return device(kHp10Local); }
    NetworkKey nek() const { return wide(deriveHP10Key(kNetworkName)); }

    // A parameter reply of the local device: 19 33 copy block.
    Bytes paramReply(uint8_t copy, const Bytes& block, uint8_t melen = 0x33) {
        return hp10Answer(kHp10Local, cat({{0x19, melen, copy}, block}));
    }
};

TEST_F(Hp10ReadBack, BlockThatDiffersIsLoggedUnderSetnekAndTheSetFails) {
    // The host's copy of the block is off in a byte the key change does not touch.
    core.localParamBlock[40] ^= 0x5A;
    const uint64_t before = clock.tickCount();

    EXPECT_EQ(setLocalNEK(std::nullopt, nek()), kKeyNotSet);

    EXPECT_GE(clock.tickCount() - before, 1600u);
    EXPECT_EQ(sentHp10(0x19).size(), 3u);
    ASSERT_EQ(deviceLog.size(), 3u);
    for (const LogEntry& entry : deviceLog) {
        EXPECT_EQ(entry.kind, DeviceLogKind::keyMismatch);
        EXPECT_EQ(entry.bytes, bytesOf(local().paramBlock(1)));
    }
    // The device did take the key: the frame went out.
    EXPECT_EQ(local().nek(), narrow(nek()));
}

TEST_F(Hp10ReadBack, ListeningGoesOnAfterADifferentBlock) {
    Bytes stale(50, 0x11);
    stale[3] = 0x22;
    deliverLater(paramReply(1, stale), 50);

    EXPECT_EQ(setLocalNEK(std::nullopt, nek()), kKeyAnswering);

    ASSERT_EQ(deviceLog.size(), 1u);
    EXPECT_EQ(deviceLog[0].kind, DeviceLogKind::keyMismatch);
    EXPECT_EQ(deviceLog[0].bytes, stale);
    EXPECT_EQ(sentHp10(0x19).size(), 1u);
}

TEST_F(Hp10ReadBack, OnlyAWholeStoredCopyIsABlockToCompare) {
    Bytes other(50, 0x33);
    other[1] = 0x44;
    Bytes cutShort = paramReply(1, other);
    cutShort.resize(40);
    const struct {
        const char* name;
        Bytes frame;
    } cases[] = {
        {"cut short", cutShort},
        {"working copy", paramReply(2, other)},
        {"other entry length", paramReply(1, other, 0x32)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        deviceLog.clear();
        deliverLater(c.frame, 50);

        EXPECT_EQ(setLocalNEK(std::nullopt, nek()), kKeyAnswering);
        EXPECT_TRUE(deviceLog.empty());
    }
}

TEST_F(Hp10ReadBack, WithoutValidParametersTheFrameGoesOutButTheResultIsZero) {
    core.adapters[0].paramsValid = 0;
    const uint64_t before = clock.tickCount();

    EXPECT_EQ(setLocalNEK(std::nullopt, nek()), kKeyNotSet);

    EXPECT_LT(clock.tickCount() - before, 10u);
    EXPECT_EQ(sentHp10(0x04).size(), 1u);
    EXPECT_TRUE(sentHp10(0x19).empty());
    EXPECT_EQ(local().nek(), narrow(nek()));
    EXPECT_EQ(bytesOf(std::span(core.localParamBlock + 15, 8)), keyBytes(nek(), 8));
}

TEST_F(Hp10ReadBack, UnknownBlockSendsTheKeyWithoutParameterBytes) {
    core.localKeyKnown = 0;
    std::memset(core.localParamBlock, 0, sizeof core.localParamBlock);
    const uint8_t p2Before = local().paramBlock(1)[24];

    EXPECT_EQ(setLocalNEK(std::nullopt, nek()), kKeyNotSet);

    ASSERT_EQ(wire.sent().size(), 1u);
    EXPECT_EQ(
        wire.sent()[0].bytes,
        padded(cat({kBroadcast, kHost0, {0x88, 0x7B, 0x01, 0x04, 0x09, 0x01}, keyBytes(nek(), 8)}),
               60));
    EXPECT_EQ(local().nek(), narrow(nek()));
    EXPECT_EQ(+local().paramBlock(1)[23], 0);
    EXPECT_EQ(+local().paramBlock(1)[24], +p2Before);
    EXPECT_TRUE(deviceLog.empty());
}

TEST_F(Hp10ReadBack, BlockIsExpectedWithTheDekLentToRemoteWork) {
    // Remote work leaves the station's DEK under the local device's key select 0, and the
    // device reports it in its block; the host's copy keeps the device's own key to restore.
    const Key8 ownKey = local().selectZeroKey();
    Mac station = kHp10Station;
    ASSERT_EQ(setRemoteKey(wide(deriveHP10Key(kStationPassword)), nek(), station, false),
              kKeyHp10Confirmed);
    ASSERT_EQ(local().paramBlock(1)[6], deriveHP10Key(kStationPassword)[0]);

    EXPECT_EQ(setLocalNEK(std::nullopt, nek()), kKeyAnswering);
    EXPECT_TRUE(deviceLog.empty());
    EXPECT_EQ(bytesOf(std::span(core.localParamBlock + 6, 8)), bytesOf(ownKey));

    // Once the own key is back, the block is expected with it again.
    copyText(core.stationTables[0].networkName, kNetworkName);
    EXPECT_EQ(reapplyLocalKey(), kKeyAnswering);
    EXPECT_EQ(local().selectZeroKey(), ownKey);
    EXPECT_TRUE(deviceLog.empty());
}

TEST_F(Hp10ReadBack, UnexpectedFailureIsReportedInTheSetLocalNekBox) {
    core.localParamBlock[40] ^= 0x5A;
    deviceLogWriter() = [](DeviceLogKind, std::span<const uint8_t>) {
        throw std::runtime_error("device log unwritable");
    };

    EXPECT_EQ(setLocalNEK(std::nullopt, nek()), kKeyNotSet);

    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "setLocalNEK");
    EXPECT_EQ(recorder.messages[0].text, "Unknown error occurred. Please try after some time.");
    EXPECT_EQ(recorder.messages[0].icon, Icon::None);
    EXPECT_EQ(recorder.messages[0].buttons, Buttons::Ok);
}

TEST_F(Hp10ReadBack, FrameThatCouldNotBeSentChangesNothing) {
    const Bytes blockBefore = bytesOf(core.localParamBlock);
    wire.faultOnSend = true;

    EXPECT_EQ(setLocalNEK(std::nullopt, nek()), kKeyNotSet);

    EXPECT_EQ(bytesOf(core.localParamBlock), blockBefore);
    EXPECT_NE(local().nek(), narrow(nek()));
}

class Reapply : public KeySim {};

TEST_F(Reapply, AvSetsTheNameKeyAndUpdatesOnlyTheLocalDevicesRecord) {
    addFamilyPort(Family::Av);
    start();
    const Mac other{0x00, 0xB0, 0x52, 0x00, 0x00, 0x77};
    appendDevice(kAvStation.data(), "Device 1");
    appendDevice(kAvLocal.data(), "Device 2");
    appendDevice(other.data(), "Device 3");
    copyText(core.stationTables[0].networkName, kNetworkName);
    const NetworkKey nmk = deriveNMK(kNetworkName);

    EXPECT_EQ(reapplyLocalKey(), kKeyAvConfirmed);

    EXPECT_EQ(device(kAvLocal).nmk(), nmk);
    EXPECT_EQ(bytesOf(core.stationTables[0].networkKey), keyBytes(nmk, 16));
    EXPECT_EQ(textOf(core.devices[1].networkName), kNetworkName);
    EXPECT_EQ(bytesOf(core.devices[1].networkKey), keyBytes(nmk, 16));
    for (int i : {0, 2}) {
        EXPECT_EQ(textOf(core.devices[i].networkName), "");
        EXPECT_EQ(bytesOf(core.devices[i].networkKey), Bytes(16, 0));
    }
    const auto requests = sentAv(0xA050);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(+requests[0].bytes[37], 0x0F);
}

struct NameCase {
    const char* name;
    const char* networkName;
    bool pending;
    bool derives;  // the key is derived from the name (else the key the table holds)
};

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.name;
}

class ReapplyName : public KeySim, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ReapplyName, OnlyARealNameGivesTheKey) {
    const NameCase& c = GetParam();
    addFamilyPort(Family::Av);
    start();
    appendDevice(kAvLocal.data(), "Device 1");
    const NetworkKey held = deriveNMK("Hidden Orchard");
    std::memcpy(core.stationTables[0].networkKey, held.data(), held.size());
    copyText(core.stationTables[0].networkName, c.networkName);
    core.networkNamePending = c.pending;
    const NetworkKey expected = c.derives ? deriveNMK(c.networkName) : held;

    EXPECT_EQ(reapplyLocalKey(), kKeyAvConfirmed);

    EXPECT_EQ(device(kAvLocal).nmk(), expected);
    EXPECT_EQ(bytesOf(core.stationTables[0].networkKey), keyBytes(expected, 16));
    // Without a name the local device's record keeps what it had.
    EXPECT_EQ(textOf(core.devices[0].networkName), c.derives ? c.networkName : "");
}

INSTANTIATE_TEST_SUITE_P(
    Names, ReapplyName,
    ::testing::Values(NameCase{"Named", "GardenShed", false, true},
                      // The scan's label for a private network whose name it does not know.
                      NameCase{"ScansLabel", "Unknown Networkname", false, false},
                      NameCase{"Empty", "", false, false},
                      // A user who typed that very text as the new name.
                      NameCase{"LabelTypedAsTheNewName", "Unknown Networkname", true, true}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST_F(Reapply, Hp10RestoresTheLocalDevicesOwnKeyAfterRemoteWork) {
    addFamilyPort(Family::HomePlug10);
    start();
    sim::Device& local = device(kHp10Local);
    const Key8 ownKey = local.selectZeroKey();
    Mac station = kHp10Station;
    ASSERT_EQ(setRemoteKey(wide(deriveHP10Key(kStationPassword)), wide(deriveHP10Key("Other")),
                           station, false),
              kKeyHp10Confirmed);
    ASSERT_TRUE(local.forwardsUnderSelectZero());
    ASSERT_EQ(local.selectZeroKey(), deriveHP10Key(kStationPassword));
    copyText(core.stationTables[0].networkName, kNetworkName);
    const size_t mark = wire.sent().size();
    const NetworkKey nek = wide(deriveHP10Key(kNetworkName));

    EXPECT_EQ(reapplyLocalKey(), kKeyAnswering);

    EXPECT_EQ(local.selectZeroKey(), ownKey);
    EXPECT_FALSE(local.forwardsUnderSelectZero());
    EXPECT_EQ(local.nek(), narrow(nek));
    const auto frames = sentHp10(0x04, mark);
    ASSERT_EQ(frames.size(), 2u);
    const NetworkKey own = wide(ownKey);
    EXPECT_EQ(frames[0].bytes, padded(cat({kBroadcast,
                                           kHost0,
                                           {0x88, 0x7B, 0x02, 0x04, 0x09, 0x00},
                                           keyBytes(own, 8),
                                           {0x1F, 0x03, 0x40, 0x01, 0x01}}),
                                      60));
    EXPECT_EQ(frames[1].bytes, padded(cat({kBroadcast,
                                           kHost0,
                                           {0x88, 0x7B, 0x02, 0x04, 0x09, 0x01},
                                           keyBytes(nek, 8),
                                           {0x1F, 0x03, 0x40, 0x00, 0x01}}),
                                      60));
}

TEST_F(Reapply, Hp10WithoutANameKeepsTheNekTheDeviceHolds) {
    DeviceConfig local = deviceConfig(Family::HomePlug10, kHp10Local);
    local.nek = deriveHP10Key("Hidden Orchard");
    addPort(local);
    start();
    copyText(core.stationTables[0].networkName, kUnknownNetworkName);

    EXPECT_EQ(reapplyLocalKey(), kKeyAnswering);

    EXPECT_EQ(device(kHp10Local).nek(), local.nek);
    const auto sets = sentHp10(0x04);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(Bytes(sets[1].bytes.begin() + 18, sets[1].bytes.begin() + 26), bytesOf(local.nek));
}

TEST_F(Reapply, TurboSetsAgainTheKeyTheLocalDeviceReports) {
    DeviceConfig local = deviceConfig(Family::Turbo, kTurboLocal);
    local.nek = deriveHP10Key("Hidden Orchard");
    addPort(local);
    start();
    std::memset(core.hp10NetworkKey, 0, sizeof core.hp10NetworkKey);

    EXPECT_EQ(reapplyLocalKey(), kKeyHp10Confirmed);

    EXPECT_EQ(bytesOf(core.hp10NetworkKey), bytesOf(local.nek));
    ASSERT_EQ(sentHp10(0x12).size(), 1u);
    const auto sets = sentHp10(0x04);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(Bytes(sets[0].bytes.begin() + 18, sets[0].bytes.begin() + 26), bytesOf(local.nek));
    EXPECT_GT(sets[0].atMs, sentHp10(0x12)[0].atMs);
}

TEST_F(Reapply, TurboSetsNothingWhenNoKeyWasEverRead) {
    addFamilyPort(Family::Turbo);
    start();
    std::memset(core.hp10NetworkKey, 0, sizeof core.hp10NetworkKey);
    device(kTurboLocal).profile.faults.silent = true;

    EXPECT_EQ(reapplyLocalKey(), kKeyNotSet);

    EXPECT_EQ(sentHp10(0x12).size(), 1u);
    EXPECT_TRUE(sentHp10(0x04).empty());
}

TEST_F(Reapply, TurboWithItsKeyReplyLostSetsTheKeyTheScanRead) {
    DeviceConfig local = deviceConfig(Family::Turbo, kTurboLocal);
    local.nek = deriveHP10Key("Hidden Orchard");
    addPort(local);
    start();
    // The read reply carrying the key (entry 0x13) misses its 100 ms window.
    device(kTurboLocal).profile.faults.latencyByType[0x13] = 1000;

    EXPECT_EQ(reapplyLocalKey(), kKeyHp10Confirmed);

    ASSERT_EQ(sentHp10(0x12).size(), 1u);
    const auto sets = sentHp10(0x04);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(Bytes(sets[0].bytes.begin() + 18, sets[0].bytes.begin() + 26), bytesOf(local.nek));
}

}  // namespace
}  // namespace corvel::test
