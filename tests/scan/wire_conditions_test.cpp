// SPDX-License-Identifier: MIT
// The scan against devices that answer late, tersely or not at all, and against a wire that
// carries a steady stream of frames nobody asked for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "av/av_state.h"
#include "av/exchanges.h"
#include "av/local_device.h"
#include "hp10/replies.h"
#include "platform/text.h"
#include "scan/device_list.h"
#include "scan/full_scan.h"
#include "scan/scan.h"
#include "tests/scan/scan_sim_fixture.h"

namespace corvel::test {
namespace {

// ---------------------------------------------------------------------------------------------
// A local AV device that answers a few milliseconds late

struct SlowCase {
    const char* name;
    uint16_t confirmation;  // the answer that comes late
    uint32_t lateMs;
    bool inTime;
};

class SlowLocalAv : public ScanSim, public ::testing::WithParamInterface<SlowCase> {};

TEST_P(SlowLocalAv, PibReadKeepsThePublicNameWithinTheWindow) {
    const SlowCase& c = GetParam();
    addPort(deviceConfig(Family::Av, kAvLocal));
    device(kAvLocal).profile.faults.latencyByType[c.confirmation] = c.lateMs;
    attach();

    ASSERT_TRUE(fullScan());
    if (c.confirmation == 0xA025) {
        // Without the key the network could not be named: a private network of no name.
        EXPECT_STREQ(core.avNetworkName, c.inTime ? "HomePlugAV" : "");
        EXPECT_STREQ(core.stationTables[0].networkName, c.inTime ? "HomePlugAV" : "");
    }
    EXPECT_EQ(readFirmwareType(), c.confirmation != 0xA059 || c.inTime);
}

INSTANTIATE_TEST_SUITE_P(Latencies, SlowLocalAv,
                         ::testing::Values(SlowCase{"PibChunks5ms", 0xA025, 5, true},
                                           SlowCase{"PibChunks90ms", 0xA025, 90, true},
                                           SlowCase{"PibChunksPastTheWindow", 0xA025, 150, false},
                                           SlowCase{"ConfigBlock5ms", 0xA059, 5, true},
                                           SlowCase{"ConfigBlockPastTheWindow", 0xA059, 150,
                                                    false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// A steady stream of unrelated powerline frames

struct NoiseCase {
    const char* name;
    sim::UnrelatedFrame frame;
};

class NoisyWire : public ScanSim, public ::testing::WithParamInterface<NoiseCase> {
protected:
    void noisyAvPort() {
        addPort(deviceConfig(Family::Av, kAvLocal), {deviceConfig(Family::Av, kAvStation1)});
        net.port(0).noise = {10, GetParam().frame};
        attach();
    }
};

TEST_P(NoisyWire, EveryAwaitEndsWithinTwiceItsWindow) {
    noisyAvPort();
    reopenInterfaces();
    device(kAvLocal).profile.faults.silent = true;
    // A minute of virtual time in back-to-back waits that no answer ends.
    const uint64_t start = clock.tickCount();
    int waits = 0;
    while (clock.tickCount() - start < 60'000) {
        sendAvRequest(kLocalManagementMac, kMmVersionRequest);
        const uint64_t before = clock.tickCount();
        AvConfirm record;
        EXPECT_FALSE(awaitAvConfirm(kMmVersionRequest, kLocalManagementMac, record));
        // The cap, plus the rejected frame that was being paid for when it came.
        ASSERT_LE(clock.tickCount() - before, 2 * kAvAwaitWindowMs + kAvRejectedFrameMs);
        ++waits;
    }
    EXPECT_GE(waits, 60'000 / int(2 * kAvAwaitWindowMs + kAvRejectedFrameMs));
}

TEST_P(NoisyWire, ScanCyclesGoOnForAMinute) {
    noisyAvPort();
    ASSERT_TRUE(startScan(30, 3, true));
    const uint64_t start = clock.tickCount();
    const int ran = timer.runFor(60'000);
    // runFor returns within one tick of the minute: no wait inside a tick went on without end.
    EXPECT_GE(clock.tickCount() - start, 60'000u);
    EXPECT_LT(clock.tickCount() - start, 65'000u);
    EXPECT_GT(ran, 100);
    // A quiet cycle of 64 ticks of 42 ms takes about 2.7 s; the noise stretches the waits of a
    // cycle (each rejected AV frame costs 20 ms), but cycles keep coming.
    EXPECT_GE(fullScanTicks.size(), 5u);
    EXPECT_EQ(core.adapters[0].localPresent, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, NoisyWire,
    ::testing::Values(NoiseCase{"Hp10Entries", {sim::UnrelatedFrame::Kind::Hp10, 0x3F}},
                      NoiseCase{"AvMessages", {sim::UnrelatedFrame::Kind::Av, 0xA035}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// A busy segment: a burst of other frames queued ahead of every answer

struct BurstCase {
    const char* name;
    Family family;
    uint32_t count;
    sim::UnrelatedFrame frame;
};

void PrintTo(const BurstCase& c, std::ostream* out) {
    *out << c.name;
}

class BusySegment : public ScanSim, public ::testing::WithParamInterface<BurstCase> {};

// Every answer comes, however many frames are queued ahead of it: the scan finds the local
// device, its network and every station, as on a quiet wire.
TEST_P(BusySegment, ScanFindsTheNetworkAsOnAQuietWire) {
    const BurstCase& c = GetParam();
    addPort(deviceConfig(c.family, localMacOf(c.family)),
            {deviceConfig(c.family, stationMacOf(c.family, 1)),
             deviceConfig(c.family, stationMacOf(c.family, 2))});
    net.port(0).faults.burst = {c.count, c.frame};
    attach();

    ASSERT_TRUE(startScan(2, 3, true));
    ticks(3 * (2 * 2 + 4));

    EXPECT_EQ(core.adapters[0].localPresent, 1);
    EXPECT_EQ(formatMac(core.adapters[0].localMac), formatMac(localMacOf(c.family)));
    EXPECT_STREQ(core.stationTables[0].networkName,
                 c.family == Family::Av ? "HomePlugAV" : "HomePlug");
    for (int i = 1; i <= 2; ++i) {
        const StationRecord* station = findStationByMac(stationMacOf(c.family, i).data());
        ASSERT_NE(station, nullptr) << i;
        EXPECT_EQ(+station->present, 1) << i;
        EXPECT_GT(double{station->rate.currentRate}, 0.0) << i;
        if (c.family == Family::Av) {
            EXPECT_NE(station->firmwareText[0], '\0') << i;
        }
    }
    if (c.family == Family::Av) {
        EXPECT_STREQ(avExchangeState().localFirmwareText,
                     "QRB3000-AV-3.3.1.2090-01-20240117-FINAL");
    }
}

constexpr sim::UnrelatedFrame kAvBurstFrame{sim::UnrelatedFrame::Kind::Av, 0xA035};
constexpr sim::UnrelatedFrame kHp10BurstFrame{sim::UnrelatedFrame::Kind::Hp10, 0x3F};

INSTANTIATE_TEST_SUITE_P(
    Bursts, BusySegment,
    ::testing::Values(BurstCase{"Av12", Family::Av, 12, kAvBurstFrame},
                      BurstCase{"Av64", Family::Av, 64, kAvBurstFrame},
                      BurstCase{"Av200", Family::Av, 200, kAvBurstFrame},
                      BurstCase{"Av64Hp10Frames", Family::Av, 64, kHp10BurstFrame},
                      // A 1.0 drain takes at most 64 frames a tick, and an AV frame ends it:
                      // a 1.0 network's bursts are of 1.0 frames, a drain's worth.
                      BurstCase{"Turbo64", Family::Turbo, 64, kHp10BurstFrame},
                      BurstCase{"Plain64", Family::HomePlug10, 64, kHp10BurstFrame}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// A version confirmation shorter than its full layout

TEST_F(ScanSim, ShortVersionAnswerStillFindsTheLocalDevice) {
    const std::string text = "QRB1000-AV-3.3.1.2090-01-20240117-FINAL";
    const struct {
        size_t length;
        std::string firmware;  // what the text becomes, read as far as it came
    } cases[] = {
        {87, "QRB3000-AV-3.3.1.2090-01-20240117-FINAL"},
        {40, "QRB3000-AV-3.3.1."},  // bytes 23..39: seventeen characters
    };
    addPort(deviceConfig(Family::Av, kAvLocal));
    attach();
    device(kAvLocal).profile.firmware = text;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        resetCoreState();
        resetAvExchangeState();
        reopenInterfaces();
        device(kAvLocal).profile.faults.truncateTo = c.length;
        EXPECT_TRUE(discoverLocalAv());
        EXPECT_EQ(core.adapters[0].localPresent, 1);
        EXPECT_EQ(core.adapters[0].localKind, kKindAv);
        EXPECT_EQ(macOf(core.adapters[0].localMac), kAvLocal);
        EXPECT_EQ(core.localIsAv, 1);
        EXPECT_STREQ(avExchangeState().localFirmwareText, c.firmware.c_str());
    }
}

// ---------------------------------------------------------------------------------------------
// A plain HomePlug 1.0 local device that stops answering

TEST_F(ScanSim, PlainLocalDeviceIsGivenUpOnlyByItsMissCounter) {
    addPort(deviceConfig(Family::HomePlug10, kHp10Local),
            {deviceConfig(Family::HomePlug10, kHp10Station1)});
    attach();
    ASSERT_TRUE(startScan(2, 3, true));
    ticks(2 * 2 + 4);  // one cycle: the block, the key and the station
    ASSERT_NE(findStationByMac(kHp10Station1.data()), nullptr);
    ASSERT_EQ(+findStationByMac(kHp10Station1.data())->present, 1);
    ASSERT_EQ(+core.adapters[0].localMissCount, 1);

    device(kHp10Local).profile.faults.silent = true;
    const struct {
        int silentRounds;
        bool present;
        uint8_t misses;
    } rounds[] = {{1, true, 2}, {2, true, 3}, {3, false, 0}, {4, false, 1}};
    for (const auto& round : rounds) {
        SCOPED_TRACE(round.silentRounds);
        EXPECT_EQ(fullScan(), round.present);
        EXPECT_EQ(core.adapters[0].localPresent, round.present ? 1 : 0);
        EXPECT_EQ(+core.adapters[0].localMissCount, +round.misses);
        EXPECT_EQ(+core.stationTables[0].localPresent, round.present ? 1 : 0);
        // The stations are kept while the device is held, cleared once it is given up.
        EXPECT_EQ(+findStationByMac(kHp10Station1.data())->present, round.present ? 1 : 0);
        EXPECT_STREQ(core.stationTables[0].networkName, "HomePlug");
    }
}

// ---------------------------------------------------------------------------------------------
// Rates of plain HomePlug 1.0 stations

TEST_F(ScanSim, PlainStationsGetTheirRatesFromTheLocalStatistics) {
    DeviceConfig slow = deviceConfig(Family::HomePlug10, kHp10Station1);
    slow.profile.rates.hp10Raw = 420;
    addPort(deviceConfig(Family::HomePlug10, kHp10Local), {slow});
    attach();
    ASSERT_TRUE(startScan(2, 3, true));
    ticks(2 * (2 * 2 + 4));

    const StationRecord* station = findStationByMac(kHp10Station1.data());
    ASSERT_NE(station, nullptr);
    // (420 / 42) x 1.1434511434511434 - 0.12978912978912938 = 11.30..., kept whole.
    EXPECT_EQ(double{station->rate.currentRate}, 11.0);
    EXPECT_EQ(double{station->rate.maxRate}, 11.0);
    EXPECT_EQ(StationKind(station->stationKind), StationKind::HomePlug10);
}

// ---------------------------------------------------------------------------------------------
// Another host on the segment sending in names not its own

struct SpoofCase {
    const char* name;
    Family family;
    bool spoofNetworkInfo;
    bool forgeVersion;
    uint32_t hostSourceBurst;
};

void PrintTo(const SpoofCase& c, std::ostream* out) {
    *out << c.name;
}

class SpoofingHost : public ScanSim, public ::testing::WithParamInterface<SpoofCase> {};

// Whatever the other host sends, the local devices and the stations stay what the real devices
// say, on the interface with the faults and on another whose host address the burst also uses.
TEST_P(SpoofingHost, StationsAndLocalDevicesStayAsTheDevicesSay) {
    const SpoofCase& c = GetParam();
    const Mac otherLocal{0x00, 0xB0, 0x52, 0x00, 0x09, 0x10};
    addPort(deviceConfig(c.family, localMacOf(c.family)),
            {deviceConfig(c.family, stationMacOf(c.family, 1)),
             deviceConfig(c.family, stationMacOf(c.family, 2))});
    addPort(deviceConfig(c.family, otherLocal));
    sim::Faults& faults = net.port(0).faults;
    faults.spoofNetworkInfo = c.spoofNetworkInfo;
    faults.forgeVersion = c.forgeVersion;
    faults.hostSourceBurst = c.hostSourceBurst;
    attach();

    ASSERT_TRUE(startScan(2, 3, true));
    ticks(3 * (2 * 2 + 4));
    mergeStationsIntoDevices(0);

    const std::vector<Mac> real{localMacOf(c.family), stationMacOf(c.family, 1),
                                stationMacOf(c.family, 2), otherLocal};
    auto isReal = [&](const uint8_t* mac) {
        return std::find(real.begin(), real.end(), macOf(mac)) != real.end();
    };
    EXPECT_EQ(formatMac(core.adapters[0].localMac), formatMac(localMacOf(c.family)));
    EXPECT_EQ(formatMac(core.stationTables[0].localMac), formatMac(localMacOf(c.family)));
    EXPECT_EQ(formatMac(core.adapters[1].localMac), formatMac(otherLocal));
    EXPECT_EQ(core.adapters[0].localPresent, 1);
    for (int i = 1; i <= 2; ++i) {
        const StationRecord* station = findStationByMac(stationMacOf(c.family, i).data());
        ASSERT_NE(station, nullptr) << i;
        EXPECT_EQ(+station->present, 1) << i;
        EXPECT_EQ(std::string(station->firmwareText).find("FORGED"), std::string::npos) << i;
    }
    for (const StationRecord& station : core.stationTables[0].stations)
        if (macIsSet(station.mac)) {
            EXPECT_TRUE(isReal(station.mac)) << formatMac(station.mac);
        }
    for (int i = 0; i < core.deviceCount; ++i)
        EXPECT_TRUE(isReal(core.devices[i].mac)) << formatMac(core.devices[i].mac);
    EXPECT_NE(findDeviceByMac(localMacOf(c.family).data()), 0);
    if (c.family == Family::Av) {
        EXPECT_STREQ(avExchangeState().localFirmwareText,
                     "QRB3000-AV-3.3.1.2090-01-20240117-FINAL");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SpoofingHost,
    ::testing::Values(SpoofCase{"AvSpoofedNetworkInfo", Family::Av, true, false, 0},
                      SpoofCase{"AvForgedVersions", Family::Av, false, true, 0},
                      SpoofCase{"AvHostSourceBurst", Family::Av, false, false, 4},
                      SpoofCase{"AvAllAtOnce", Family::Av, true, true, 4},
                      SpoofCase{"TurboHostSourceBurst", Family::Turbo, false, false, 4},
                      SpoofCase{"PlainHostSourceBurst", Family::HomePlug10, false, false, 4}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvel::test
