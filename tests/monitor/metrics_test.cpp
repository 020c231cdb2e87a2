// SPDX-License-Identifier: MIT
#include "monitor/metrics.h"

#include <gtest/gtest.h>
#include <prometheus/text_serializer.h>

#include "tests/monitor/registry_reader.h"

namespace corvel::test {
namespace {

constexpr char kPresent[] = "corvel_station_present";
constexpr char kRate[] = "corvel_station_phy_rate_bytes_per_second";
constexpr char kQuality[] = "corvel_station_quality_level";
constexpr char kMpdus[] = "corvel_station_link_mpdus_total";
constexpr char kBlocks[] = "corvel_station_link_pbs_total";
constexpr char kBitErrors[] = "corvel_station_link_bit_errors_total";
constexpr char kStationMac[] = "00:B0:52:00:00:11";

DeviceSnapshot station(const std::string& name, bool present, std::optional<double> rate = {}) {
    DeviceSnapshot device;
    device.mac = kStationMac;
    device.name = name;
    device.interfaceName = "host0";
    device.family = "HomePlug AV";
    device.present = present;
    device.txRateMbps = rate;
    device.qualityLevel = present ? 4 : 0;
    return device;
}

InterfaceSnapshot interface(bool localPresent, const std::string& firmware = "FW-1") {
    InterfaceSnapshot out;
    out.name = "host0";
    out.localPresent = localPresent;
    if (localPresent) {
        out.localMac = "00:B0:52:00:00:10";
        out.localKind = "HomePlug AV Device";
        out.localFirmware = firmware;
    }
    return out;
}

CycleSnapshot cycle(std::vector<DeviceSnapshot> devices, bool localPresent = true) {
    CycleSnapshot snapshot;
    snapshot.interfaces = {interface(localPresent)};
    snapshot.devices = std::move(devices);
    return snapshot;
}

LinkStatsConfirm linkStats(uint64_t base) {
    LinkStatsConfirm stats;
    stats.tx = TxLinkStats{base + 1, base + 2, base + 3, base + 4, base + 5};
    RxLinkStats rx;
    rx.mpdusAcked = base + 6;
    rx.mpdusFailed = base + 7;
    rx.pbsPassed = base + 8;
    rx.pbsFailed = base + 9;
    rx.turboBitErrorsPassed = base + 10;
    rx.turboBitErrorsFailed = base + 11;
    stats.rx = rx;
    return stats;
}

class Metrics : public ::testing::Test {
protected:
    prometheus::Registry registry;
    MonitorMetrics metrics{registry};
};

TEST_F(Metrics, PresenceReadsOneThenZeroAndTheSeriesStays) {
    metrics.record(cycle({station("Kitchen", true, 200)}));
    const LabelSet labels{{"interface", "host0"}, {"mac", kStationMac}, {"name", "Kitchen"},
                          {"family", "HomePlug AV"}};
    EXPECT_EQ(valueOf(registry, kPresent, labels), 1);
    // 200 Mbit/s in bytes per second.
    EXPECT_EQ(valueOf(registry, kRate, {{"mac", kStationMac}, {"direction", "tx"}}), 200e6 / 8);
    EXPECT_EQ(valueOf(registry, kQuality, labels), 4);

    metrics.record(cycle({station("Kitchen", false)}));
    EXPECT_EQ(valueOf(registry, kPresent, labels), 0);
    EXPECT_EQ(valueOf(registry, kQuality, labels), 0);
    // A station that is gone has no rate: no series, rather than a 0 that would drag its
    // median down.
    EXPECT_TRUE(seriesOf(registry, kRate).empty());
}

TEST_F(Metrics, AnUnknownRateHasNoSeriesInEitherDirection) {
    DeviceSnapshot device = station("Kitchen", true);  // present, no rate read yet
    metrics.record(cycle({device}));
    EXPECT_TRUE(seriesOf(registry, kRate).empty());

    device.txRateMbps = 150;
    device.rxRateMbps = 120;
    metrics.record(cycle({device}));
    EXPECT_EQ(valueOf(registry, kRate, {{"direction", "tx"}}), 150e6 / 8);
    EXPECT_EQ(valueOf(registry, kRate, {{"direction", "rx"}}), 120e6 / 8);

    device.rxRateMbps.reset();
    metrics.record(cycle({device}));
    EXPECT_EQ(seriesWith(registry, kRate, "direction", "rx"), 0);
    EXPECT_EQ(seriesWith(registry, kRate, "direction", "tx"), 1);
}

TEST_F(Metrics, EveryLinkStatisticsCounterLandsInItsOwnSeries) {
    DeviceSnapshot device = station("Kitchen", true, 100);
    device.linkStats = linkStats(100);
    metrics.record(cycle({device}));
    const struct {
        const char* name;
        const char* direction;
        const char* outcome;
        double value;
    } expected[] = {
        {kMpdus, "tx", "acked", 101},    {kMpdus, "tx", "collided", 102},
        {kMpdus, "tx", "failed", 103},   {kBlocks, "tx", "passed", 104},
        {kBlocks, "tx", "failed", 105},  {kMpdus, "rx", "acked", 106},
        {kMpdus, "rx", "failed", 107},   {kBlocks, "rx", "passed", 108},
        {kBlocks, "rx", "failed", 109},  {kBitErrors, "rx", "passed", 110},
        {kBitErrors, "rx", "failed", 111},
    };
    for (const auto& e : expected)
        EXPECT_EQ(valueOf(registry, e.name,
                          {{"mac", kStationMac}, {"direction", e.direction}, {"outcome", e.outcome}}),
                  e.value)
            << e.name << " " << e.direction << " " << e.outcome;
    EXPECT_EQ(seriesOf(registry, kMpdus).size(), 5u);
    EXPECT_EQ(seriesOf(registry, kBlocks).size(), 4u);
    EXPECT_EQ(seriesOf(registry, kBitErrors).size(), 2u);
}

TEST_F(Metrics, CountersGrowByWhatTheDeviceCountedAndNeverGoBack) {
    const LabelSet acked{{"direction", "tx"}, {"outcome", "acked"}};
    DeviceSnapshot device = station("Kitchen", true, 100);
    const struct {
        uint64_t reading;
        double exported;
    } steps[] = {
        {1000, 1001},  // the first reading counts whole (mpdusAcked is base + 1)
        {1500, 1501},  // 500 more
        {1500, 1501},  // nothing new
        {20, 1522},    // the device restarted: 21 counted since
        {50, 1552},    // 30 more
    };
    for (const auto& step : steps) {
        device.linkStats = linkStats(step.reading);
        metrics.record(cycle({device}));
        EXPECT_EQ(valueOf(registry, kMpdus, acked), step.exported) << step.reading;
    }
    // A cycle without statistics (read every Nth cycle, or the station did not answer) leaves
    // the counters as they were.
    device.linkStats.reset();
    metrics.record(cycle({device}));
    EXPECT_EQ(valueOf(registry, kMpdus, acked), 1552);
}

TEST_F(Metrics, ARenamedDeviceLeavesNoSeriesUnderItsOldName) {
    DeviceSnapshot device = station("Kitchen", true, 100);
    device.linkStats = linkStats(100);
    metrics.record(cycle({device}));

    device.name = "Office";
    device.linkStats.reset();
    metrics.record(cycle({device}));
    for (const char* name : {kPresent, kRate, kQuality, kMpdus, kBlocks, kBitErrors}) {
        EXPECT_EQ(seriesWith(registry, name, "name", "Kitchen"), 0) << name;
        EXPECT_GT(seriesWith(registry, name, "name", "Office"), 0) << name;
    }
    // The counters carry on from where they stood under the old name.
    EXPECT_EQ(valueOf(registry, kMpdus, {{"name", "Office"}, {"direction", "tx"}, {"outcome", "acked"}}),
              101);
    device.linkStats = linkStats(200);
    metrics.record(cycle({device}));
    EXPECT_EQ(valueOf(registry, kMpdus, {{"name", "Office"}, {"direction", "tx"}, {"outcome", "acked"}}),
              201);
}

TEST_F(Metrics, ADeviceRemovedFromTheListTakesItsSeriesWithIt) {
    DeviceSnapshot device = station("Kitchen", true, 100);
    device.linkStats = linkStats(1);
    metrics.record(cycle({device}));
    metrics.record(cycle({}));
    for (const char* name : {kPresent, kRate, kQuality, kMpdus, kBlocks, kBitErrors})
        EXPECT_TRUE(seriesOf(registry, name).empty()) << name;
    EXPECT_EQ(valueOf(registry, "corvel_device_list_entries"), 0);

    // Listed again later: its counters start afresh, not from the forgotten readings.
    device.linkStats = linkStats(1);
    metrics.record(cycle({device}));
    EXPECT_EQ(valueOf(registry, kMpdus, {{"direction", "tx"}, {"outcome", "acked"}}), 2);
}

TEST_F(Metrics, ProcessSeriesCountScansFailuresAndTheList) {
    CycleSnapshot ok = cycle({station("Kitchen", true, 100)});
    ok.durationSeconds = 2.7;
    CycleSnapshot failed = cycle({station("Kitchen", false)}, false);
    failed.scanFailed = true;
    failed.failure = "The HomePlug Adapter was not detected.";
    failed.saveFailed = true;
    failed.linkStatsFailures = 2;
    failed.durationSeconds = 3.5;
    for (const CycleSnapshot* snapshot : {&ok, &failed, &failed, &ok}) metrics.record(*snapshot);

    EXPECT_EQ(valueOf(registry, "corvel_scans_total"), 4);
    EXPECT_EQ(valueOf(registry, "corvel_scan_failures_total"), 2);
    EXPECT_EQ(valueOf(registry, "corvel_device_list_save_failures_total"), 2);
    EXPECT_EQ(valueOf(registry, "corvel_link_stats_failures_total"), 4);
    EXPECT_EQ(valueOf(registry, "corvel_last_scan_duration_seconds"), 2.7);
    EXPECT_EQ(valueOf(registry, "corvel_device_list_entries"), 1);
}

TEST_F(Metrics, TheInterfaceInfoFollowsItsLocalDevice) {
    const char* info = "corvel_local_device_info";
    const char* present = "corvel_local_device_present";
    CycleSnapshot snapshot = cycle({});
    metrics.record(snapshot);
    EXPECT_EQ(valueOf(registry, present, {{"interface", "host0"}}), 1);
    EXPECT_EQ(valueOf(registry, info,
                      {{"interface", "host0"}, {"mac", "00:B0:52:00:00:10"},
                       {"kind", "HomePlug AV Device"}, {"firmware", "FW-1"}}),
              1);

    // Upgraded: one info series, naming the new firmware.
    snapshot.interfaces = {interface(true, "FW-2")};
    metrics.record(snapshot);
    ASSERT_EQ(seriesOf(registry, info).size(), 1u);
    EXPECT_EQ(seriesOf(registry, info)[0].labels["firmware"], "FW-2");

    // Unplugged: present reads 0 and nothing describes a device that is not there.
    snapshot.interfaces = {interface(false)};
    metrics.record(snapshot);
    EXPECT_EQ(valueOf(registry, present, {{"interface", "host0"}}), 0);
    EXPECT_TRUE(seriesOf(registry, info).empty());

    // The interface itself went away: its series stays, at 0.
    snapshot.interfaces = {interface(true)};
    metrics.record(snapshot);
    snapshot.interfaces.clear();
    metrics.record(snapshot);
    EXPECT_EQ(valueOf(registry, present, {{"interface", "host0"}}), 0);
    EXPECT_TRUE(seriesOf(registry, info).empty());
}

TEST_F(Metrics, LabelValuesAreValidUtf8AndEveryFamilyHasHelpAndType) {
    // A name from an old database, in a single-byte code page.
    DeviceSnapshot device = station("K\xFC" "che", true, 100);
    device.linkStats = linkStats(1);
    metrics.record(cycle({device}));
    ASSERT_EQ(seriesOf(registry, kPresent).size(), 1u);
    EXPECT_EQ(seriesOf(registry, kPresent)[0].labels["name"], "K\xEF\xBF\xBD" "che");

    const std::string text = prometheus::TextSerializer().Serialize(registry.Collect());
    for (const char* name : {"corvel_scans_total", "corvel_scan_failures_total",
                             "corvel_last_scan_duration_seconds", "corvel_device_list_entries",
                             "corvel_local_device_present", "corvel_local_device_info", kPresent,
                             kRate, kQuality, kMpdus, kBlocks, kBitErrors}) {
        EXPECT_NE(text.find(std::string("# HELP ") + name + " "), std::string::npos) << name;
        EXPECT_NE(text.find(std::string("# TYPE ") + name + " "), std::string::npos) << name;
    }
}

// Texts from devices and the database reach the label values as every other output gives them:
// valid UTF-8, and control characters (a terminal's clear-screen, a line break, a C1 CSI) as
// visible escapes, in the station's name and the local device's firmware and kind alike.
TEST_F(Metrics, LabelValuesEscapeControlCharactersAndReplaceWhatIsNotUtf8) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"K\xC3\xBC" "che", "K\xC3\xBC" "che"},
        {"a\"b\\c", "a\"b\\c"},
        {"\x1b[2JFW", "\\x1b[2JFW"},
        {"two\nlines\r", "two\\x0alines\\x0d"},
        {"\xC2\x9B" "31m", "\\x9b31m"},
        {"x\xFFy", "x\xEF\xBF\xBDy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        prometheus::Registry fresh;
        MonitorMetrics recorder{fresh};
        CycleSnapshot snapshot = cycle({station(c.in, true, 100)});
        snapshot.interfaces[0].localFirmware = c.in;
        snapshot.interfaces[0].localKind = c.in;
        recorder.record(snapshot);
        ASSERT_EQ(seriesOf(fresh, kPresent).size(), 1u);
        EXPECT_EQ(seriesOf(fresh, kPresent)[0].labels["name"], c.out);
        const auto info = seriesOf(fresh, "corvel_local_device_info");
        ASSERT_EQ(info.size(), 1u);
        EXPECT_EQ(info[0].labels.at("firmware"), c.out);
        EXPECT_EQ(info[0].labels.at("kind"), c.out);
        const std::string text = prometheus::TextSerializer().Serialize(fresh.Collect());
        EXPECT_EQ(text.find('\x1b'), std::string::npos);
    }
}

}  // namespace
}  // namespace corvel::test
