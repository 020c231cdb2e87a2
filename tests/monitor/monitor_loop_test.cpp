// SPDX-License-Identifier: MIT
#include "monitor/monitor_loop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <map>

#include "av/link_health_ops.h"
#include "monitor/events.h"
#include "monitor/metrics.h"
#include "monitor/stop_signal.h"
#include "platform/text.h"
#include "store/database.h"
#include "store/preferences.h"
#include "tests/monitor/registry_reader.h"
#include "tests/scan/scan_sim_fixture.h"

// The monitor against the simulated network on the in-memory wire and the virtual clock: whole
// cycles of the real scan, their snapshots into the metrics and the events.
namespace corvel::test {
namespace {

constexpr char kPresenceSeries[] = "corvel_station_present";
constexpr char kRateSeries[] = "corvel_station_phy_rate_bytes_per_second";

// The AV rate byte of the network information entry: the device's own Mbit/s.
double avRateMbps(uint8_t rateByte) { return rateByte; }

// The scan's fixture (the virtual clock, the wire, the simulator, a scratch data directory) with
// the cycle of the default preferences: 30 ticks of 42 ms a phase, about 2.7 s.
class MonitorSim : public ScanSim {
protected:
    void SetUp() override {
        ScanSim::SetUp();
        core.ticksPerPhase = preferences().ticksPerPhase();
        loadDatabase();
        DeviceConfig station1 = deviceConfig(Family::Av, kAvStation);
        station1.profile.rates.avTx = 151;
        DeviceConfig station2 = deviceConfig(Family::Av, kAvStation2);
        station2.profile.rates.avTx = 76;
        addPort(deviceConfig(Family::Av, kAvLocal), {station1, station2});
        attach();
    }
    void TearDown() override {
        loop.reset();
        ScanSim::TearDown();
    }

    void makeLoop(MonitorOptions options = {}) {
        loop = std::make_unique<MonitorLoop>(options, [this](const CycleSnapshot& snapshot) {
            snapshots.push_back(snapshot);
            metrics.record(snapshot);
            for (const MonitorEvent& event : tracker.compare(snapshot)) events.push_back(event);
        });
    }
    void cycles(int n) {
        for (int i = 0; i < n; ++i) ASSERT_TRUE(loop->runCycle([] { return false; }));
    }
    std::vector<std::string> eventsOf(EventKind kind, const Mac& mac) const {
        std::vector<std::string> out;
        for (const MonitorEvent& e : events)
            if (e.kind == kind && e.mac == formatMac(mac)) out.push_back(e.mac);
        return out;
    }

    prometheus::Registry registry;
    MonitorMetrics metrics{registry};
    EventTracker tracker;
    std::vector<CycleSnapshot> snapshots;
    std::vector<MonitorEvent> events;
    std::unique_ptr<MonitorLoop> loop;
};

TEST_F(MonitorSim, AStationThatLeavesReadsZeroAndKeepsItsSeries) {
    makeLoop();
    ASSERT_TRUE(loop->start());
    cycles(2);
    const std::string gone = formatMac(kAvStation2);
    EXPECT_EQ(valueOf(registry, kPresenceSeries, {{"mac", formatMac(kAvStation)}}), 1);
    EXPECT_EQ(valueOf(registry, kPresenceSeries, {{"mac", gone}, {"interface", "plc0"},
                                          {"family", "HomePlug AV"}, {"name", "Device 3"}}),
              1);
    EXPECT_EQ(valueOf(registry, kRateSeries, {{"mac", formatMac(kAvStation)}, {"direction", "tx"}}),
              avRateMbps(151) * 1e6 / 8);
    EXPECT_EQ(valueOf(registry, kRateSeries, {{"mac", gone}, {"direction", "tx"}}),
              avRateMbps(76) * 1e6 / 8);
    EXPECT_EQ(valueOf(registry, kRateSeries, {{"mac", formatMac(kAvStation)}, {"direction", "rx"}}),
              avRateMbps(device(kAvStation).profile.rates.avRx) * 1e6 / 8);
    EXPECT_EQ(eventsOf(EventKind::StationAppeared, kAvStation2).size(), 1u);

    device(kAvStation2).profile.faults.offline = true;
    int cyclesToDrop = 0;
    while (valueOf(registry, kPresenceSeries, {{"mac", gone}}) == 1 && cyclesToDrop < 6) {
        cycles(1);
        ++cyclesToDrop;
    }
    // Dropped after the full scans its miss counter allows, and still listed at 0.
    EXPECT_LE(cyclesToDrop, 4);
    EXPECT_EQ(valueOf(registry, kPresenceSeries, {{"mac", gone}}), 0);
    EXPECT_EQ(seriesWith(registry, kRateSeries, "mac", gone), 0);
    EXPECT_EQ(valueOf(registry, kPresenceSeries, {{"mac", formatMac(kAvStation)}}), 1);
    EXPECT_EQ(eventsOf(EventKind::StationLeft, kAvStation2).size(), 1u);
    EXPECT_EQ(valueOf(registry, "corvel_device_list_entries"), 3);
    EXPECT_EQ(valueOf(registry, "corvel_scans_total"), 2 + cyclesToDrop);

    device(kAvStation2).profile.faults.offline = false;
    cycles(1);
    EXPECT_EQ(valueOf(registry, kPresenceSeries, {{"mac", gone}}), 1);
    EXPECT_EQ(eventsOf(EventKind::StationAppeared, kAvStation2).size(), 2u);
}

TEST_F(MonitorSim, ARateThatMovesMoreThanATenthIsAnEvent) {
    makeLoop();
    ASSERT_TRUE(loop->start());
    cycles(1);
    device(kAvStation).profile.rates.avTx = 140;  // 140 from 151 Mbit/s: 7.3 %
    cycles(1);
    EXPECT_TRUE(eventsOf(EventKind::RateChanged, kAvStation).empty());
    device(kAvStation).profile.rates.avTx = 120;  // 120 from 151 Mbit/s: 20.5 %
    cycles(1);
    ASSERT_EQ(eventsOf(EventKind::RateChanged, kAvStation).size(), 1u);
    const MonitorEvent& change = events.back();
    EXPECT_EQ(change.previousRateMbps, avRateMbps(151));
    EXPECT_EQ(change.rateMbps, avRateMbps(120));
}

TEST_F(MonitorSim, LinkStatisticsAreReadForPresentAvStationsEveryNthCycle) {
    std::map<std::string, int> asked;
    MonitorOptions options;
    options.linkStatsEvery = 2;
    options.readLinkStats = [&](const Mac& station,
                                std::string& error) -> std::optional<LinkStatsConfirm> {
        const int n = ++asked[formatMac(station)];
        if (station == kAvStation2) {
            error = "no answer";
            return std::nullopt;
        }
        LinkStatsConfirm confirm;
        confirm.device = kAvLocal;
        TxLinkStats tx;
        tx.mpdusAcked = uint64_t(100 * n);
        confirm.tx = tx;
        return confirm;
    };
    makeLoop(options);
    ASSERT_TRUE(loop->start());
    cycles(4);
    EXPECT_EQ(asked[formatMac(kAvStation)], 2);
    EXPECT_EQ(asked[formatMac(kAvStation2)], 2);
    // The local device is no station of its own network.
    EXPECT_EQ(asked.count(formatMac(kAvLocal)), 0u);
    EXPECT_EQ(valueOf(registry, "corvel_station_link_mpdus_total",
                      {{"mac", formatMac(kAvStation)}, {"direction", "tx"}, {"outcome", "acked"}}),
              200);
    EXPECT_EQ(valueOf(registry, "corvel_link_stats_failures_total"), 2);
    ASSERT_EQ(snapshots.size(), 4u);
    EXPECT_TRUE(snapshots[0].devices[1].linkStats.has_value());
    EXPECT_FALSE(snapshots[1].devices[1].linkStats.has_value());

    // A station that left is not asked.
    device(kAvStation).profile.faults.offline = true;
    cycles(6);
    const int before = asked[formatMac(kAvStation)];
    cycles(2);
    EXPECT_EQ(asked[formatMac(kAvStation)], before);
}

TEST_F(MonitorSim, TheSimulatorsLinkCountersGrowInTheRegistry) {
    MonitorOptions options;
    options.readLinkStats = requestLinkStats;
    makeLoop(options);
    ASSERT_TRUE(loop->start());
    const LabelSet acked{{"mac", formatMac(kAvStation)}, {"direction", "tx"}, {"outcome", "acked"}};
    cycles(2);
    const std::optional<double> first = valueOf(registry, "corvel_station_link_mpdus_total", acked);
    cycles(2);
    const std::optional<double> later = valueOf(registry, "corvel_station_link_mpdus_total", acked);
    ASSERT_TRUE(first && later);
    // 100 frames a second to the station, the simulator's default, over two cycles.
    EXPECT_GT(*first, 0);
    EXPECT_NEAR(*later - *first, 100 * 2 * 2.688, 100);
    EXPECT_GT(valueOf(registry, "corvel_station_link_pbs_total",
                      {{"mac", formatMac(kAvStation2)}, {"direction", "rx"}, {"outcome", "passed"}})
                  .value_or(0),
              0);
    EXPECT_EQ(valueOf(registry, "corvel_link_stats_failures_total"), 0);
}

TEST_F(MonitorSim, NothingIsSentBetweenCyclesAtALongerInterval) {
    MonitorOptions options;
    options.intervalMs = 20000;
    std::vector<uint64_t> ends;
    loop = std::make_unique<MonitorLoop>(options, [&](const CycleSnapshot& snapshot) {
        snapshots.push_back(snapshot);
        ends.push_back(clock.tickCount());
    });
    ASSERT_TRUE(loop->start());
    loop->run([&] { return loop->cycles() >= 3; });
    ASSERT_EQ(ends.size(), 3u);
    EXPECT_EQ(ends[1] - ends[0], 20000u);
    EXPECT_EQ(ends[2] - ends[1], 20000u);
    const uint64_t idleFrom = ends[0];
    const uint64_t idleTo = ends[1] - uint64_t(snapshots[1].durationSeconds * 1000);
    EXPECT_GT(idleTo, idleFrom + 15000);
    for (const MemoryWire::SentFrame& frame : wire.sent())
        EXPECT_FALSE(frame.atMs > idleFrom && frame.atMs < idleTo) << frame.atMs;
    // Each cycle still scans: the stations are present in every snapshot.
    for (const CycleSnapshot& snapshot : snapshots) EXPECT_TRUE(snapshot.devices[1].present);
}

class MonitorStops : public MonitorSim, public ::testing::WithParamInterface<int> {};

TEST_P(MonitorStops, OnASignalBetweenTwoTicksAndSavesTheList) {
    makeLoop();
    StopSignals signals;
    ASSERT_TRUE(loop->start());
    const uint64_t startedMs = clock.tickCount();
    // In the middle of the second cycle.
    const int number = GetParam();
    clock.scheduleAfter(4000, [number] { std::raise(number); });
    loop->run([] { return StopSignals::requested(); });
    EXPECT_EQ(StopSignals::signal(), number);
    EXPECT_EQ(loop->cycles(), 1);
    // The cycle ended at the next tick, not at its full scan.
    EXPECT_LT(clock.tickCount() - startedMs, 4000u + 100u);

    std::string reason;
    ASSERT_TRUE(loop->finish(reason)) << reason;
    resetCoreState();
    ASSERT_EQ(loadDatabase().status, LoadStatus::Loaded);
    EXPECT_EQ(core.deviceCount, 3);
    EXPECT_NE(findDeviceByMac(kAvStation2.data()), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, MonitorStops, ::testing::Values(SIGTERM, SIGINT));

TEST_F(MonitorSim, AnotherProgramsSaveIsTakenBeforeTheNextSave) {
    MonitorOptions options;
    options.saveEveryMs = 1;  // every cycle saves
    makeLoop(options);
    ASSERT_TRUE(loop->start());
    cycles(1);
    const int index = findDeviceByMac(kAvStation.data());
    ASSERT_NE(index, 0);
    EXPECT_EQ(stringOf(core.devices[index - 1].name), "Device 2");

    // corvel rename, run by another user meanwhile: the file is replaced with the new name.
    const std::string path = databasePath();
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const size_t nameAt = kDeviceRecordsOffset + size_t(index - 1) * sizeof(DeviceRecord);
    ASSERT_LT(nameAt + 35, bytes.size());
    std::memset(&bytes[nameAt], 0, 35);
    std::memcpy(&bytes[nameAt], "Kitchen", 7);
    {
        std::ofstream out(path + ".new", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::filesystem::rename(path + ".new", path);

    cycles(2);
    EXPECT_EQ(stringOf(core.devices[index - 1].name), "Kitchen");
    EXPECT_EQ(seriesWith(registry, kPresenceSeries, "name", "Device 2"), 0);
    EXPECT_EQ(valueOf(registry, kPresenceSeries, {{"name", "Kitchen"}}), 1);
    // The station tables stayed this run's own: the station is still present.
    EXPECT_TRUE(snapshots.back().devices[size_t(index - 1)].present);

    std::string reason;
    ASSERT_TRUE(loop->finish(reason)) << reason;
    resetCoreState();
    ASSERT_EQ(loadDatabase().status, LoadStatus::Loaded);
    EXPECT_EQ(stringOf(core.devices[findDeviceByMac(kAvStation.data()) - 1].name), "Kitchen");
}

TEST_F(MonitorSim, ALostLocalDeviceFailsTheScanUntilItIsFound) {
    makeLoop();
    ASSERT_TRUE(loop->start());
    cycles(1);
    device(kAvLocal).profile.faults.offline = true;
    cycles(2);
    EXPECT_EQ(valueOf(registry, "corvel_scan_failures_total"), 2);
    EXPECT_EQ(valueOf(registry, "corvel_local_device_present", {{"interface", "plc0"}}), 0);
    EXPECT_EQ(valueOf(registry, kPresenceSeries, {{"mac", formatMac(kAvLocal)}}), 0);
    EXPECT_EQ(eventsOf(EventKind::LocalDeviceLost, kAvLocal).size(), 1u);
    EXPECT_EQ(eventsOf(EventKind::StationLeft, kAvStation).size(), 1u);
    int failures = 0;
    for (const MonitorEvent& e : events)
        if (e.kind == EventKind::ScanFailed) {
            ++failures;
            EXPECT_EQ(e.reason, "The HomePlug Adapter was not detected.");
        }
    EXPECT_EQ(failures, 1);

    device(kAvLocal).profile.faults.offline = false;
    cycles(2);
    EXPECT_EQ(eventsOf(EventKind::LocalDeviceFound, kAvLocal).size(), 2u);
    EXPECT_EQ(valueOf(registry, "corvel_local_device_present", {{"interface", "plc0"}}), 1);
    EXPECT_EQ(valueOf(registry, kPresenceSeries, {{"mac", formatMac(kAvStation)}}), 1);
    EXPECT_EQ(valueOf(registry, "corvel_scan_failures_total"), 2);
}

}  // namespace
}  // namespace corvel::test
