// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "platform/mac.h"

// The PHY rates of every station over the last day, one sample per scan cycle, for the charts of
// the station view. Front-end neutral: it knows nothing of widgets or of the clock; the caller
// gives each sample its time (milliseconds since 1970, UTC).
//
// Memory is bounded whatever the scan's pace: each station keeps at most kMaxSamplesPerStation
// samples, and at most kMaxStations stations are kept. A station's samples are kept as they come
// until its cap is reached; then its series takes a step, about twice the mean spacing, keeps
// only samples at least a step apart (the first one and the newest always), and from then on a
// new sample closer than a step to the one before the newest replaces the newest. The whole day
// stays in view at an even pace, and the newest sample is always the current rate.
namespace corvel {

struct RateSample {
    int64_t atMs = 0;
    // Whole Mbit/s; empty where the cycle measured nothing in that direction.
    std::optional<int> txMbps;
    std::optional<int> rxMbps;
};

// Current (the last sample's), lowest and highest rate of one direction; empty without a
// measured sample.
struct RateRange {
    std::optional<int> current;
    std::optional<int> lowest;
    std::optional<int> highest;
};

class RateHistory {
public:
    static constexpr int64_t kWindowMs = 24LL * 60 * 60 * 1000;
    static constexpr size_t kMaxSamplesPerStation = 2880;
    static constexpr size_t kMaxStations = 64;

    // Adds a sample of `station`. Samples older than the window before `sample.atMs` go; so do a
    // station's samples later than `sample.atMs` (the wall clock was set back): a series always
    // runs forwards in time.
    void add(const Mac& station, const RateSample& sample);

    std::vector<RateSample> samplesOf(const Mac& station) const;
    size_t stationCount() const { return series_.size(); }
    size_t sampleCount() const;
    void clear() { series_.clear(); }

private:
    struct Series {
        std::deque<RateSample> samples;
        int64_t stepMs = 0;  // 0: every sample kept
    };
    static void thin(Series& series);
    void dropLeastRecentStation();

    std::map<Mac, Series> series_;
};

RateRange txRange(const std::vector<RateSample>& samples);
RateRange rxRange(const std::vector<RateSample>& samples);

// One sample of every present station of the selected interface, from the rates the last cycle
// measured (phyRatesOf), at `atMs`.
void recordStationRates(RateHistory& history, int64_t atMs);

// The history the desktop program keeps for the run.
RateHistory& rateHistory();

}  // namespace corvel
