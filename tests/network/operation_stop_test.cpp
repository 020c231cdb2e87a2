// SPDX-License-Identifier: MIT
#include "network/operation_stop.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "network/device_dialogs.h"
#include "network/network_name_ops.h"
#include "tests/network/membership_sim_fixture.h"

// A stop asked for while a membership operation runs, as Ctrl-C or the window's Cancel asks it:
// the request is made from the virtual clock at a chosen moment of the operation, and the
// operation must end at its next safe point with the local device, and every device it had
// moved, back on the key they had.
namespace corvel::test {
namespace {

const std::string kNewName = "GardenShed";
const std::string kNeighbourNet = "Elsewhere";

Key16 keyOf(const sim::Device& d) {
    Key16 key{};
    if (d.family() == Family::Av) return d.nmk();
    std::copy(d.nek().begin(), d.nek().end(), key.begin());
    return key;
}

Key16 networkKeyOf(Family family, const std::string& name) {
    if (family == Family::Av) return deriveNMK(name);
    Key16 key{};
    const Key8 nek = deriveHP10Key(name);
    std::copy(nek.begin(), nek.end(), key.begin());
    return key;
}

std::string publicName(Family family) {
    return family == Family::Av ? "HomePlugAV" : "HomePlug";
}

class OperationStop : public MembershipSim {
protected:
    void TearDown() override {
        scope.reset();
        MembershipSim::TearDown();
    }

    // Installs a fresh stop request, as a front end does for each operation's duration.
    void installStop() {
        scope.reset();
        request.emplace();
        scope.emplace(*request);
        stopAtMs = 0;
    }

    // Asks for the stop once `condition` holds (looked at every 1 ms of virtual time), and then
    // runs `then` in the same instant; remembers when.
    void stopWhen(std::function<bool()> condition, std::function<void()> then = {}) {
        watch = [this, condition, then] {
            if (request->cancelRequested()) return;
            if (condition()) {
                stopAtMs = clock.tickCount();
                if (then) then();
                request->requestCancel();
                return;
            }
            clock.scheduleAfter(1, watch);
        };
        clock.scheduleAfter(1, watch);
    }
    void stopAfter(uint64_t ms) {
        const uint64_t due = clock.tickCount() + ms;
        stopWhen([this, due] { return clock.tickCount() >= due; });
    }

    std::optional<CancelRequest> request;
    std::optional<OperationStopScope> scope;
    std::function<void()> watch;
    uint64_t stopAtMs = 0;
    size_t mark = 0;
};

// ---------------------------------------------------------------------------------------------
// Set All Devices, every family: stopped after the first device took the new key

class SetAllStopped : public OperationStop, public ::testing::WithParamInterface<Family> {
protected:
    void build() {
        family = GetParam();
        addPort(deviceConfig(family, localMacOf(family)),
                {deviceConfig(family, stationMacOf(family, 1), kStationPassword),
                 deviceConfig(family, stationMacOf(family, 2), kOtherPassword)});
        start();
        first = stationMacOf(family, 1);
        second = stationMacOf(family, 2);
        enterPassword(first, kStationPassword);
        enterPassword(second, kOtherPassword);
        oldKey = keyOf(*net.port(0).local);
        ASSERT_EQ(oldKey, networkKeyOf(family, publicName(family)));
        const int k = findDeviceByMac(first.data());
        recordBefore = stringOf(core.devices[k - 1].networkName);
        installStop();
    }
    bool firstTookNewKey() { return keyOf(device(first)) == networkKeyOf(family, kNewName); }

    Family family{};
    Mac first{}, second{};
    Key16 oldKey{};
    std::string recordBefore;
};

TEST_P(SetAllStopped, EveryDeviceThatTookTheNewKeyAndTheLocalDeviceGoBack) {
    build();
    stopWhen([this] { return firstTookNewKey(); });

    const NetworkNameRun run = applyNetworkName(kNewName, NetworkNameScope::allDevices);

    EXPECT_EQ(run.outcome, NetworkNameRun::Outcome::stopped);
    ASSERT_NE(stopAtMs, 0u) << "the first device never took the new key";
    EXPECT_TRUE(lastStop().stopped);
    EXPECT_FALSE(lastStop().finished);
    EXPECT_TRUE(lastStop().localBack);
    EXPECT_TRUE(lastStop().devicesLeft.empty());
    // Everyone on the key of the network they were on.
    EXPECT_EQ(keyOf(*net.port(0).local), oldKey);
    EXPECT_EQ(keyOf(device(first)), oldKey);
    EXPECT_EQ(keyOf(device(second)), oldKey);
    // The station table names that network again, and nothing waits to rename it.
    EXPECT_EQ(networkName(), publicName(family));
    EXPECT_EQ(core.networkNamePending, 0);
    EXPECT_EQ(stringOf(core.devices[findDeviceByMac(first.data()) - 1].networkName),
              recordBefore);
    // No summary: the set did not end.
    for (const std::string& text : recorder.texts())
        EXPECT_EQ(text.find("Devices"), std::string::npos) << text;
    // The next scan finds the local device on that network with both stations.
    runCycles(2);
    EXPECT_EQ(networkName(), publicName(family));
    int present = 0;
    for (const StationRecord& s : currentStationTable().stations)
        if (s.present && (macOf(s.mac) == first || macOf(s.mac) == second)) ++present;
    EXPECT_EQ(present, 2);
}

TEST_P(SetAllStopped, ADeviceThatCannotBePutBackIsNamedAndKeepsItsNewRecord) {
    build();
    // The first device takes the key and is unplugged at the moment of the stop.
    stopWhen([this] { return firstTookNewKey(); },
             [this] { device(first).profile.faults.offline = true; });

    EXPECT_EQ(applyNetworkName(kNewName, NetworkNameScope::allDevices).outcome,
              NetworkNameRun::Outcome::stopped);

    EXPECT_EQ(lastStop().devicesLeft, std::vector<Mac>{first});
    EXPECT_TRUE(lastStop().localBack);
    EXPECT_EQ(keyOf(*net.port(0).local), oldKey);
    EXPECT_EQ(keyOf(device(second)), oldKey);
    // Its record says where it is.
    EXPECT_EQ(stringOf(core.devices[findDeviceByMac(first.data()) - 1].networkName), kNewName);
}

INSTANTIATE_TEST_SUITE_P(Families, SetAllStopped,
                         ::testing::Values(Family::Av, Family::Turbo, Family::HomePlug10),
                         [](const auto& info) { return std::string(familyLabel(info.param)); });

TEST_F(OperationStop, SetAllStoppedBeforeItsFirstDeviceSendsNoKey) {
    addPort(deviceConfig(Family::Av, kAvLocal),
            {deviceConfig(Family::Av, kAvStation, kStationPassword)});
    start();
    enterPassword(kAvStation, kStationPassword);
    installStop();
    request->requestCancel();
    mark = wire.sent().size();

    EXPECT_EQ(applyNetworkName(kNewName, NetworkNameScope::allDevices).outcome,
              NetworkNameRun::Outcome::stopped);

    EXPECT_TRUE(avSetKeys(mark).empty());
    EXPECT_EQ(networkName(), "HomePlugAV");
}

TEST_F(OperationStop, SetLocalOnlyStoppedInItsWaitKeepsTheKeyItSet) {
    addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation)});
    start();
    installStop();
    stopWhen([this] { return net.port(0).local->nmk() == deriveNMK(kNewName); });
    const uint64_t started = clock.tickCount();

    EXPECT_EQ(applyNetworkName(kNewName, NetworkNameScope::localDeviceOnly).outcome,
              NetworkNameRun::Outcome::stopped);

    EXPECT_TRUE(lastStop().finished);
    EXPECT_EQ(net.port(0).local->nmk(), deriveNMK(kNewName));
    EXPECT_EQ(networkName(), kNewName);
    // The 4000 ms wait and the scans after it were left out.
    EXPECT_LT(clock.tickCount() - started, 1000u);
}

// ---------------------------------------------------------------------------------------------
// Add Device, AV: stopped at each stage of the search

class AvAddStopped : public OperationStop {
protected:
    void build() {
        addPort(deviceConfig(Family::Av, kAvLocal),
                {deviceConfig(Family::Av, kAvStation2, kOtherPassword),
                 onNetwork(deviceConfig(Family::Av, kAvStation, kStationPassword), kNeighbourNet)});
        start();
        ownNmk = net.port(0).local->nmk();
        installStop();
        mark = wire.sent().size();
    }
    bool localOnRandomKey() const {
        const Key16& k = net.port(0).local->nmk();
        return k != ownNmk && k != deriveNMK(kNeighbourNet);
    }
    bool deviceOnRandomKey() {
        return device(kAvStation).nmk() == net.port(0).local->nmk() && localOnRandomKey();
    }
    std::vector<std::string> attentionMessages() const { return messagesWithout("Information"); }

    Key16 ownNmk{};
};

TEST_F(AvAddStopped, EachStagePutsTheLocalDeviceBackOnItsOwnNmkAtOnce) {
    struct Stage {
        const char* name;
        std::function<bool()> when;
        bool deviceLeft;  // the device stays on the random key
    };
    bool localLeftOwn = false;
    const Stage stages[] = {
        {"before the first offer", [this] { return localOnRandomKey(); }, false},
        {"the device took the random key", [this] { return deviceOnRandomKey(); }, true},
        {"the local device is back, the device waits",
         [this, &localLeftOwn] {
             if (localOnRandomKey()) localLeftOwn = true;
             return localLeftOwn && net.port(0).local->nmk() == ownNmk;
         },
         true},
    };
    build();
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.name);
        // Each stage on a fresh search: the device back where it was.
        device(kAvStation).setNmk(deriveNMK(kNeighbourNet));
        localLeftOwn = false;
        installStop();
        recorder.messages.clear();
        mark = wire.sent().size();
        stopWhen(stage.when);

        EXPECT_EQ(addDeviceToNetwork("Garage", kStationPassword), DialogOutcome::stopped);

        ASSERT_NE(stopAtMs, 0u);
        EXPECT_EQ(net.port(0).local->nmk(), ownNmk);
        EXPECT_TRUE(lastStop().localBack);
        EXPECT_EQ(lastStop().addedDeviceLeft, stage.deviceLeft);
        // Nothing but the local device's own NMK goes out after the stop, and only when the
        // local device had left it.
        for (const AvSetKey& k : avSetKeys(mark))
            if (k.atMs >= stopAtMs) {
                EXPECT_EQ(k.peks, 0x0F);
                EXPECT_EQ(k.nmk, ownNmk);
            }
        // Done within the wait for the confirmation of an attempt under way, the restore and
        // the 3000 ms after it.
        EXPECT_LE(clock.tickCount() - stopAtMs, 3700u + 200u + 3000u + 100u);
        // No failure message: the add did not fail, it was stopped.
        EXPECT_TRUE(attentionMessages().empty()) << ::testing::PrintToString(recorder.texts());
        EXPECT_FALSE(pendingAdd().active);
        EXPECT_EQ(device(kAvStation2).nmk(), ownNmk);
    }
}

TEST_F(AvAddStopped, ALocalDeviceThatRefusesItsNmkBackIsReported) {
    build();
    // The stop comes while the local device is on the random key, which it then keeps.
    stopWhen([this] { return localOnRandomKey(); },
             [this] { net.port(0).local->profile.faults.avStatus = 0x01; });

    EXPECT_EQ(addDeviceToNetwork("Garage", kStationPassword), DialogOutcome::stopped);

    EXPECT_FALSE(lastStop().localBack);
    EXPECT_NE(net.port(0).local->nmk(), ownNmk);
}

// ---------------------------------------------------------------------------------------------
// HomePlug 1.0 and Turbo: the search by password forms, and the password check built on it

class Hp10Stopped : public OperationStop, public ::testing::WithParamInterface<Family> {
protected:
    void build() {
        family = GetParam();
        addPort(deviceConfig(family, localMacOf(family)),
                {deviceConfig(family, stationMacOf(family, 1), kStationPassword)});
        start(2);
        oldKey = keyOf(*net.port(0).local);
        installStop();
    }
    Family family{};
    Key16 oldKey{};
};

TEST_P(Hp10Stopped, AnAddStoppedInItsSearchPutsTheLocalKeyBack) {
    build();
    // A password no device has: the search goes through every form, the local device on a
    // random key for each.
    stopWhen([this] { return keyOf(*net.port(0).local) != oldKey; });

    EXPECT_EQ(addDeviceToNetwork("Garage", kWrongPassword), DialogOutcome::stopped);

    EXPECT_TRUE(lastStop().localBack);
    EXPECT_EQ(keyOf(*net.port(0).local), oldKey);
    EXPECT_EQ(keyOf(device(stationMacOf(family, 1))), oldKey);
    EXPECT_TRUE(messagesWithout("Information").empty())
        << ::testing::PrintToString(recorder.texts());
    EXPECT_FALSE(pendingAdd().active);
}

TEST_P(Hp10Stopped, APasswordCheckStoppedKeepsThePasswordStoredBefore) {
    build();
    const Mac station = stationMacOf(family, 1);
    const int record = enterPassword(station, kStationPassword);
    stopWhen([this] { return keyOf(*net.port(0).local) != oldKey; });

    const PasswordEntry entry = enterDevicePassword(record, kWrongPassword);

    EXPECT_EQ(entry.outcome, DialogOutcome::stopped);
    EXPECT_EQ(stringOf(core.devices[findDeviceByMac(station.data()) - 1].password),
              kStationPassword);
    EXPECT_EQ(keyOf(*net.port(0).local), oldKey);
    EXPECT_EQ(keyOf(device(station)), oldKey);
}

INSTANTIATE_TEST_SUITE_P(Families, Hp10Stopped,
                         ::testing::Values(Family::Turbo, Family::HomePlug10),
                         [](const auto& info) { return std::string(familyLabel(info.param)); });

}  // namespace
}  // namespace corvel::test
