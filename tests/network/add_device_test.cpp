// SPDX-License-Identifier: MIT
#include "network/add_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "network/device_dialogs.h"
#include "network/network_name_ops.h"
#include "tests/network/membership_sim_fixture.h"

namespace corvel::test {
namespace {

const std::string kHomeNetwork = "HomeNetwork";
const std::string kElsewhere = "Elsewhere";

// ---------------------------------------------------------------------------------------------
// The password forms a 1.0 / Turbo add tries

TEST(DevicePasswordForms, TriesEachDifferentFormOnceAndARepeatedFormTwice) {
    const struct {
        const char* typed;
        std::vector<std::string> forms;
    } cases[] = {
        // Upper case with its dashes: both other forms equal the typed text.
        {"QWER-TYUI-ASDF-GHJK", {"QWER-TYUI-ASDF-GHJK"}},
        // Lower case with dashes: the third form equals the second and is tried again.
        {"qwer-tyui-asdf-ghjk",
         {"qwer-tyui-asdf-ghjk", "QWER-TYUI-ASDF-GHJK", "QWER-TYUI-ASDF-GHJK"}},
        {"qwertyuiasdfghjk", {"qwertyuiasdfghjk", "QWERTYUIASDFGHJK", "QWER-TYUI-ASDF-GHJK"}},
        {"QWERTYUIASDFGHJK", {"QWERTYUIASDFGHJK", "QWER-TYUI-ASDF-GHJK"}},
        // Dashes go in only where another character stands.
        {"QWER-TYUIASDF", {"QWER-TYUIASDF", "QWER-TYUI-ASDF"}},
        {"abc", {"abc", "ABC", "ABC"}},
        // Only a to z change case.
        {"qw3r-\xe9yui-asdf-ghjk",
         {"qw3r-\xe9yui-asdf-ghjk", "QW3R-\xe9YUI-ASDF-GHJK", "QW3R-\xe9YUI-ASDF-GHJK"}},
    };
    for (const auto& c : cases) EXPECT_EQ(devicePasswordForms(c.typed), c.forms) << c.typed;
}

// ---------------------------------------------------------------------------------------------
// AV: the random-key search

class AvAdd : public MembershipSim {
protected:
    // The local device and a listed station on the public network; the new device elsewhere.
    void build(std::vector<DeviceConfig> extra = {}) {
        std::vector<DeviceConfig> stations{
            deviceConfig(Family::Av, kAvStation2, kOtherPassword),
            onNetwork(deviceConfig(Family::Av, kAvStation, kStationPassword), kElsewhere)};
        for (DeviceConfig& d : extra) stations.push_back(d);
        addPort(deviceConfig(Family::Av, kAvLocal), stations);
        start();
        ownNmk = net.port(0).local->nmk();
        operationHooks().addProgressTarget = [this](std::string_view text) {
            progress.emplace_back(text);
        };
        mark = wire.sent().size();
    }
    // The local device's own set keys (PEKS 0x0F) and the ones for a device (PEKS 0x00).
    std::vector<AvSetKey> localKeys() const { return keysWithPeks(0x0F); }
    std::vector<AvSetKey> remoteKeys() const { return keysWithPeks(0x00); }
    std::vector<AvSetKey> keysWithPeks(uint8_t peks) const {
        std::vector<AvSetKey> out;
        for (const AvSetKey& k : avSetKeys(mark))
            if (k.peks == peks) out.push_back(k);
        return out;
    }

    Key16 ownNmk{};
    size_t mark = 0;
    std::vector<std::string> progress;
};

TEST_F(AvAdd, OneStationOnTheRandomKeyIsAddedAndAdoptedWhenTheScanSeesIt) {
    build();

    EXPECT_EQ(addDeviceToNetwork("Garage", kStationPassword), DialogOutcome::waiting);

    EXPECT_TRUE(recorder.messages.empty()) << ::testing::PrintToString(recorder.texts());
    const auto keys = avSetKeys(mark);
    ASSERT_EQ(keys.size(), 4u);
    const Key16 dak = deriveDAK(kStationPassword);
    // The local device alone on a random key, offered by broadcast under the device's DAK ...
    const Key16 random = keys[0].nmk;
    EXPECT_EQ(keys[0].peks, 0x0F);
    EXPECT_NE(random, ownNmk);
    EXPECT_NE(random, deriveNMK(kElsewhere));
    EXPECT_EQ(keys[1].peks, 0x00);
    EXPECT_EQ(keys[1].nmk, random);
    EXPECT_EQ(keys[1].rda, kBroadcastMac);
    EXPECT_EQ(keys[1].dak, dak);
    EXPECT_GE(keys[1].atMs - keys[0].atMs, 2000u);
    // ... then back on its own NMK before the device is given the network's NMK.
    EXPECT_EQ(keys[2].peks, 0x0F);
    EXPECT_EQ(keys[2].nmk, ownNmk);
    EXPECT_GE(keys[2].atMs - keys[1].atMs, 10000u);
    EXPECT_EQ(keys[3].peks, 0x00);
    EXPECT_EQ(keys[3].nmk, ownNmk);
    EXPECT_EQ(keys[3].rda, kBroadcastMac);
    EXPECT_EQ(keys[3].dak, dak);
    EXPECT_GE(keys[3].atMs - keys[2].atMs, 10000u);
    EXPECT_EQ(device(kAvStation).nmk(), ownNmk);
    EXPECT_EQ(device(kAvStation2).nmk(), ownNmk);
    EXPECT_EQ(progress, (std::vector<std::string>{
                            "Please wait, this operation will take approximately 30 seconds to "
                            "complete..",
                            "Devices will reboot while this operation...",
                            "Trying to add device to the Network...", "Proceeding..."}));

    // The name and password wait for the device to show up.
    EXPECT_TRUE(pendingAdd().active);
    EXPECT_EQ(pendingAdd().expectedMac, kAvStation);
    EXPECT_EQ(findDeviceByName("Garage"), 0);
    ASSERT_TRUE(runUntilAdopted(5));
    const int k = findDeviceByName("Garage");
    ASSERT_NE(k, 0);
    EXPECT_EQ(macOf(core.devices[k - 1].mac), kAvStation);
    EXPECT_EQ(stringOf(core.devices[k - 1].password), kStationPassword);
    EXPECT_FALSE(pendingAdd().active);
}

TEST_F(AvAdd, TwoStationsOnTheRandomKeyStartASecondSearchPass) {
    // A second device with the same password takes the first random key too, then goes away.
    build({onNetwork(deviceConfig(Family::Av, Mac{0x00, 0xB0, 0x52, 0, 0, 0x13}, kStationPassword),
                     kElsewhere)});
    sim::Device& twin = device(Mac{0x00, 0xB0, 0x52, 0, 0, 0x13});
    std::function<void()> watch = [&] {
        for (size_t i = mark; i < wire.sent().size(); ++i)
            if (mmtypeOf(wire.sent()[i].bytes) == 0xA038) {
                clock.scheduleAfter(150, [&twin] { twin.profile.faults.offline = true; });
                return;
            }
        clock.scheduleAfter(20, watch);
    };
    clock.scheduleAfter(20, watch);

    EXPECT_EQ(addDeviceToNetwork("Garage", kStationPassword), DialogOutcome::waiting);

    // Two passes, each with the local device on a random key and one attempt that took, then
    // the local device's own NMK and the device's network NMK.
    const auto local = localKeys();
    ASSERT_EQ(local.size(), 3u);
    EXPECT_NE(local[0].nmk, ownNmk);
    EXPECT_NE(local[1].nmk, ownNmk);
    EXPECT_EQ(local[2].nmk, ownNmk);
    const auto remote = remoteKeys();
    ASSERT_EQ(remote.size(), 3u);
    EXPECT_EQ(remote[0].nmk, local[0].nmk);
    EXPECT_EQ(remote[1].nmk, local[1].nmk);
    EXPECT_GT(remote[1].atMs, remote[0].atMs + 2000);
    EXPECT_EQ(pendingAdd().expectedMac, kAvStation);
    EXPECT_EQ(device(kAvStation).nmk(), ownNmk);
}

TEST_F(AvAdd, PasswordNoDeviceHasFailsAfterElevenAttemptsAndThePasswordIsNeverRetried) {
    const struct {
        const char* name;
        std::string typed;
    } cases[] = {
        {"wrong password", kWrongPassword},
        // The device's DAK is of the upper-case text; the typed one is used as it is.
        {"lower-case password", lowerCase(kStationPassword)},
    };
    build();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.messages.clear();
        mark = wire.sent().size();

        EXPECT_EQ(addDeviceToNetwork("Garage", c.typed), DialogOutcome::closed);

        EXPECT_EQ(recorder.texts(), std::vector<std::string>{
                                        "Attention!: Unable to set the NMK of remote device!!!"});
        const auto remote = remoteKeys();
        ASSERT_EQ(remote.size(), 11u);
        for (const AvSetKey& k : remote) {
            EXPECT_EQ(k.dak, deriveDAK(c.typed));
            EXPECT_EQ(k.rda, kBroadcastMac);
        }
        for (size_t i = 1; i < remote.size(); ++i)
            EXPECT_GE(remote[i].atMs - remote[i - 1].atMs, 2000u);
        // The kept NMK goes back on the local device, and the dialog waits 3000 ms.
        const auto local = localKeys();
        ASSERT_EQ(local.size(), 2u);
        EXPECT_EQ(local[1].nmk, ownNmk);
        EXPECT_GE(clock.tickCount() - local[1].atMs, 3000u);
        EXPECT_EQ(net.port(0).local->nmk(), ownNmk);
        EXPECT_EQ(device(kAvStation).nmk(), deriveNMK(kElsewhere));
        EXPECT_FALSE(pendingAdd().active);
        EXPECT_EQ(pendingAdd().expectedMac, Mac{});
    }
}

TEST_F(AvAdd, UnreadableLocalNmkEndsTheAddBeforeAnyKeyIsSent) {
    build();
    net.port(0).local->profile.faults.avStatus = 0x01;

    EXPECT_EQ(addDeviceToNetwork("Garage", kStationPassword), DialogOutcome::closed);

    EXPECT_EQ(recorder.texts(),
              std::vector<std::string>{"Error!!: Error reading NMK from the local device"});
    EXPECT_TRUE(avSetKeys(mark).empty());
    EXPECT_FALSE(pendingAdd().active);
    // The next station to show up is not taken for the add.
    net.port(0).local->profile.faults.avStatus = 0;
    runCycles(2);
    EXPECT_EQ(adoptions, 0);
    EXPECT_EQ(findDeviceByName(""), 0);
}

TEST_F(AvAdd, APasswordTheListShowsIsAlreadyAdded) {
    build();
    enterPassword(kAvStation2, kOtherPassword);

    EXPECT_EQ(addDeviceToNetwork("Garage", kOtherPassword), DialogOutcome::staysOpen);

    EXPECT_EQ(recorder.texts(),
              std::vector<std::string>{"Attention!: Device is already added in the network"});
    EXPECT_EQ(wire.sent().size(), mark);
    EXPECT_FALSE(pendingAdd().active);
    EXPECT_EQ(+core.scanPaused, 0);
}

// ---------------------------------------------------------------------------------------------
// 1.0 and Turbo: the random key and the password forms

class Hp10Add : public MembershipSim, public ::testing::WithParamInterface<Family> {
protected:
    Family family() const { return GetParam(); }
    Mac newDevice() const { return stationMacOf(family(), 1); }
    Mac listed() const { return stationMacOf(family(), 2); }

    // A private network of the local device and one station, named by a Set All Devices; the
    // new device still on the public key.
    void build() {
        addPort(deviceConfig(family(), localMacOf(family())),
                {deviceConfig(family(), newDevice(), kStationPassword),
                 deviceConfig(family(), listed(), kOtherPassword)});
        start();
        enterPassword(listed(), kOtherPassword);
        applyNetworkName(kHomeNetwork, NetworkNameScope::allDevices);
        runCycles(1);
        ASSERT_EQ(networkName(), kHomeNetwork);
        ASSERT_EQ(device(newDevice()).nek(), publicHp10Key());
        removeDevice(findDeviceByMac(newDevice().data()));
        recorder.messages.clear();
    }
};

TEST_P(Hp10Add, LowerCasePasswordSucceedsOnTheSecondFormWhichTheDeviceKeeps) {
    build();
    const std::string typed = lowerCase(kStationPassword);

    EXPECT_EQ(addDeviceToNetwork("Garage", typed), DialogOutcome::waiting);

    EXPECT_EQ(recorder.texts(),
              std::vector<std::string>{"Information: Device was added to your network."});
    EXPECT_EQ(device(newDevice()).nek(), deriveHP10Key(kHomeNetwork));
    EXPECT_EQ(net.port(0).local->nek(), deriveHP10Key(kHomeNetwork));
    EXPECT_EQ(pendingAdd().expectedMac, newDevice());
    // The form the device took: a record with the typed text would derive a DEK the device
    // does not have.
    EXPECT_EQ(pendingAdd().password, kStationPassword);
    ASSERT_TRUE(runUntilAdopted(5));
    const int k = findDeviceByName("Garage");
    ASSERT_NE(k, 0);
    EXPECT_EQ(macOf(core.devices[k - 1].mac), newDevice());
    EXPECT_EQ(stringOf(core.devices[k - 1].password), kStationPassword);

    // So the next network name reaches it with the password the list keeps.
    recorder.messages.clear();
    applyNetworkName("Attic", NetworkNameScope::allDevices);
    EXPECT_EQ(device(newDevice()).nek(), deriveHP10Key("Attic"));
    const auto texts = messagesWithout("Network Name Setting ");
    EXPECT_EQ(texts, std::vector<std::string>{
                         "Information: All Devices are successfully added to the network."});
}

TEST_P(Hp10Add, PasswordNoFormOpensFailsOnceAndLeavesEverythingOnItsKey) {
    build();

    EXPECT_EQ(addDeviceToNetwork("Garage", lowerCase(kWrongPassword)), DialogOutcome::closed);

    EXPECT_EQ(recorder.texts(),
              std::vector<std::string>{
                  "Attention!: A Device With The Entered Password Was Not Detected. \nPlease Check "
                  "The Password and Check Your Device Connection."});
    EXPECT_EQ(net.port(0).local->nek(), deriveHP10Key(kHomeNetwork));
    EXPECT_EQ(device(listed()).nek(), deriveHP10Key(kHomeNetwork));
    EXPECT_EQ(device(newDevice()).nek(), publicHp10Key());
    EXPECT_FALSE(pendingAdd().active);
    EXPECT_EQ(pendingAdd().expectedMac, Mac{});
}

INSTANTIATE_TEST_SUITE_P(Families, Hp10Add, ::testing::Values(Family::Turbo, Family::HomePlug10),
                         [](const ::testing::TestParamInfo<Family>& info) {
                             return std::string(familyLabel(info.param));
                         });

}  // namespace
}  // namespace corvel::test
