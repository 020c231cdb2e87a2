// SPDX-License-Identifier: MIT
#pragma once

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "monitor/snapshot.h"

// The monitor's Prometheus metrics: every cycle's snapshot is written into a registry that the
// exposition (or a test) reads. Names carry the prefix corvel_, values are in base units (bytes
// per second, seconds) and counters end in _total.
//
// Per device of the device list (labels interface, mac, name, family): its presence, 1 or 0,
// for as long as the list holds it; for stations its PHY rate per direction (no series while
// the rate is not known), its quality level and its link statistics as counters. Per host
// interface: whether a local device answers, and an info series naming it. Per process: the
// scans, the failed scans, the last scan's duration, the list's size.
//
// A device whose labels change (renamed, or seen on another interface) loses its old series at
// once: a scrape never shows a stale name beside the new one.
namespace corvel {

class MonitorMetrics {
public:
    explicit MonitorMetrics(prometheus::Registry& registry);
    MonitorMetrics(const MonitorMetrics&) = delete;
    MonitorMetrics& operator=(const MonitorMetrics&) = delete;

    void record(const CycleSnapshot& snapshot);

private:
    // One counter series fed from a device's own counter, which only grows until the device
    // restarts or clears it: the series grows by what the device counted since the last read,
    // and after a restart by the whole new reading, so it never goes back.
    struct DeviceCounter {
        prometheus::Family<prometheus::Counter>* family = nullptr;
        std::string direction;
        std::string outcome;
        prometheus::Counter* series = nullptr;
        double total = 0;  // what the series has counted, kept when the labels change
        std::optional<uint64_t> lastReading;
    };

    struct DeviceSeries {
        prometheus::Labels labels;
        prometheus::Gauge* present = nullptr;
        prometheus::Gauge* txRate = nullptr;
        prometheus::Gauge* rxRate = nullptr;
        prometheus::Gauge* quality = nullptr;
        // By the counter's name and its extra labels, "mpdus tx acked".
        std::map<std::string, DeviceCounter> counters;
    };

    struct InterfaceSeries {
        prometheus::Gauge* present = nullptr;
        prometheus::Labels infoLabels;
        prometheus::Gauge* info = nullptr;
    };

    void recordDevice(DeviceSeries& series, const DeviceSnapshot& device);
    void recordLinkStats(DeviceSeries& series, const LinkStatsConfirm& stats);
    void countReading(DeviceSeries& series, prometheus::Family<prometheus::Counter>& family,
                      const char* direction, const char* outcome, uint64_t reading);
    void addCounterSeries(const DeviceSeries& series, DeviceCounter& counter);
    void setRate(prometheus::Gauge*& gauge, const prometheus::Labels& labels,
                 const char* direction, std::optional<double> mbps);
    void removeSeries(DeviceSeries& series);
    void recordInterface(const InterfaceSnapshot& interface);

    prometheus::Family<prometheus::Counter>& scans_;
    prometheus::Family<prometheus::Counter>& scanFailures_;
    prometheus::Family<prometheus::Counter>& saveFailures_;
    prometheus::Family<prometheus::Counter>& linkStatsFailures_;
    prometheus::Family<prometheus::Gauge>& scanDuration_;
    prometheus::Family<prometheus::Gauge>& deviceListSize_;
    prometheus::Family<prometheus::Gauge>& localPresent_;
    prometheus::Family<prometheus::Gauge>& localInfo_;
    prometheus::Family<prometheus::Gauge>& stationPresent_;
    prometheus::Family<prometheus::Gauge>& phyRate_;
    prometheus::Family<prometheus::Gauge>& quality_;
    prometheus::Family<prometheus::Counter>& mpdus_;
    prometheus::Family<prometheus::Counter>& blocks_;
    prometheus::Family<prometheus::Counter>& bitErrors_;

    prometheus::Counter& scansTotal_;
    prometheus::Counter& scanFailuresTotal_;
    prometheus::Counter& saveFailuresTotal_;
    prometheus::Counter& linkStatsFailuresTotal_;
    prometheus::Gauge& lastScanDuration_;
    prometheus::Gauge& deviceListEntries_;

    std::map<std::string, DeviceSeries> devices_;        // by MAC text
    std::map<std::string, InterfaceSeries> interfaces_;  // by interface name
};

}  // namespace corvel
