// SPDX-License-Identifier: MIT
#include "network/device_key.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "scan/device_list.h"
#include "network/key_state.h"
#include "network/key_target.h"
#include "network/local_key.h"
#include "network/remote_key.h"
#include "tests/network/key_sim_fixture.h"

namespace corvel::test {
namespace {


class DeviceKey : public KeySim {
protected:
    // Each attempt's request for the device: AV, the set key with PEKS 0x00; Turbo, the
    // encrypted set key; 1.0, the DEK under key select 0 that opens each attempt.
    static bool isAttempt(Family family, const Bytes& f) {
        if (family == Family::Av) return mmtypeOf(f) == 0xA050 && f[37] == 0x00;
        if (family == Family::Turbo) return isHp10(f) && f[15] == 0x14;
        return isHp10(f) && f[14] == 2 && f[15] == 0x04 && f[17] == 0x00;
    }
    std::vector<MemoryWire::SentFrame> attempts(Family family) const {
        std::vector<MemoryWire::SentFrame> out;
        for (const auto& f : wire.sent())
            if (isAttempt(family, f.bytes)) out.push_back(f);
        return out;
    }
    // The key in a 1.0 / Turbo set-key frame: Turbo, the inner entry's of the encrypted frame;
    // 1.0, the one of a plain set key.
    static Key8 keyIn(Family family, const Bytes& f) {
        Key8 key{};
        std::copy_n(f.begin() + (family == Family::Turbo ? 33 : 18), 8, key.begin());
        return key;
    }
    // 1.0: the keys of the set keys with key select 1 and no parameter entry, the frames that
    // carry the network key to the device.
    std::vector<Key8> hp10KeysToDevice() const {
        std::vector<Key8> keys;
        for (const auto& f : wire.sent())
            if (isHp10(f.bytes) && f.bytes[14] == 1 && f.bytes[15] == 0x04 && f.bytes[17] == 0x01)
                keys.push_back(keyIn(Family::HomePlug10, f.bytes));
        return keys;
    }

    // Runs `action` once the wire shows `count` attempts (checked every 50 ms).
    void onAttempt(Family family, size_t count, std::function<void()> action) {
        watch = [this, family, count, action] {
            if (attempts(family).size() >= count) {
                action();
                return;
            }
            clock.scheduleAfter(50, watch);
        };
        clock.scheduleAfter(50, watch);
    }

    std::function<void()> watch;
};

struct FamilyParam {
    const char* name;
    Family family;
};

void PrintTo(const FamilyParam& p, std::ostream* out) {
    *out << p.name;
}

std::string familyParamName(const ::testing::TestParamInfo<FamilyParam>& info) {
    return info.param.name;
}

class EveryFamily : public DeviceKey, public ::testing::WithParamInterface<FamilyParam> {};

TEST_P(EveryFamily, DeviceConfirmingOnTheThirdAttemptAfterTwoPauses) {
    const Family family = GetParam().family;
    addFamilyPort(family);
    start();
    sim::Device& station = device(stationMacOf(family));
    station.profile.faults.offline = true;
    // Back during the pause that follows the second attempt.
    onAttempt(family, 2, [this, &station] {
        clock.scheduleAfter(4500, [&station] { station.profile.faults.offline = false; });
    });
    KeyTarget target{kStationPassword, stationMacOf(family), 0};

    EXPECT_TRUE(setDeviceKey(target, kNetworkName, false));
    const uint64_t returnedAt = clock.tickCount();

    EXPECT_EQ(+target.result, 1);
    EXPECT_TRUE(holdsKey(station, nameKey(family, kNetworkName)));
    const auto sent = attempts(family);
    ASSERT_EQ(sent.size(), 3u);
    // A failed attempt: up to 3700 ms for the confirmation and 200 ms of probe, then 1000 ms.
    for (size_t i = 1; i < sent.size(); ++i) {
        const uint64_t gap = sent[i].atMs - sent[i - 1].atMs;
        EXPECT_GE(gap, 4900u) << "between attempts " << i << " and " << i + 1;
        EXPECT_LE(gap, 4930u) << "between attempts " << i << " and " << i + 1;
    }
    // No pause after the attempt that worked.
    EXPECT_LT(returnedAt - sent[2].atMs, 50u);
}

TEST_P(EveryFamily, DeviceThatNeverAnswersHoldsTheInterfaceForFiveAttempts) {
    const Family family = GetParam().family;
    addFamilyPort(family);
    start();
    device(stationMacOf(family)).profile.faults.offline = true;
    KeyTarget target{kStationPassword, stationMacOf(family), 1};

    EXPECT_FALSE(setDeviceKey(target, kNetworkName, false));
    const uint64_t returnedAt = clock.tickCount();

    EXPECT_EQ(+target.result, 0);
    const auto sent = attempts(family);
    ASSERT_EQ(sent.size(), 5u);
    // Five times 3.7 s + 0.2 s + 1 s, the last pause included.
    const uint64_t held = returnedAt - sent[0].atMs;
    EXPECT_GE(held, 5u * 4900u);
    EXPECT_LE(held, 5u * 4900u + 150u);
}

INSTANTIATE_TEST_SUITE_P(Families, EveryFamily,
                         ::testing::Values(FamilyParam{"Av", Family::Av},
                                           FamilyParam{"Turbo", Family::Turbo},
                                           FamilyParam{"Hp10", Family::HomePlug10}),
                         familyParamName);

class Hp10Families : public DeviceKey, public ::testing::WithParamInterface<FamilyParam> {
protected:
    // Local device and station on a private network the scan knows.
    void startPrivate() {
        const Family family = GetParam().family;
        DeviceConfig local = deviceConfig(family, localMacOf(family));
        DeviceConfig station = deviceConfig(family, stationMacOf(family), kStationPassword);
        local.nek = station.nek = oldKey;
        addPort(local, {station});
        start();
        copyText(core.stationTables[0].networkName, kOldName);
    }
    Family family() const { return GetParam().family; }
    sim::Device& local() { return device(localMacOf(family())); }
    sim::Device& station() { return device(stationMacOf(family())); }

    static constexpr const char* kOldName = "Old Orchard";
    const Key8 oldKey = deriveHP10Key(kOldName);
};

TEST_P(Hp10Families, FailedRandomKeyPutsBothBackOnTheOldKey) {
    startPrivate();
    // The station takes every key but never says so.
    station().profile.faults.silent = true;
    KeyTarget target{kStationPassword, kBroadcastMac, 0};

    EXPECT_FALSE(setDeviceKey(target, std::nullopt, true));

    EXPECT_EQ(+target.result, 0);
    EXPECT_EQ(local().nek(), oldKey);
    EXPECT_EQ(station().nek(), oldKey);
    EXPECT_TRUE(membershipKeyState().savedLocalKeyValid);
    EXPECT_EQ(membershipKeyState().savedLocalKey, oldKey);
    // Five attempts with the random key, then one with the old key.
    std::vector<Key8> given;
    if (family() == Family::Turbo) {
        for (const auto& f : attempts(family())) given.push_back(keyIn(family(), f.bytes));
    } else {
        given = hp10KeysToDevice();
    }
    ASSERT_EQ(given.size(), 6u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(given[i], given[0]);
        EXPECT_NE(given[i], oldKey);
    }
    EXPECT_EQ(given[5], oldKey);
}

TEST_P(Hp10Families, RandomKeyFindsTheDeviceAndAPendingMarkReturnsToTheSavedKey) {
    const struct {
        const char* name;
        bool addPending;
        bool passwordCheckPending;
    } marks[] = {
        {"add pending", true, false},
        {"password check pending", false, true},
    };
    startPrivate();
    for (const auto& m : marks) {
        SCOPED_TRACE(m.name);
        KeyTarget target{kStationPassword, kBroadcastMac, 0};

        ASSERT_TRUE(setDeviceKey(target, std::nullopt, true));

        EXPECT_EQ(target.mac, stationMacOf(family()));
        EXPECT_NE(local().nek(), oldKey);
        EXPECT_EQ(station().nek(), local().nek());
        EXPECT_EQ(membershipKeyState().savedLocalKey, oldKey);

        pendingAdd().active = m.addPending;
        membershipKeyState().passwordCheckPending = m.passwordCheckPending;
        ASSERT_TRUE(setDeviceKey(target, kNetworkName, false));

        // The network name's own key is not used while the mark is set.
        EXPECT_EQ(local().nek(), oldKey);
        EXPECT_EQ(station().nek(), oldKey);
        EXPECT_FALSE(membershipKeyState().passwordCheckPending);
        pendingAdd().active = false;
        // As every caller ends; the network is the one named in the station table.
        reapplyLocalKey();
        EXPECT_EQ(local().nek(), oldKey);
    }
}

TEST_F(DeviceKey, LostTurboKeyReplyGoesOnWithTheKeyTheScanRead) {
    DeviceConfig local = deviceConfig(Family::Turbo, kTurboLocal);
    DeviceConfig station = deviceConfig(Family::Turbo, kTurboStation, kStationPassword);
    local.nek = station.nek = deriveHP10Key("Old Orchard");
    addPort(local, {station});
    start();
    // The key reply (read reply, entry 0x13) comes a second late: lost to its 100 ms window.
    device(kTurboLocal).profile.faults.latencyByType[0x13] = 1000;
    KeyTarget target{kStationPassword, kBroadcastMac, 0};

    ASSERT_TRUE(setDeviceKey(target, std::nullopt, true));

    EXPECT_TRUE(membershipKeyState().savedLocalKeyValid);
    EXPECT_EQ(membershipKeyState().savedLocalKey, deriveHP10Key("Old Orchard"));
    EXPECT_EQ(target.mac, kTurboStation);
    EXPECT_EQ(device(kTurboStation).nek(), device(kTurboLocal).nek());
}

TEST_P(Hp10Families, PendingMarkWithoutASavedKeyUsesTheNetworkKey) {
    startPrivate();
    pendingAdd().active = true;
    KeyTarget target{kStationPassword, stationMacOf(family()), 0};

    EXPECT_TRUE(setDeviceKey(target, kNetworkName, false));

    EXPECT_EQ(local().nek(), deriveHP10Key(kNetworkName));
    EXPECT_EQ(station().nek(), deriveHP10Key(kNetworkName));
}

INSTANTIATE_TEST_SUITE_P(Families, Hp10Families,
                         ::testing::Values(FamilyParam{"Turbo", Family::Turbo},
                                           FamilyParam{"Hp10", Family::HomePlug10}),
                         familyParamName);

TEST_F(DeviceKey, RandomKeyTheLocalDeviceDidNotConfirmIsTakenBackAtOnce) {
    DeviceConfig local = deviceConfig(Family::HomePlug10, kHp10Local);
    local.nek = deriveHP10Key("Old Orchard");
    addPort(local, {deviceConfig(Family::HomePlug10, kHp10Station, kStationPassword)});
    start();
    // The block reads back different in a byte the key change does not touch: the set is not
    // confirmed, although the device took the random key.
    core.localParamBlock[40] ^= 0x5A;
    KeyTarget target{kStationPassword, kBroadcastMac, 0};

    EXPECT_FALSE(setDeviceKey(target, std::nullopt, true));

    EXPECT_EQ(device(kHp10Local).nek(), local.nek);
    EXPECT_TRUE(attempts(Family::HomePlug10).empty());
    const auto sets = sentHp10(0x04);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_NE(Bytes(sets[0].bytes.begin() + 18, sets[0].bytes.begin() + 26), bytesOf(local.nek));
    EXPECT_EQ(Bytes(sets[1].bytes.begin() + 18, sets[1].bytes.begin() + 26), bytesOf(local.nek));
}

TEST_F(DeviceKey, AvKeyIsTheNamesOrByPasswordTheLocalDevicesAndTheLocalDeviceIsLeftAlone) {
    const NetworkKey scanned = deriveNMK("Hidden Orchard");
    const struct {
        const char* name;
        bool byPassword;
        NetworkKey expected;
    } cases[] = {
        {"by address", false, deriveNMK(kNetworkName)},
        {"by password", true, scanned},
    };
    addFamilyPort(Family::Av);
    start();
    std::memcpy(core.avNetworkKey, scanned.data(), scanned.size());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeyTarget target{kStationPassword, kAvStation, 0};

        EXPECT_TRUE(setDeviceKey(target, kNetworkName, c.byPassword));

        EXPECT_EQ(device(kAvStation).nmk(), c.expected);
        EXPECT_EQ(device(kAvLocal).nmk(), publicAvKey());
    }
    for (const auto& f : sentAv(0xA050)) EXPECT_EQ(+f.bytes[37], 0x00);
}

enum class Refusal { avRandomKey, hp10BlockUnknown, turboKeyUnread };

struct RefusalCase {
    const char* name;
    Family family;
    Refusal refusal;
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

class RandomKeyRefusal : public DeviceKey, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RandomKeyRefusal, NoKeyIsChangedThatCouldNotBePutBack) {
    const RefusalCase& c = GetParam();
    addFamilyPort(c.family);
    start();
    if (c.refusal == Refusal::hp10BlockUnknown) core.localKeyKnown = 0;
    if (c.refusal == Refusal::turboKeyUnread) {
        // Neither the scan nor the key query brought a key.
        std::memset(core.hp10NetworkKey, 0, sizeof core.hp10NetworkKey);
        device(kTurboLocal).profile.faults.silent = true;
    }
    KeyTarget target{kStationPassword, kBroadcastMac, 0};

    EXPECT_FALSE(setDeviceKey(target, std::nullopt, true));

    for (const auto& f : wire.sent()) {
        EXPECT_FALSE(isHp10(f.bytes) && f.bytes[15] == 0x04);
        EXPECT_FALSE(mmtypeOf(f.bytes) == 0xA050);
    }
    const NetworkKey before = c.family == Family::Av ? publicAvKey() : wide(publicHp10Key());
    EXPECT_TRUE(holdsKey(device(localMacOf(c.family)), before));
    EXPECT_TRUE(holdsKey(device(stationMacOf(c.family)), before));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RandomKeyRefusal,
    ::testing::Values(
        // Nothing would bring the device back to the local device's network.
        RefusalCase{"AvLocalDevice", Family::Av, Refusal::avRandomKey},
        // The local 1.0 device's key is not known, so it could not be saved.
        RefusalCase{"Hp10BlockUnknown", Family::HomePlug10, Refusal::hp10BlockUnknown},
        // No key was ever read from the local Turbo device.
        RefusalCase{"TurboKeyUnread", Family::Turbo, Refusal::turboKeyUnread}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_P(EveryFamily, NothingIsSentWithoutAHostSourceAddress) {
    const Family family = GetParam().family;
    addFamilyPort(family);
    start();
    std::memset(interfaceEntries[0].interfaceMac, 0, 6);
    const NetworkKey key = nameKey(family, kNetworkName);
    Mac address = stationMacOf(family);
    KeyTarget target{kStationPassword, address, 0};

    EXPECT_EQ(setLocalNEK(std::nullopt, key), kKeyNotSet);
    EXPECT_EQ(setRemoteKey(key, key, address, false), kKeyNotSet);
    EXPECT_EQ(sendRemoteKey(address, key, key), kKeyNotSet);
    EXPECT_FALSE(probeDevice(address, false));
    EXPECT_FALSE(setDeviceKey(target, kNetworkName, false));
    EXPECT_FALSE(setDeviceKey(target, std::nullopt, true));
    reapplyLocalKey();

    EXPECT_TRUE(wire.sent().empty());
    EXPECT_EQ(address, stationMacOf(family));
}

TEST_F(DeviceKey, ScanIsOffDuringTheOperationAndAsFoundAfterIt) {
    addFamilyPort(Family::HomePlug10);
    start();
    const struct {
        const char* name;
        std::function<void()> run;
    } operations[] = {
        {"setDeviceKey",
         [] {
             KeyTarget target{kStationPassword, kHp10Station, 0};
             setDeviceKey(target, kNetworkName, false);
         }},
        {"reapplyLocalKey", [] { reapplyLocalKey(); }},
        {"1.0 set-key frame", [] { setLocalNEK(std::nullopt, wide(deriveHP10Key(kNetworkName))); }},
    };
    for (const auto& op : operations) {
        for (const bool scanning : {true, false}) {
            SCOPED_TRACE(std::string(op.name) + (scanning ? ", scan on" : ", scan off"));
            setAutoscan(scanning);
            int32_t pausedDuring = -1;
            clock.scheduleAfter(20, [&pausedDuring] { pausedDuring = core.scanPaused; });

            op.run();

            EXPECT_EQ(pausedDuring, 1);
            EXPECT_EQ(+core.scanPaused, scanning ? 0 : 1);
        }
    }
}

}  // namespace
}  // namespace corvel::test
