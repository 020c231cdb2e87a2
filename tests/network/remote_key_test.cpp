// SPDX-License-Identifier: MIT
#include "network/remote_key.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/observer.h"
#include "scan/device_list.h"
#include "network/key_state.h"
#include "network/key_target.h"
#include "tests/network/key_sim_fixture.h"

namespace corvel::test {
namespace {

// The access key of the station's password and a new network key, in the local family's form.
NetworkKey accessKeyOf(Family family, const std::string& password) {
    return family == Family::Av ? deriveDAK(password) : wide(deriveHP10Key(password));
}

class RemoteKey : public KeySim {
protected:
    void startWith(Family family) {
        addFamilyPort(family);
        start();
    }
};

TEST_F(RemoteKey, Hp10SendsThreeFramesThenTakesTheDevicesConfirmation) {
    startWith(Family::HomePlug10);
    const NetworkKey dek = accessKeyOf(Family::HomePlug10, kStationPassword);
    const NetworkKey nek = nameKey(Family::HomePlug10, kNetworkName);
    const Bytes paramsBefore(core.localParamBlock + 23, core.localParamBlock + 26);
    Mac station = kHp10Station;

    EXPECT_EQ(setRemoteKey(dek, nek, station, false), kKeyHp10Confirmed);

    // The DEK under key select 0 with P2 marked, the NEK to the device, the marked parameters.
    const Bytes expected[] = {
        padded(cat({kBroadcast,
                    kHost0,
                    {0x88, 0x7B, 0x02, 0x04, 0x09, 0x00},
                    keyBytes(dek, 8),
                    {0x1F, 0x03, 0x40, 0x01, 0x00}})),
        padded(cat({macBytes(kHp10Station),
                    kHost0,
                    {0x88, 0x7B, 0x01, 0x04, 0x09, 0x01},
                    keyBytes(nek, 8)})),
        padded(cat({kBroadcast, kHost0, {0x88, 0x7B, 0x01, 0x1F, 0x03, 0x40, 0x01, 0x01}})),
    };
    ASSERT_EQ(wire.sent().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(wire.sent()[i].bytes, expected[i]);
        EXPECT_EQ(wire.sent()[i].atMs, wire.sent()[0].atMs);
    }
    EXPECT_EQ(station, kHp10Station);
    EXPECT_EQ(device(kHp10Station).nek(), narrow(nek));
    // Until reapplyLocalKey the local device keeps the DEK and forwards under it; the host's copy
    // of its parameters is untouched, as the marked ones are not remembered.
    EXPECT_EQ(device(kHp10Local).selectZeroKey(), narrow(dek));
    EXPECT_TRUE(device(kHp10Local).forwardsUnderSelectZero());
    EXPECT_EQ(Bytes(core.localParamBlock + 23, core.localParamBlock + 26), paramsBefore);
}

TEST_F(RemoteKey, Hp10IsRefusedWhileTheLocalParameterBlockIsUnknown) {
    startWith(Family::HomePlug10);
    core.localKeyKnown = 0;
    Mac station = kHp10Station;

    EXPECT_EQ(setRemoteKey(accessKeyOf(Family::HomePlug10, kStationPassword),
                           nameKey(Family::HomePlug10, kNetworkName), station, false),
              kKeyNotSet);
    EXPECT_TRUE(wire.sent().empty());
}

TEST_F(RemoteKey, AvRequestCarriesPeksZeroTheRdaAndTheDak) {
    const struct {
        const char* name;
        bool byPassword;
        Mac rda;
    } cases[] = {
        {"by address", false, kAvStation},
        {"by password", true, kBroadcastMac},
    };
    startWith(Family::Av);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t mark = wire.sent().size();
        const NetworkKey dak = accessKeyOf(Family::Av, kStationPassword);
        const NetworkKey nmk = deriveNMK(std::string(kNetworkName) + c.name);
        Mac address = kAvStation;

        EXPECT_EQ(setRemoteKey(dak, nmk, address, c.byPassword), kKeyAvConfirmed);

        const auto requests = sentAv(0xA050, mark);
        ASSERT_EQ(requests.size(), 1u);
        // To the local device, which forwards the NMK under the DAK (PEKS 0x00) to the RDA.
        EXPECT_EQ(requests[0].bytes, cat({macBytes(kAvLocal),
                                          kHost0,
                                          {0x88, 0xE1, 0x00, 0x50, 0xA0, 0x00, 0xB0, 0x52, 0x01},
                                          keyBytes(nmk, 16),
                                          {0x00},
                                          macBytes(c.rda),
                                          keyBytes(dak, 16),
                                          Bytes(4, 0)}));
        EXPECT_EQ(device(kAvStation).nmk(), nmk);
        EXPECT_EQ(device(kAvLocal).nmk(), publicAvKey());
        // An AV confirmation does not name the device: the address stays as it was given.
        EXPECT_EQ(address, c.byPassword ? kBroadcastMac : kAvStation);
    }
}

TEST_F(RemoteKey, TurboSendsOneEncryptedFrameOf41Bytes) {
    startWith(Family::Turbo);
    const NetworkKey dek = accessKeyOf(Family::Turbo, kStationPassword);
    const NetworkKey nek = nameKey(Family::Turbo, kNetworkName);
    Mac station = kTurboStation;

    EXPECT_EQ(setRemoteKey(dek, nek, station, false), kKeyHp10Confirmed);

    ASSERT_EQ(wire.sent().size(), 1u);
    const Bytes frame = cat({kBroadcast,
                             kHost0,
                             {0x88, 0x7B, 0x01, 0x14, 0x0A, 0x01, 0x00},
                             keyBytes(dek, 8),
                             {0x88, 0x7B, 0x01, 0x04, 0x09, 0x01},
                             keyBytes(nek, 8)});
    ASSERT_EQ(frame.size(), 41u);
    EXPECT_EQ(wire.sent()[0].bytes, padded(frame));
    EXPECT_EQ(device(kTurboStation).nek(), narrow(nek));
    EXPECT_EQ(device(kTurboLocal).nek(), publicHp10Key());
}

enum class Situation { rightPassword, wrongPasswordButAnswering, deviceOffline };

struct CodeCase {
    const char* name;
    Family family;
    Situation situation;
    int expected;
};

void PrintTo(const CodeCase& c, std::ostream* out) {
    *out << c.name;
}

class ResultCode : public RemoteKey, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ResultCode, TellsConfirmedAnsweringAndFailed) {
    const CodeCase& c = GetParam();
    startWith(c.family);
    const Mac stationMac = stationMacOf(c.family);
    // Station and local device share the public key, so a device that refuses the new key
    // still answers a probe.
    if (c.situation == Situation::deviceOffline) device(stationMac).profile.faults.offline = true;
    const std::string password =
        c.situation == Situation::rightPassword ? kStationPassword : kWrongPassword;
    const NetworkKey newKey = nameKey(c.family, kNetworkName);
    Mac address = stationMac;

    EXPECT_EQ(setRemoteKey(accessKeyOf(c.family, password), newKey, address, false), c.expected);

    EXPECT_EQ(address, stationMac);
    EXPECT_EQ(holdsKey(device(stationMac), newKey), c.situation == Situation::rightPassword);
}

INSTANTIATE_TEST_SUITE_P(
    FamiliesAndSituations, ResultCode,
    ::testing::Values(
        CodeCase{"AvConfirmed", Family::Av, Situation::rightPassword, kKeyAvConfirmed},
        // An AV probe is answered only by AV frames, which do not count.
        CodeCase{"AvRefused", Family::Av, Situation::wrongPasswordButAnswering, kKeyNotSet},
        CodeCase{"AvOffline", Family::Av, Situation::deviceOffline, kKeyNotSet},
        CodeCase{"TurboConfirmed", Family::Turbo, Situation::rightPassword, kKeyHp10Confirmed},
        CodeCase{"TurboAnswering", Family::Turbo, Situation::wrongPasswordButAnswering,
                 kKeyAnswering},
        CodeCase{"TurboOffline", Family::Turbo, Situation::deviceOffline, kKeyNotSet},
        CodeCase{"Hp10Confirmed", Family::HomePlug10, Situation::rightPassword, kKeyHp10Confirmed},
        CodeCase{"Hp10Answering", Family::HomePlug10, Situation::wrongPasswordButAnswering,
                 kKeyAnswering},
        CodeCase{"Hp10Offline", Family::HomePlug10, Situation::deviceOffline, kKeyNotSet}),
    [](const ::testing::TestParamInfo<CodeCase>& info) { return std::string(info.param.name); });

struct ByPasswordCase {
    const char* name;
    Family family;
    int expected;
    bool learnsAddress;  // the answering device's address is written back, else broadcast
    bool expectsAdd;     // ... and becomes the expected address of the add in progress
};

void PrintTo(const ByPasswordCase& c, std::ostream* out) {
    *out << c.name;
}

class ByPassword : public RemoteKey, public ::testing::WithParamInterface<ByPasswordCase> {};

TEST_P(ByPassword, BroadcastsAndLearnsWhoAnswered) {
    const ByPasswordCase& c = GetParam();
    startWith(c.family);
    const Mac stationMac = stationMacOf(c.family);
    Mac address = kBroadcastMac;

    EXPECT_EQ(
        setRemoteKey(accessKeyOf(c.family, kStationPassword), nameKey(c.family, kNetworkName), address, true),
        c.expected);

    EXPECT_EQ(address, c.learnsAddress ? stationMac : kBroadcastMac);
    EXPECT_EQ(pendingAdd().expectedMac, c.expectsAdd ? stationMac : Mac{});
    EXPECT_TRUE(holdsKey(device(stationMac), nameKey(c.family, kNetworkName)));
}

INSTANTIATE_TEST_SUITE_P(
    Families, ByPassword,
    ::testing::Values(ByPasswordCase{"Av", Family::Av, kKeyAvConfirmed, false, false},
                      ByPasswordCase{"Turbo", Family::Turbo, kKeyHp10Confirmed, true, true},
                      ByPasswordCase{"Hp10", Family::HomePlug10, kKeyHp10Confirmed, true, false}),
    [](const ::testing::TestParamInfo<ByPasswordCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(RemoteKey, Hp10ByPasswordTakesTheDeviceNotTheLocalDevicesOwnConfirmation) {
    startWith(Family::HomePlug10);
    Mac address = kBroadcastMac;

    EXPECT_EQ(setRemoteKey(accessKeyOf(Family::HomePlug10, kStationPassword),
                           nameKey(Family::HomePlug10, kNetworkName), address, true),
              kKeyHp10Confirmed);

    // The local device confirmed first (the DEK it took), the station after it.
    EXPECT_EQ(address, kHp10Station);
    // The device's key went out by broadcast, so the local device holds it too; that frame is
    // marked, so no read-back ran and nothing was logged.
    EXPECT_EQ(device(kHp10Local).nek(), narrow(nameKey(Family::HomePlug10, kNetworkName)));
    EXPECT_TRUE(sentHp10(0x19).empty());
    EXPECT_TRUE(deviceLog.empty());
}

TEST_F(RemoteKey, TurboByPasswordWithoutAnAnswerLearnsNoAddress) {
    startWith(Family::Turbo);
    device(kTurboStation).profile.faults.offline = true;
    Mac address = kBroadcastMac;

    EXPECT_EQ(setRemoteKey(accessKeyOf(Family::Turbo, kStationPassword), nameKey(Family::Turbo, kNetworkName),
                           address, true),
              kKeyNotSet);

    EXPECT_EQ(address, kBroadcastMac);
    EXPECT_EQ(pendingAdd().expectedMac, Mac{});
}

class Probe : public RemoteKey {};

TEST_F(Probe, OnlyAStationAnswerWithinTheWindowCounts) {
    const Mac stranger{0x00, 0x0B, 0x3B, 0x00, 0x02, 0x33};
    const struct {
        const char* name;
        bool stationOnline;
        bool broadcastMode;
        std::vector<std::pair<Mac, uint64_t>> injected;  // 0x08 answers: sender, arrival (ms)
        bool expected;
        Mac learnt;
    } cases[] = {
        {"the device answers", true, false, {}, true, kHp10Station},
        {"the device is away", false, false, {}, false, kHp10Station},
        {"another station answers", false, false, {{stranger, 20}}, false, kHp10Station},
        {"broadcast: the local device is not the device",
         false,
         true,
         {{kHp10Local, 20}},
         false,
         kBroadcastMac},
        {"broadcast: another sender is",
         false,
         true,
         {{kHp10Local, 20}, {stranger, 40}},
         true,
         stranger},
        {"broadcast: a group source is no device",
         false,
         true,
         {{kBroadcastMac, 20}},
         false,
         kBroadcastMac},
        {"broadcast: too late", false, true, {{stranger, 260}}, false, kBroadcastMac},
    };
    startWith(Family::HomePlug10);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clock.sleepMs(500);  // whatever an earlier case left is delivered and taken
        MmeFrame drain;
        while (receiveFrame(drain)) {
        }
        device(kHp10Station).profile.faults.offline = !c.stationOnline;
        for (const auto& [from, at] : c.injected) deliverLater(hp10Answer(from, {0x08, 0x00}), at);
        Mac address = c.broadcastMode ? kBroadcastMac : kHp10Station;

        EXPECT_EQ(probeDevice(address, c.broadcastMode), c.expected);
        EXPECT_EQ(address, c.learnt);
    }
}

TEST_F(Probe, AvVersionConfirmationsDoNotCount) {
    startWith(Family::Av);
    Mac address = kAvStation;

    EXPECT_FALSE(probeDevice(address, false));

    // The version request went out by broadcast and both devices answered it.
    ASSERT_EQ(sentAv(0xA000).size(), 1u);
    EXPECT_EQ(macAt(sentAv(0xA000)[0].bytes, 0), kBroadcastMac);
    EXPECT_EQ(device(kAvStation).received().size(), 1u);
}

}  // namespace
}  // namespace corvel::test
