// SPDX-License-Identifier: MIT
#include "scan/device_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/tables.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "tests/scan/scan_sim_fixture.h"

namespace corvel::test {
namespace {

const Mac kLocal{0x00, 0xB0, 0x52, 0x00, 0x00, 0x10};
const Mac kNew1{0x00, 0xB0, 0x52, 0x00, 0x00, 0x21};
const Mac kNew2{0x00, 0xB0, 0x52, 0x00, 0x00, 0x22};
const Mac kNewTurbo{0x00, 0x0B, 0x3B, 0x00, 0x00, 0x23};
const Mac kNewPlain{0x00, 0x0B, 0x3B, 0x00, 0x00, 0x24};
const Mac kKitchen{0x00, 0xB0, 0x52, 0x00, 0x00, 0x31};
const Mac kYard{0x00, 0xB0, 0x52, 0x00, 0x00, 0x32};
const Mac kGone{0x00, 0xB0, 0x52, 0x00, 0x00, 0x33};
const Mac kElsewhere{0x00, 0xB0, 0x52, 0x00, 0x00, 0x41};

constexpr StationKind kAv = StationKind::Av;

// The selected interface (1) has a local device on the network "Office"; the list knows the
// local device, Kitchen and Yard.
class DeviceListMerge : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        core.currentAdapter = 1;
        table().localPresent = 1;
        core.adapters[1].localPresent = 1;
        copyMac(core.adapters[1].localMac, kLocal.data());
        copyText(table().networkName, "Office");
        known(kLocal, "Device 1", "Mine", 0);
        known(kKitchen, "Kitchen", "Old", 5);
        known(kYard, "Yard", "Old", 7);
    }

    StationTable& table() { return core.stationTables[1]; }
    void known(const Mac& mac, const char* name, const char* network, int64_t lastSeen) {
        const int record = appendDevice(mac.data(), name);
        copyText(core.devices[record - 1].networkName, network);
        core.devices[record - 1].lastSeen = lastSeen;
    }
    void station(int slot, const Mac& mac, StationKind kind, bool present,
                 StationTable* in = nullptr) {
        StationRecord& s = (in != nullptr ? *in : table()).stations[slot];
        copyMac(s.mac, mac.data());
        s.stationKind = kind;
        s.present = present ? 1 : 0;
    }
    const DeviceRecord* record(const Mac& mac) {
        const int k = findDeviceByMac(mac.data());
        return k == 0 ? nullptr : &core.devices[k - 1];
    }
};

TEST_F(DeviceListMerge, NewStationsAreAppendedAndListedOnesStamped) {
    // A slot the list does not use any more still holds bytes of an earlier record.
    std::memset(&core.devices[3], 0xAB, sizeof(DeviceRecord));
    station(0, kNew1, kAv, true);
    station(1, kNewPlain, StationKind::HomePlug10, true);
    station(2, kKitchen, kAv, true);
    station(3, kGone, kAv, false);
    station(5, kYard, kAv, false);
    station(6, kNewTurbo, StationKind::Turbo, true);
    station(7, kLocal, kAv, true);
    station(0, kElsewhere, kAv, true, &core.stationTables[0]);

    const MergeOutcome outcome = mergeStationsIntoDevices(1000);
    EXPECT_EQ(outcome.appended, 3);
    EXPECT_EQ(outcome.refused, 0);
    EXPECT_FALSE(outcome.pendingTaken);
    ASSERT_EQ(core.deviceCount, 6);

    // New records in slot order, with default names and nothing of the slot's old bytes.
    const struct {
        Mac mac;
        const char* name;
        const char* network;
        int64_t lastSeen;
    } expected[] = {
        {kLocal, "Device 1", "Mine", 0},  // the local device is not one of the listed stations
        {kKitchen, "Kitchen", "Office", 1000},
        {kYard, "Yard", "Old", 7},  // not present
        {kNew1, "Device 4", "Office", 1000},
        {kNewPlain, "Device 5", "", 0},  // 1.0 stations are not listed
        {kNewTurbo, "Device 6", "", 0},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const DeviceRecord& d = core.devices[i];
        EXPECT_EQ(macOf(d.mac), expected[i].mac);
        EXPECT_STREQ(d.name, expected[i].name);
        EXPECT_STREQ(d.networkName, expected[i].network);
        EXPECT_EQ(+d.lastSeen, expected[i].lastSeen);
    }
    const DeviceRecord& fresh = core.devices[3];
    EXPECT_STREQ(fresh.password, "");
    EXPECT_EQ(std::count(fresh.reserved, fresh.reserved + sizeof fresh.reserved, 0),
              long(sizeof fresh.reserved));
    EXPECT_EQ(findDeviceByMac(kGone.data()), 0);
    EXPECT_EQ(findDeviceByMac(kElsewhere.data()), 0);

    // A second merge finds everyone listed: nothing appended, the time moves on.
    EXPECT_EQ(mergeStationsIntoDevices(2000).appended, 0);
    EXPECT_EQ(core.deviceCount, 6);
    EXPECT_EQ(+record(kNew1)->lastSeen, 2000);
}

TEST_F(DeviceListMerge, NeedsThePresentLocalDevice) {
    // The station table's copy decides the appends, the adapter record the stamps.
    const struct {
        int32_t tablePresent;
        int32_t adapterPresent;
        bool appended;
        bool stamped;
    } cases[] = {
        {1, 1, true, true}, {1, 0, true, false}, {0, 1, false, true}, {0, 0, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.tablePresent) + std::to_string(c.adapterPresent));
        SetUp();
        station(0, kNew1, kAv, true);
        station(1, kKitchen, kAv, true);
        table().localPresent = c.tablePresent;
        core.adapters[1].localPresent = c.adapterPresent;
        mergeStationsIntoDevices(1000);
        EXPECT_EQ(record(kNew1) != nullptr, c.appended);
        EXPECT_EQ(+record(kKitchen)->lastSeen, c.stamped ? 1000 : 5);
        EXPECT_STREQ(record(kKitchen)->networkName, c.stamped ? "Office" : "Old");
    }
}

TEST_F(DeviceListMerge, APendingAddGoesToTheStationItWaitsFor) {
    const struct {
        const char* what;
        Mac expectedMac;
        const char* new1;
        const char* new2;
        const char* kitchen;
        bool stillWaiting;
        Mac expectedAfter;
    } cases[] = {
        {"no address: the first new station", Mac{}, "Garage", "Device 5", "Kitchen", false, Mac{}},
        {"the address of a new station", kNew2, "Device 4", "Garage", "Kitchen", false, kNew2},
        {"the address of a listed station", kKitchen, "Device 4", "Device 5", "Garage", false,
         Mac{}},
        {"an address not seen yet", kGone, "Device 4", "Device 5", "Kitchen", true, kGone},
        {"the local device's address", kLocal, "Device 4", "Device 5", "Kitchen", true, kLocal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        station(0, kNew1, kAv, true);
        station(1, kNew2, kAv, true);
        station(2, kKitchen, kAv, true);
        station(3, kLocal, kAv, true);
        PendingAdd pending{true, "Garage", "QWER-TYUI-OPAS-DFGH", c.expectedMac};

        const MergeOutcome outcome = mergeStationsIntoDevices(1000, &pending);
        EXPECT_EQ(outcome.appended, 2);
        EXPECT_EQ(outcome.pendingTaken, !c.stillWaiting);
        EXPECT_EQ(pending.active, c.stillWaiting);
        EXPECT_EQ(pending.expectedMac, c.expectedAfter);
        const struct {
            Mac mac;
            const char* name;
        } names[] = {{kNew1, c.new1}, {kNew2, c.new2}, {kKitchen, c.kitchen}};
        for (const auto& n : names) {
            ASSERT_NE(record(n.mac), nullptr);
            EXPECT_STREQ(record(n.mac)->name, n.name);
            EXPECT_STREQ(record(n.mac)->password,
                         std::string(n.name) == "Garage" ? "QWER-TYUI-OPAS-DFGH" : "");
        }
        EXPECT_STREQ(record(kLocal)->name, "Device 1");
    }
}

TEST_F(DeviceListMerge, AFullListTakesNoMoreAndTheAddKeepsWaiting) {
    for (uint8_t i = 0; core.deviceCount < kMaxDevices; ++i)
        appendDevice(Mac{0x00, 0xB0, 0x52, 0x01, 0x00, i}.data(), "Filler " + std::to_string(i));
    station(0, kNew1, kAv, true);
    PendingAdd pending{true, "Garage", "QWER-TYUI-OPAS-DFGH", Mac{}};

    const MergeOutcome outcome = mergeStationsIntoDevices(1000, &pending);
    EXPECT_EQ(outcome.appended, 0);
    EXPECT_EQ(outcome.refused, 1);
    EXPECT_EQ(core.deviceCount, kMaxDevices);
    EXPECT_EQ(findDeviceByMac(kNew1.data()), 0);
    EXPECT_TRUE(pending.active);
}

TEST_F(ScanSim, TheScanFeedsTheDeviceListThroughTheViewHook) {
    addPort(deviceConfig(Family::Av, kAvLocal),
            {deviceConfig(Family::Av, kAvStation1), deviceConfig(Family::Av, kAvStation2)});
    attach();
    afterFullScan = [] { mergeStationsIntoDevices(1700000000); };
    ASSERT_TRUE(startScan(2, 3, true));
    ticks(7);
    ASSERT_EQ(fullScanTicks.size(), 1u);

    ASSERT_EQ(core.deviceCount, 3);
    const struct {
        Mac mac;
        const char* name;
        int64_t lastSeen;
    } expected[] = {{kAvLocal, "Device 1", 0},
                    {kAvStation1, "Device 2", 1700000000},
                    {kAvStation2, "Device 3", 1700000000}};
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(macOf(core.devices[i].mac), expected[i].mac);
        EXPECT_STREQ(core.devices[i].name, expected[i].name);
        EXPECT_STREQ(core.devices[i].networkName, "HomePlugAV");
        EXPECT_EQ(+core.devices[i].lastSeen, expected[i].lastSeen);
    }
}

}  // namespace
}  // namespace corvel::test
