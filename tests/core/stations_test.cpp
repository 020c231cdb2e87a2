// SPDX-License-Identifier: MIT
#include "core/stations.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/view_hooks.h"
#include "platform/bytes.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "transport/interface_table.h"

namespace corvel {
namespace {

Mac stationMac(uint8_t n) { return Mac{0x00, 0xB0, 0x52, 0x00, 0x20, n}; }

class Stations : public ::testing::Test {
protected:
    void SetUp() override {
        resetProcessState();
        core.currentAdapter = 1;
    }
    StationRecord* stations() { return core.stationTables[1].stations; }
    RecordingNotifier recorder;
    ScopedNotifier scope{recorder};
};

TEST_F(Stations, NewStationTakesFamilyKindKeyAndName) {
    struct Case {
        int av;
        StationKind kind;
        int keyWidth;
        const char* name;
    };
    for (const Case c : {Case{1, StationKind::Av, 16, "HomePlugAV"},
                         Case{0, StationKind::HomePlug10, 8, "HomePlug"}}) {
        resetCoreState();
        core.currentAdapter = 1;
        core.localIsAv = c.av;
        core.dropResetValue = 5;
        std::memset(core.avNetworkKey, 0xA5, 16);
        std::memset(core.hp10NetworkKey, 0x15, 8);
        copyText(core.avNetworkName, "HomePlugAV");
        copyText(core.hp10NetworkName, "HomePlug");

        addOrRefreshStation(stationMac(1).data());
        const StationRecord& s = stations()[0];
        EXPECT_EQ(+s.present, 1);
        EXPECT_EQ(StationKind(s.stationKind), c.kind);
        EXPECT_EQ(+s.missesTillDrop, 5);
        EXPECT_EQ(+s.seenCount, 1);
        EXPECT_STREQ(s.networkName, c.name);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(+s.networkKey[i], i < c.keyWidth ? (c.av ? 0xA5 : 0x15) : 0) << i;
    }
}

// Answers naming an address no station can have are dropped: a group (multicast) address, the
// broadcast and zero addresses, the local-management address, the host's own interfaces.
TEST_F(Stations, AddressesNoStationCanHaveAreNeverStored) {
    adapterCount = 2;
    const Mac host{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
    copyMac(interfaceEntries[1].interfaceMac, host.data());
    const struct {
        const char* what;
        Mac mac;
    } refused[] = {
        {"multicast", {0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}},
        {"group bit on a vendor address", {0x01, 0xB0, 0x52, 0x00, 0x20, 0x01}},
        {"broadcast", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"zero", {0, 0, 0, 0, 0, 0}},
        {"local management", {0x00, 0xB0, 0x52, 0x00, 0x00, 0x01}},
        {"the host's own interface", host},
    };
    for (const auto& c : refused) {
        addOrRefreshStation(c.mac.data());
        EXPECT_FALSE(couldBeStation(c.mac.data())) << c.what;
    }
    for (const StationRecord& s : core.stationTables[1].stations) EXPECT_FALSE(macIsSet(s.mac));
    EXPECT_TRUE(couldBeStation(stationMac(1).data()));
    const Mac locallyAdministered{0x02, 0x00, 0x00, 0x00, 0x00, 0x11};
    EXPECT_TRUE(couldBeStation(locallyAdministered.data()));
    adapterCount = 0;
    std::memset(interfaceEntries[1].interfaceMac, 0, 6);
}

TEST_F(Stations, AGroupAddressNeverBecomesADevice) {
    const Mac group{0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(appendDevice(group.data(), "Device 1"), 0);
    EXPECT_EQ(core.deviceCount, 0);
    EXPECT_EQ(appendDevice(stationMac(1).data(), "Device 1"), 1);
}

TEST_F(Stations, AnswerRefreshesAnExistingStationInPlace) {
    addOrRefreshStation(stationMac(1).data());
    addOrRefreshStation(stationMac(2).data());
    stations()[0].present = 0;
    stations()[0].missesTillDrop = 0;
    addOrRefreshStation(stationMac(1).data());
    EXPECT_EQ(+stations()[0].present, 1);
    EXPECT_EQ(+stations()[0].missesTillDrop, 3);
    EXPECT_EQ(+stations()[0].seenCount, 2);
    EXPECT_FALSE(macIsSet(stations()[2].mac));
}

TEST_F(Stations, TheLocalDeviceIsNeverAStation) {
    copyMac(core.adapters[1].localMac, stationMac(9).data());
    addOrRefreshStation(stationMac(9).data());
    EXPECT_FALSE(macIsSet(stations()[0].mac));
}

TEST_F(Stations, ThirtyThirdStationWarnsAndReplacesTheLastSlotWithAFreshRecord) {
    for (int i = 0; i < kStationsPerTable; ++i) addOrRefreshStation(stationMac(uint8_t(i)).data());
    copyText(stations()[31].firmwareText, "old station's firmware");
    stations()[31].rate.currentRate = 80;
    EXPECT_TRUE(recorder.messages.empty());

    addOrRefreshStation(stationMac(100).data());
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].title, "Problem Occurred");
    EXPECT_TRUE(macEqual(stations()[31].mac, stationMac(100).data()));
    EXPECT_STREQ(stations()[31].firmwareText, "");
    EXPECT_EQ(+stations()[31].rate.currentRate, 0);
    EXPECT_EQ(+stations()[31].seenCount, 1);
    EXPECT_TRUE(macEqual(stations()[30].mac, stationMac(30).data()));
}

TEST(UpdateRate, ConvertsRawWordsPerModeAndTracksTheRange) {
    struct Case {
        RateMode mode;
        uint16_t w0;
        double expected;
    };
    const Case cases[] = {
        {RateMode::HomePlug10, 420, 11},  {RateMode::HomePlug10, 0, 0},
        {RateMode::Turbo, 210, 5},        {RateMode::Turbo, 420, 11},
        {RateMode::Turbo, 1000, 28},      {RateMode::Av, 151, 200},
        {RateMode::Av, 100, 132},         {RateMode::Av, 65535, 86801},
    };
    for (const Case& c : cases) {
        RateRecord rate{};
        updateRate(rate, c.w0, 7, 9, c.mode);
        EXPECT_EQ(+rate.currentRate, c.expected) << int(c.mode) << " " << c.w0;
        EXPECT_EQ(+rate.aux1, 7u);
        EXPECT_EQ(+rate.aux2, 9u);
    }
}

TEST(UpdateRate, ChangedFlagMinAndMax) {
    RateRecord rate{};
    updateRate(rate, 151, 0, 0, RateMode::Av);  // 200
    EXPECT_EQ(+rate.rateChanged, 1);
    EXPECT_EQ(+rate.minRate, 200);  // a minimum below 1 is replaced
    EXPECT_EQ(+rate.maxRate, 200);
    rate.rateChanged = 0;
    updateRate(rate, 151, 0, 0, RateMode::Av);
    EXPECT_EQ(+rate.rateChanged, 0);
    updateRate(rate, 100, 0, 0, RateMode::Av);  // 132
    EXPECT_EQ(+rate.rateChanged, 1);
    EXPECT_EQ(+rate.minRate, 132);
    EXPECT_EQ(+rate.maxRate, 200);
    updateRate(rate, 0, 0, 0, RateMode::Av);  // 0: the minimum goes to 0, then any rate replaces it
    EXPECT_EQ(+rate.minRate, 0);
    updateRate(rate, 151, 0, 0, RateMode::Av);
    EXPECT_EQ(+rate.minRate, 200);
}

// A statistics reply with the given station slots (MAC with bit 0 set as on the wire, w0, w1, w2).
std::vector<uint8_t> statisticsReply(const std::vector<std::pair<Mac, uint16_t>>& slots) {
    std::vector<uint8_t> frame(204, 0);
    frame[12] = 0x88;
    frame[13] = 0x7B;
    frame[14] = 1;
    frame[15] = 0x1A;
    frame[16] = 0xBB;
    frame[17] = 0x03;
    put16le(&frame[20], 0x1111);
    put16le(&frame[22], 0x2222);
    for (size_t s = 0; s < slots.size(); ++s) {
        uint8_t* slot = &frame[24 + 12 * s];
        std::memcpy(slot, slots[s].first.data(), 6);
        slot[0] |= 0x01;
        put16le(slot + 6, slots[s].second);
        put16le(slot + 8, uint16_t(s + 1));
        put16le(slot + 10, uint16_t(s + 2));
    }
    return frame;
}

TEST_F(Stations, StatisticsReplyUpdatesMatchingStationsAndTheLinkAverage) {
    int refreshed = 0;
    viewHooks().refreshView = [&](int) { ++refreshed; };
    addOrRefreshStation(stationMac(2).data());
    addOrRefreshStation(stationMac(4).data());
    addOrRefreshStation(stationMac(6).data());
    // Turbo-capable: capped at 519, then the 85 Mbit/s scale.
    stations()[1].stationKind = StationKind::Turbo;

    auto frame = statisticsReply({{stationMac(6), 420}, {stationMac(4), 600}, {stationMac(2), 840}});
    applyHp10Statistics(frame.data(), frame.size());
    viewHooks().refreshView = nullptr;

    EXPECT_EQ(+stations()[0].rate.currentRate, 22);  // w0 840
    EXPECT_EQ(+stations()[0].rate.aux1, 3u);
    // 519 * 85 / 14 = 3151 -> (3151 / 42) * 1.14345 - 0.12979 = 85.66
    EXPECT_EQ(+stations()[1].rate.currentRate, 85);
    EXPECT_EQ(+stations()[2].rate.currentRate, 11);
    // Link average over the three present stations: (22 + 85 + 11) * 42 / 3 = 1652.
    EXPECT_EQ(get16le(&frame[18]), 1652);
    EXPECT_EQ(+core.stationTables[1].linkRate.currentRate, 44);
    EXPECT_EQ(+core.stationTables[1].linkRate.aux1, 0x1111u);
    EXPECT_EQ(refreshed, 1);
}

TEST_F(Stations, LinkAverageStopsAtTheFirstStationWithoutARate) {
    addOrRefreshStation(stationMac(1).data());
    addOrRefreshStation(stationMac(2).data());
    addOrRefreshStation(stationMac(3).data());
    auto frame = statisticsReply({{stationMac(1), 540}, {stationMac(3), 840}});  // 14 and 22
    applyHp10Statistics(frame.data(), frame.size());
    EXPECT_EQ(+stations()[1].rate.currentRate, 0);
    EXPECT_EQ(get16le(&frame[18]), 14 * 42);  // station 3's 22 is not counted
}

TEST_F(Stations, ShortReplyReadsOnlyTheSlotsItHoldsWhole) {
    addOrRefreshStation(stationMac(1).data());
    addOrRefreshStation(stationMac(2).data());
    auto frame = statisticsReply({{stationMac(1), 420}, {stationMac(2), 840}});
    frame.resize(24 + 12 + 11);  // the second slot is cut by one byte
    applyHp10Statistics(frame.data(), frame.size());
    EXPECT_EQ(+stations()[0].rate.currentRate, 11);
    EXPECT_EQ(+stations()[1].rate.currentRate, 0);
}

}  // namespace
}  // namespace corvel
