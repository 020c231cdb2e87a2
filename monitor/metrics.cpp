// SPDX-License-Identifier: MIT
#include "monitor/metrics.h"

#include <set>

#include "platform/text.h"

namespace corvel {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::Labels;

// Prometheus counts data in bytes: the PHY rates (in Mbit/s on the wire) are given in bytes per
// second.
// Prometheus counts data in bytes (promtool refuses a bit unit): Mbit/s / 8 * 10^6.
constexpr double kBytesPerMegabit = 1e6 / 8;

template <typename T>
void removeFrom(prometheus::Family<T>& family, T*& metric) {
    if (metric == nullptr) return;
    family.Remove(metric);
    metric = nullptr;
}

Labels with(Labels labels, const std::string& name, const std::string& value) {
    labels[name] = value;
    return labels;
}

// Names, kinds and firmware texts come from the wire and the database as bytes. A label value
// must be UTF-8, and whoever reads it (a terminal running curl, a dashboard, an alert's text)
// gets it as every other output gives it: control characters as visible escapes.
std::string labelText(const std::string& text) {
    return displayText(text);
}

Labels deviceLabels(const DeviceSnapshot& device) {
    return {{"interface", labelText(device.interfaceName)},
            {"mac", device.mac},
            {"name", labelText(device.name)},
            {"family", device.family}};
}

}  // namespace

MonitorMetrics::MonitorMetrics(prometheus::Registry& registry)
    : scans_(BuildCounter()
                 .Name("corvel_scans_total")
                 .Help("Scan cycles run: each polls the local devices and their stations and "
                       "ends with a full scan")
                 .Register(registry)),
      scanFailures_(BuildCounter()
                        .Name("corvel_scan_failures_total")
                        .Help("Scan cycles whose full scan found no local device on any "
                              "interface, or could not capture")
                        .Register(registry)),
      saveFailures_(BuildCounter()
                        .Name("corvel_device_list_save_failures_total")
                        .Help("Saves of the device list that failed")
                        .Register(registry)),
      linkStatsFailures_(BuildCounter()
                             .Name("corvel_link_stats_failures_total")
                             .Help("Link statistics requests to present HomePlug AV stations "
                                   "that got no usable answer")
                             .Register(registry)),
      scanDuration_(BuildGauge()
                        .Name("corvel_last_scan_duration_seconds")
                        .Help("How long the last scan cycle took, its link statistics included")
                        .Register(registry)),
      deviceListSize_(BuildGauge()
                          .Name("corvel_device_list_entries")
                          .Help("Devices in the device list")
                          .Register(registry)),
      localPresent_(BuildGauge()
                        .Name("corvel_local_device_present")
                        .Help("1 while a powerline adapter answers on the host interface, else 0")
                        .Register(registry)),
      localInfo_(BuildGauge()
                     .Name("corvel_local_device_info")
                     .Help("The powerline adapter cabled to the host interface: its address, "
                           "kind and firmware (always 1; absent while none answers)")
                     .Register(registry)),
      stationPresent_(BuildGauge()
                          .Name("corvel_station_present")
                          .Help("1 while the device of the device list is seen by the scan, "
                                "else 0")
                          .Register(registry)),
      phyRate_(BuildGauge()
                   .Name("corvel_station_phy_rate_bytes_per_second")
                   .Help("PHY rate of the station's link with the local device: tx to the "
                         "station, rx from it (absent while not known)")
                   .Register(registry)),
      quality_(BuildGauge()
                   .Name("corvel_station_quality_level")
                   .Help("Link quality of the station: 0 offline, 1 Fair, 2 Good, 3 Very Good, "
                         "4 Excellent")
                   .Register(registry)),
      mpdus_(BuildCounter()
                 .Name("corvel_station_link_mpdus_total")
                 .Help("Powerline frames (MPDUs) of the link with the station, by direction "
                       "(tx to the station, rx from it) and outcome, as the local device counts "
                       "them")
                 .Register(registry)),
      blocks_(BuildCounter()
                  .Name("corvel_station_link_pbs_total")
                  .Help("Physical blocks (520 bytes, the unit acknowledged or sent again) of "
                        "the link with the station, by direction and outcome")
                  .Register(registry)),
      bitErrors_(BuildCounter()
                     .Name("corvel_station_link_bit_errors_total")
                     .Help("Bit errors the local device's turbo decoder found in blocks from "
                           "the station, in blocks that passed or failed")
                     .Register(registry)),
      scansTotal_(scans_.Add({})),
      scanFailuresTotal_(scanFailures_.Add({})),
      saveFailuresTotal_(saveFailures_.Add({})),
      linkStatsFailuresTotal_(linkStatsFailures_.Add({})),
      lastScanDuration_(scanDuration_.Add({})),
      deviceListEntries_(deviceListSize_.Add({})) {}

void MonitorMetrics::record(const CycleSnapshot& snapshot) {
    scansTotal_.Increment();
    if (snapshot.scanFailed) scanFailuresTotal_.Increment();
    if (snapshot.saveFailed) saveFailuresTotal_.Increment();
    linkStatsFailuresTotal_.Increment(snapshot.linkStatsFailures);
    lastScanDuration_.Set(snapshot.durationSeconds);
    deviceListEntries_.Set(double(snapshot.devices.size()));

    for (const InterfaceSnapshot& interface : snapshot.interfaces) recordInterface(interface);
    // An interface that went away (an adapter unplugged with its USB network card) has no local
    // device: its series stays and reads 0, so an alert on it fires.
    std::set<std::string> listed;
    for (const InterfaceSnapshot& interface : snapshot.interfaces) listed.insert(interface.name);
    for (auto& [name, series] : interfaces_) {
        if (listed.count(name) != 0) continue;
        series.present->Set(0);
        removeFrom(localInfo_, series.info);
    }

    std::set<std::string> seen;
    for (const DeviceSnapshot& device : snapshot.devices) {
        seen.insert(device.mac);
        recordDevice(devices_[device.mac], device);
    }
    // Removed from the device list: nothing is known of it any more.
    for (auto it = devices_.begin(); it != devices_.end();) {
        if (seen.count(it->first) != 0) {
            ++it;
            continue;
        }
        removeSeries(it->second);
        it = devices_.erase(it);
    }
}

void MonitorMetrics::recordInterface(const InterfaceSnapshot& interface) {
    InterfaceSeries& series = interfaces_[interface.name];
    const Labels labels{{"interface", labelText(interface.name)}};
    if (series.present == nullptr) series.present = &localPresent_.Add(labels);
    series.present->Set(interface.localPresent ? 1 : 0);
    if (!interface.localPresent) {
        removeFrom(localInfo_, series.info);
        return;
    }
    const Labels info = with(with(with(labels, "mac", interface.localMac), "kind",
                                  labelText(interface.localKind)),
                             "firmware", labelText(interface.localFirmware));
    if (series.info != nullptr && series.infoLabels == info) return;
    removeFrom(localInfo_, series.info);
    series.infoLabels = info;
    series.info = &localInfo_.Add(info);
    series.info->Set(1);
}

void MonitorMetrics::recordDevice(DeviceSeries& series, const DeviceSnapshot& device) {
    const Labels labels = deviceLabels(device);
    const bool relabelled = series.present != nullptr && series.labels != labels;
    if (relabelled) {
        // Renamed or moved: the old label set goes now; the counters carry on under the new
        // one from where they stood.
        for (auto& [key, counter] : series.counters) removeFrom(*counter.family, counter.series);
        std::map<std::string, DeviceCounter> counters = std::move(series.counters);
        removeSeries(series);
        series.counters = std::move(counters);
    }
    series.labels = labels;
    if (series.present == nullptr) series.present = &stationPresent_.Add(labels);
    series.present->Set(device.present ? 1 : 0);

    setRate(series.txRate, labels, "tx", device.txRateMbps);
    setRate(series.rxRate, labels, "rx", device.rxRateMbps);
    if (device.qualityLevel) {
        if (series.quality == nullptr) series.quality = &quality_.Add(labels);
        series.quality->Set(*device.qualityLevel);
    } else {
        removeFrom(quality_, series.quality);
    }
    if (relabelled)
        for (auto& [key, counter] : series.counters) addCounterSeries(series, counter);
    if (device.linkStats) recordLinkStats(series, *device.linkStats);
}

void MonitorMetrics::setRate(prometheus::Gauge*& gauge, const Labels& labels,
                             const char* direction, std::optional<double> mbps) {
    if (!mbps) {
        removeFrom(phyRate_, gauge);
        return;
    }
    if (gauge == nullptr) gauge = &phyRate_.Add(with(labels, "direction", direction));
    gauge->Set(*mbps * kBytesPerMegabit);
}

void MonitorMetrics::recordLinkStats(DeviceSeries& series, const LinkStatsConfirm& stats) {
    if (stats.tx) {
        const TxLinkStats& tx = *stats.tx;
        countReading(series, mpdus_, "tx", "acked", tx.mpdusAcked);
        countReading(series, mpdus_, "tx", "collided", tx.mpdusCollided);
        countReading(series, mpdus_, "tx", "failed", tx.mpdusFailed);
        countReading(series, blocks_, "tx", "passed", tx.pbsPassed);
        countReading(series, blocks_, "tx", "failed", tx.pbsFailed);
    }
    if (stats.rx) {
        const RxLinkStats& rx = *stats.rx;
        countReading(series, mpdus_, "rx", "acked", rx.mpdusAcked);
        countReading(series, mpdus_, "rx", "failed", rx.mpdusFailed);
        countReading(series, blocks_, "rx", "passed", rx.pbsPassed);
        countReading(series, blocks_, "rx", "failed", rx.pbsFailed);
        countReading(series, bitErrors_, "rx", "passed", rx.turboBitErrorsPassed);
        countReading(series, bitErrors_, "rx", "failed", rx.turboBitErrorsFailed);
    }
}

void MonitorMetrics::addCounterSeries(const DeviceSeries& series, DeviceCounter& counter) {
    counter.series = &counter.family->Add(
        with(with(series.labels, "direction", counter.direction), "outcome", counter.outcome));
    counter.series->Increment(counter.total);
}

void MonitorMetrics::countReading(DeviceSeries& series,
                                  prometheus::Family<prometheus::Counter>& family,
                                  const char* direction, const char* outcome, uint64_t reading) {
    DeviceCounter& counter =
        series.counters[family.GetName() + " " + direction + " " + outcome];
    if (counter.series == nullptr) {
        counter.family = &family;
        counter.direction = direction;
        counter.outcome = outcome;
        addCounterSeries(series, counter);
    }
    // Below the last reading: the device restarted (or its counters were cleared) and counts
    // from zero again.
    const uint64_t last = counter.lastReading.value_or(0);
    const double counted = double(reading >= last ? reading - last : reading);
    counter.series->Increment(counted);
    counter.total += counted;
    counter.lastReading = reading;
}

void MonitorMetrics::removeSeries(DeviceSeries& series) {
    removeFrom(stationPresent_, series.present);
    removeFrom(phyRate_, series.txRate);
    removeFrom(phyRate_, series.rxRate);
    removeFrom(quality_, series.quality);
    for (auto& [key, counter] : series.counters) removeFrom(*counter.family, counter.series);
    series.counters.clear();
}

}  // namespace corvel
