// SPDX-License-Identifier: MIT
#include "scan/rate_history.h"

#include <gtest/gtest.h>

#include "core/stations.h"
#include "core/tables.h"

namespace corvel {
namespace {

constexpr Mac kStation{0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
constexpr int64_t kStart = 1'700'000'000'000;  // a November 2023 morning, UTC
constexpr int64_t kHourMs = 60 * 60 * 1000;

RateSample at(int64_t ms, std::optional<int> tx, std::optional<int> rx = std::nullopt) {
    return RateSample{.atMs = ms, .txMbps = tx, .rxMbps = rx};
}

std::vector<int64_t> timesOf(const std::vector<RateSample>& samples) {
    std::vector<int64_t> times;
    for (const RateSample& s : samples) times.push_back(s.atMs);
    return times;
}

// Samples of a day ago and older leave as newer ones come; the one exactly a day old stays.
TEST(RateHistory, KeepsTheLastDay) {
    RateHistory history;
    history.add(kStation, at(kStart, 100));
    history.add(kStation, at(kStart + kHourMs, 110));
    history.add(kStation, at(kStart + 24 * kHourMs, 120));
    EXPECT_EQ(timesOf(history.samplesOf(kStation)),
              (std::vector<int64_t>{kStart, kStart + kHourMs, kStart + 24 * kHourMs}));
    history.add(kStation, at(kStart + 24 * kHourMs + 1, 130));
    EXPECT_EQ(
        timesOf(history.samplesOf(kStation)),
        (std::vector<int64_t>{kStart + kHourMs, kStart + 24 * kHourMs, kStart + 24 * kHourMs + 1}));
    history.add(kStation, at(kStart + 100 * kHourMs, 140));
    EXPECT_EQ(history.samplesOf(kStation).size(), 1u);
}

// A scan every second for a day would be 86400 samples: the cap holds, the day stays in view
// from its first second to its last at an even pace, and the newest sample is the last one
// measured.
TEST(RateHistory, CapsTheSamplesOfAStationAndKeepsTheDayInView) {
    RateHistory history;
    const int64_t seconds = 24 * 60 * 60;
    for (int64_t i = 0; i < seconds; ++i) {
        history.add(kStation, at(kStart + i * 1000, int(i % 200)));
        ASSERT_LE(history.sampleCount(), RateHistory::kMaxSamplesPerStation) << i;
    }
    const std::vector<RateSample> samples = history.samplesOf(kStation);
    ASSERT_GE(samples.size(), RateHistory::kMaxSamplesPerStation / 4);
    EXPECT_EQ(samples.front().atMs, kStart);
    EXPECT_EQ(samples.back().atMs, kStart + (seconds - 1) * 1000);
    EXPECT_EQ(samples.back().txMbps, int((seconds - 1) % 200));
    // An even pace: no gap wider than four times the mean spacing of the cap over the day.
    const int64_t widest = 4 * RateHistory::kWindowMs / int64_t(RateHistory::kMaxSamplesPerStation);
    for (size_t i = 1; i < samples.size(); ++i) {
        ASSERT_LT(samples[i - 1].atMs, samples[i].atMs) << i;
        ASSERT_LE(samples[i].atMs - samples[i - 1].atMs, widest) << i;
    }
}

// Until the cap is reached every sample is kept as it came.
TEST(RateHistory, KeepsEverySampleBelowTheCap) {
    RateHistory history;
    for (int i = 0; i < int(RateHistory::kMaxSamplesPerStation); ++i)
        history.add(kStation, at(kStart + i * 5000, 100 + i % 7, 90));
    const std::vector<RateSample> samples = history.samplesOf(kStation);
    ASSERT_EQ(samples.size(), RateHistory::kMaxSamplesPerStation);
    for (size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(samples[i].atMs, kStart + int64_t(i) * 5000);
        ASSERT_EQ(samples[i].txMbps, 100 + int(i) % 7);
    }
}

TEST(RateHistory, KeepsAtMostTheCapOfStationsDroppingTheLeastRecentlySampled) {
    RateHistory history;
    const auto mac = [](size_t n) { return Mac{0x02, 0, 0, 0, uint8_t(n >> 8), uint8_t(n)}; };
    for (size_t n = 0; n < RateHistory::kMaxStations; ++n)
        history.add(mac(n), at(kStart + int64_t(n), 50));
    history.add(mac(0), at(kStart + 1000, 60));  // station 0 sampled again: now the most recent
    history.add(mac(9999), at(kStart + 2000, 70));
    EXPECT_EQ(history.stationCount(), RateHistory::kMaxStations);
    EXPECT_EQ(history.samplesOf(mac(0)).size(), 2u);
    EXPECT_TRUE(history.samplesOf(mac(1)).empty());
    EXPECT_EQ(history.samplesOf(mac(9999)).size(), 1u);
}

// The wall clock set back: the samples it would put after the new one are dropped, so the
// chart's time axis never runs backwards.
TEST(RateHistory, ClockSetBackKeepsTheSeriesInOrder) {
    RateHistory history;
    history.add(kStation, at(kStart, 100));
    history.add(kStation, at(kStart + 2 * kHourMs, 110));
    history.add(kStation, at(kStart + kHourMs, 120));
    EXPECT_EQ(timesOf(history.samplesOf(kStation)),
              (std::vector<int64_t>{kStart, kStart + kHourMs}));
}

TEST(RateHistory, RangesSkipUnmeasuredSamples) {
    const std::vector<RateSample> samples{at(1, 120, std::nullopt), at(2, std::nullopt, 90),
                                          at(3, 150, 80), at(4, 130, std::nullopt)};
    const RateRange tx = txRange(samples);
    EXPECT_EQ(tx.current, 130);
    EXPECT_EQ(tx.lowest, 120);
    EXPECT_EQ(tx.highest, 150);
    const RateRange rx = rxRange(samples);
    EXPECT_EQ(rx.current, 80);
    EXPECT_EQ(rx.lowest, 80);
    EXPECT_EQ(rx.highest, 90);
    const RateRange none = rxRange({at(1, 10)});
    EXPECT_FALSE(none.current || none.lowest || none.highest);
}

// A cycle's sample of each present station of the selected interface: an AV station with both
// directions, a Turbo station with its one rate, nothing for an absent station or another
// interface.
TEST(RateHistory, RecordsEachPresentStationOfTheSelectedInterface) {
    resetCoreState();
    core.currentAdapter = 1;
    const uint8_t av[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x11};
    const uint8_t turbo[6] = {0x00, 0x0B, 0x3B, 0x00, 0x00, 0x12};
    const uint8_t gone[6] = {0x00, 0xB0, 0x52, 0x00, 0x00, 0x13};
    StationRecord* slots = core.stationTables[1].stations;
    const auto put = [](StationRecord& s, const uint8_t* mac, StationKind kind, bool present) {
        copyMac(s.mac, mac);
        s.stationKind = kind;
        s.present = present ? 1 : 0;
    };
    put(slots[0], av, StationKind::Av, true);
    copyMac(core.phyRates[1][0].mac, av);
    core.phyRates[1][0].tx = 151;
    core.phyRates[1][0].rx = 140;
    put(slots[1], turbo, StationKind::Turbo, true);
    slots[1].rate.currentRate = 63;
    put(slots[2], gone, StationKind::Av, false);
    put(core.stationTables[0].stations[0], gone, StationKind::Av, true);

    RateHistory history;
    recordStationRates(history, kStart);
    EXPECT_EQ(history.stationCount(), 2u);
    const std::vector<RateSample> a = history.samplesOf(Mac{0x00, 0xB0, 0x52, 0x00, 0x00, 0x11});
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].atMs, kStart);
    EXPECT_EQ(a[0].txMbps, 151);
    EXPECT_EQ(a[0].rxMbps, 140);
    const std::vector<RateSample> t = history.samplesOf(Mac{0x00, 0x0B, 0x3B, 0x00, 0x00, 0x12});
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].txMbps, 63);
    EXPECT_FALSE(t[0].rxMbps);
    resetCoreState();
}

}  // namespace
}  // namespace corvel
