// SPDX-License-Identifier: MIT
#include "scan/rate_history.h"

#include <algorithm>

#include "core/stations.h"
#include "core/tables.h"

namespace corvel {

namespace {

RateRange rangeOf(const std::vector<RateSample>& samples,
                  std::optional<int> RateSample::*direction) {
    RateRange range;
    for (const RateSample& sample : samples) {
        const std::optional<int>& rate = sample.*direction;
        if (!rate) continue;
        range.current = *rate;
        range.lowest = std::min(range.lowest.value_or(*rate), *rate);
        range.highest = std::max(range.highest.value_or(*rate), *rate);
    }
    return range;
}

}  // namespace

void RateHistory::add(const Mac& station, const RateSample& sample) {
    if (series_.find(station) == series_.end() && series_.size() >= kMaxStations)
        dropLeastRecentStation();
    Series& series = series_[station];
    std::deque<RateSample>& samples = series.samples;
    while (!samples.empty() && samples.back().atMs > sample.atMs) samples.pop_back();
    const int64_t oldest = sample.atMs - kWindowMs;
    while (!samples.empty() && samples.front().atMs < oldest) samples.pop_front();
    const size_t n = samples.size();
    if (n >= 2 && sample.atMs - samples[n - 2].atMs < series.stepMs)
        samples.back() = sample;
    else
        samples.push_back(sample);
    if (samples.size() > kMaxSamplesPerStation) thin(series);
}

// The step grows to about twice the mean spacing (and at least doubles), then the samples are
// taken from the first one on, each the first at least a step after the one kept before; the
// newest stays, whatever its distance.
void RateHistory::thin(Series& series) {
    std::deque<RateSample>& samples = series.samples;
    const int64_t span = samples.back().atMs - samples.front().atMs;
    series.stepMs =
        std::max<int64_t>({series.stepMs * 2, span / int64_t(kMaxSamplesPerStation / 2), 1});
    std::deque<RateSample> kept{samples.front()};
    for (size_t i = 1; i + 1 < samples.size(); ++i)
        if (samples[i].atMs - kept.back().atMs >= series.stepMs) kept.push_back(samples[i]);
    kept.push_back(samples.back());
    samples = std::move(kept);
}

void RateHistory::dropLeastRecentStation() {
    const auto lastOf = [](const Series& s) {
        return s.samples.empty() ? INT64_MIN : s.samples.back().atMs;
    };
    auto least = series_.begin();
    for (auto it = series_.begin(); it != series_.end(); ++it)
        if (lastOf(it->second) < lastOf(least->second)) least = it;
    if (least != series_.end()) series_.erase(least);
}

std::vector<RateSample> RateHistory::samplesOf(const Mac& station) const {
    const auto it = series_.find(station);
    if (it == series_.end()) return {};
    return {it->second.samples.begin(), it->second.samples.end()};
}

size_t RateHistory::sampleCount() const {
    size_t count = 0;
    for (const auto& [mac, series] : series_) count += series.samples.size();
    return count;
}

RateRange txRange(const std::vector<RateSample>& samples) {
    return rangeOf(samples, &RateSample::txMbps);
}

RateRange rxRange(const std::vector<RateSample>& samples) {
    return rangeOf(samples, &RateSample::rxMbps);
}

void recordStationRates(RateHistory& history, int64_t atMs) {
    const int index = core.currentAdapter;
    if (index < 0 || index >= kMaxInterfaces) return;
    for (const StationRecord& station : core.stationTables[index].stations) {
        if (!station.present || !macIsSet(station.mac)) continue;
        const PhyRates rates = phyRatesOf(index, station);
        Mac mac{};
        std::copy_n(station.mac, mac.size(), mac.begin());
        history.add(mac, RateSample{.atMs = atMs, .txMbps = rates.tx, .rxMbps = rates.rx});
    }
}

RateHistory& rateHistory() {
    static RateHistory history;
    return history;
}

}  // namespace corvel
