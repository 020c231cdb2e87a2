// SPDX-License-Identifier: MIT
#include "core/tables.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <optional>

#include "platform/bytes.h"
#include "platform/process_state.h"
#include "platform/text.h"

namespace corvel {
namespace {

Mac macOf(uint8_t last) { return Mac{0x00, 0xB0, 0x52, 0x00, 0x10, last}; }

class Tables : public ::testing::Test {
protected:
    void SetUp() override { resetProcessState(); }
    int add(const char* name, Mac mac, const char* password = "") {
        const int index = appendDevice(mac.data(), name);
        if (index != 0) copyText(core.devices[index - 1].password, password);
        return index;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (int i = 0; i < core.deviceCount; ++i) result.push_back(stringOf(core.devices[i].name));
        return result;
    }
};

TEST_F(Tables, MacHelpers) {
    const Mac zero{};
    const Mac a = macOf(1);
    EXPECT_FALSE(macIsSet(zero.data()));
    EXPECT_TRUE(macIsSet(Mac{0, 0, 0, 0, 0, 1}.data()));
    EXPECT_TRUE(macEqual(a.data(), macOf(1).data()));
    EXPECT_FALSE(macEqual(a.data(), macOf(2).data()));
}

TEST_F(Tables, CopyKeyTakesTheWidthOfTheLocalFamily) {
    uint8_t key[16];
    std::memset(key, 0xAB, sizeof key);
    for (int av : {1, 0}) {
        core.localIsAv = av;
        uint8_t out[16] = {};
        copyKey(out, key);
        const int width = av ? 16 : 8;
        for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], i < width ? 0xAB : 0) << av << " " << i;
    }
}

TEST_F(Tables, LookupsAreOneBasedAndZeroMeansNone) {
    add("Device 1", macOf(1));
    add("Kitchen", macOf(2));
    EXPECT_EQ(findDeviceByMac(macOf(2).data()), 2);
    EXPECT_EQ(findDeviceByMac(macOf(3).data()), 0);
    EXPECT_EQ(findDeviceByName("Kitchen"), 2);
    EXPECT_EQ(findDeviceByName("kitchen"), 0);  // exact, case-sensitive
    EXPECT_EQ(findDeviceByMacText("00:B0:52:00:10:01"), 1);
    EXPECT_EQ(findDeviceByMacText("00:b0:52:00:10:01"), 0);
}

TEST_F(Tables, FindStationByMacIgnoresTheZeroMacEvenWithFreeSlots) {
    const Mac zero{};
    EXPECT_EQ(findStationByMac(zero.data()), nullptr);
    core.currentAdapter = 3;
    copyMac(core.stationTables[3].stations[4].mac, macOf(7).data());
    EXPECT_EQ(findStationByMac(macOf(7).data()), &core.stationTables[3].stations[4]);
    core.currentAdapter = 0;
    EXPECT_EQ(findStationByMac(macOf(7).data()), nullptr);  // other interface
}

TEST_F(Tables, RemoveStationShiftsDownAndClearsLastSlot) {
    StationRecord* stations = core.stationTables[0].stations;
    for (int i = 0; i < kStationsPerTable; ++i) copyMac(stations[i].mac, macOf(uint8_t(i + 1)).data());
    removeStationByMac(macOf(2).data());
    EXPECT_TRUE(macEqual(stations[1].mac, macOf(3).data()));
    EXPECT_TRUE(macEqual(stations[30].mac, macOf(32).data()));
    EXPECT_FALSE(macIsSet(stations[31].mac));
    const Mac zero{};
    removeStationByMac(zero.data());  // the zero MAC removes nothing, not a free slot
    EXPECT_TRUE(macEqual(stations[0].mac, macOf(1).data()));
}

TEST_F(Tables, RemoveDeviceShiftsAndClearsFreedSlotSoAnAppendStartsClean) {
    add("A", macOf(1), "AAAA-BBBB-CCCC-DDDD");
    add("B", macOf(2));
    add("C", macOf(3), "SECR-ETPA-SSWO-RD00");
    copyMac(core.stationTables[0].stations[0].mac, macOf(1).data());

    removeDevice(1);
    EXPECT_EQ(names(), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(findStationByMac(macOf(1).data()), nullptr);

    removeDeviceByMac(macOf(2).data());
    EXPECT_EQ(names(), (std::vector<std::string>{"C"}));
    // The slot C moved out of must not lend its password to the next device appended there.
    EXPECT_EQ(appendDevice(macOf(9).data(), "New"), 2);
    EXPECT_STREQ(core.devices[1].password, "");

    removeDevice(0);
    removeDevice(-1);
    removeDevice(5);
    EXPECT_EQ(core.deviceCount, 2);
}

TEST_F(Tables, RemoveUnaddressedDevicesRemovesNeighbouringZeroMacs) {
    const Mac zero{};
    add("A", macOf(1));
    add("Z1", zero);
    add("Z2", zero);
    add("B", macOf(2));
    add("Z3", zero);
    removeUnaddressedDevices();
    EXPECT_EQ(names(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(Tables, AppendRefusesTheThirtyThirdDevice) {
    for (int i = 0; i < kMaxDevices; ++i) {
        const std::string name = std::string("D").append(std::to_string(i));
        ASSERT_EQ(add(name.c_str(), macOf(uint8_t(i + 1))), i + 1);
    }
    EXPECT_EQ(add("Overflow", macOf(200)), 0);
    EXPECT_EQ(core.deviceCount, kMaxDevices);
    EXPECT_EQ(findDeviceByName("Overflow"), 0);
}

TEST_F(Tables, DefaultNameTakesCountPlusOneThenFirstFreeNumber) {
    struct Case {
        std::vector<const char*> existing;
        const char* expected;
    };
    const Case cases[] = {
        {{}, "Device 1"},
        {{"Device 1", "Device 2", "Device 3"}, "Device 4"},
        {{"Device 1", "Device 2", "Device 5"}, "Device 4"},
        {{"Device 1", "Device 2", "Device 4"}, "Device 3"},
        {{"Device 1", "Kitchen", "Device 4"}, "Device 2"},
    };
    for (const Case& c : cases) {
        resetCoreState();
        uint8_t last = 1;
        for (const char* name : c.existing) add(name, macOf(last++));
        EXPECT_EQ(makeDefaultName(), c.expected);
    }
}

TEST_F(Tables, FindNetworkNameByKeyMatchesOnTheFirstEightBytes) {
    add("A", macOf(1));
    add("B", macOf(2));
    copyText(core.devices[1].networkName, "Upstairs");
    uint8_t stored[16], probe[16];
    for (int i = 0; i < 16; ++i) stored[i] = probe[i] = uint8_t(0x40 + i);
    probe[12] ^= 0xFF;  // differs after the first 8 bytes only
    std::memcpy(core.devices[1].networkKey, stored, 16);
    add("C", macOf(3));  // the same key again: the first record names it
    copyText(core.devices[2].networkName, "Attic");
    std::memcpy(core.devices[2].networkKey, stored, 16);

    EXPECT_EQ(findNetworkNameByKey(probe, "AV"), "Upstairs");
    EXPECT_EQ(findNetworkNameByKey(probe, "Turbo"), "Upstairs");
    EXPECT_EQ(findNetworkNameByKey(probe, "HP10"), std::nullopt);
    probe[3] ^= 0xFF;
    EXPECT_EQ(findNetworkNameByKey(probe, "AV"), std::nullopt);
}

// A station's kind is part of the station tables' memory image, which is the database file: each
// kind keeps its stored value, and a value from a file that names no kind is kept as it came.
TEST_F(Tables, StationKindsKeepTheirStoredValues) {
    const struct {
        int32_t stored;
        std::optional<StationKind> kind;
        bool listedAsAv;
    } cases[] = {
        {1, StationKind::HomePlug10, false},
        {2, StationKind::Turbo, false},
        {4, StationKind::Av, true},
        {0, std::nullopt, false},  // a slot never given a kind
        {3, std::nullopt, false},
        {5, std::nullopt, true},  // the AV lists take any value above AV's
        {-1, std::nullopt, false},
    };
    constexpr size_t kAt = offsetof(StationRecord, stationKind);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        std::array<uint8_t, sizeof(StationRecord)> image{};
        if (c.kind) {
            StationRecord record{};
            record.stationKind = *c.kind;
            std::memcpy(image.data(), &record, sizeof record);
            EXPECT_EQ(int32_t(get32le(image.data() + kAt)), c.stored);
        }
        put32le(image.data() + kAt, uint32_t(c.stored));
        StationRecord loaded;
        std::memcpy(&loaded, image.data(), sizeof loaded);
        const StationKind kind = loaded.stationKind;
        EXPECT_EQ(static_cast<int32_t>(kind), c.stored);
        if (c.kind) {
            EXPECT_TRUE(kind == *c.kind);
        }
        EXPECT_EQ(isAvStation(kind), c.listedAsAv);
    }
}

TEST_F(Tables, KindNamesAndSelectionHelpers) {
    core.adapters[2].localKind = kKindAv;
    EXPECT_STREQ(localKindName(2), "HomePlug AV Device");
    EXPECT_STREQ(localKindName(0), "Adapter");
    core.adapters[1].localKind = 77;  // never index past the name table
    EXPECT_STREQ(localKindName(1), "");

    core.currentAdapter = 2;
    copyMac(interfaceEntries[2].interfaceMac, macOf(0x22).data());
    EXPECT_EQ(requestSourceMac(), macOf(0x22));
    setLocalMac(macOf(0x33).data());
    Mac local{};
    copyLocalMac(local.data());
    EXPECT_EQ(local, macOf(0x33));
    core.adapters[5].localPresent = 1;
    clearLocalPresence();
    EXPECT_EQ(core.adapters[5].localPresent, 0);
}

TEST_F(Tables, SetAutoscanReturnsThePreviousState) {
    EXPECT_TRUE(setAutoscan(false));
    EXPECT_EQ(core.scanPaused, 1);
    EXPECT_FALSE(setAutoscan(true));
    EXPECT_TRUE(setAutoscan(true));
}

}  // namespace
}  // namespace corvel
