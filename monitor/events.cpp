// SPDX-License-Identifier: MIT
#include "monitor/events.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <set>

namespace corvel {

namespace {

MonitorEvent stationEvent(EventKind kind, const DeviceSnapshot& device) {
    MonitorEvent event;
    event.kind = kind;
    event.interfaceName = device.interfaceName;
    event.mac = device.mac;
    event.name = device.name;
    event.family = device.family;
    return event;
}

std::string rateText(double mbps) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f Mbit/s", mbps);
    return text;
}

// The same event as one line of text, for a person reading the output or the journal.
std::string eventText(const MonitorEvent& e) {
    const std::string station = e.name + " " + e.mac + " on " + e.interfaceName;
    switch (e.kind) {
        case EventKind::StationAppeared:
            return "station appeared: " + station + " (" + e.family +
                   (e.rateMbps ? ", " + rateText(*e.rateMbps) : std::string()) + ")";
        case EventKind::StationLeft:
            return "station left: " + station;
        case EventKind::RateChanged:
            return "rate changed: " + station + " " + e.direction + " " +
                   rateText(e.previousRateMbps.value_or(0)) + " -> " +
                   rateText(e.rateMbps.value_or(0));
        case EventKind::LocalDeviceFound:
            return "local device found: " + e.kindName + " " + e.mac + " on " + e.interfaceName;
        case EventKind::LocalDeviceLost:
            return "local device lost: " + e.mac + " on " + e.interfaceName;
        case EventKind::ScanFailed:
            return "scan failed: " + e.reason;
        case EventKind::SaveFailed:
            return "save failed: " + e.reason;
    }
    return {};
}

nlohmann::ordered_json eventJson(const MonitorEvent& e, const std::string& time) {
    nlohmann::ordered_json line{{"time", time}, {"event", eventName(e.kind)}};
    switch (e.kind) {
        case EventKind::StationAppeared:
        case EventKind::StationLeft:
        case EventKind::RateChanged:
            line["interface"] = e.interfaceName;
            line["mac"] = e.mac;
            line["name"] = e.name;
            line["family"] = e.family;
            if (!e.direction.empty()) line["direction"] = e.direction;
            if (e.previousRateMbps) line["previousRate"] = *e.previousRateMbps;
            if (e.rateMbps) line["rate"] = *e.rateMbps;
            break;
        case EventKind::LocalDeviceFound:
        case EventKind::LocalDeviceLost:
            line["interface"] = e.interfaceName;
            line["mac"] = e.mac;
            if (!e.kindName.empty()) line["kindName"] = e.kindName;
            break;
        case EventKind::ScanFailed:
        case EventKind::SaveFailed:
            line["reason"] = e.reason;
            break;
    }
    return line;
}

}  // namespace

const char* eventName(EventKind kind) {
    switch (kind) {
        case EventKind::StationAppeared: return "stationAppeared";
        case EventKind::StationLeft: return "stationLeft";
        case EventKind::RateChanged: return "rateChanged";
        case EventKind::LocalDeviceFound: return "localDeviceFound";
        case EventKind::LocalDeviceLost: return "localDeviceLost";
        case EventKind::ScanFailed: return "scanFailed";
        case EventKind::SaveFailed: return "saveFailed";
    }
    return "";
}

std::vector<MonitorEvent> EventTracker::compare(const CycleSnapshot& snapshot) {
    std::vector<MonitorEvent> events;
    compareFailure(EventKind::ScanFailed, snapshot.scanFailed, snapshot.failure, scanFailing_,
                   events);

    for (const InterfaceSnapshot& interface : snapshot.interfaces) {
        // A local device seen for the first time is found; an interface that never had one
        // lost nothing. A lost one is named as it was last seen.
        InterfaceSnapshot& last = locals_[interface.name];
        if (interface.localPresent != last.localPresent) {
            const InterfaceSnapshot& named = interface.localPresent ? interface : last;
            MonitorEvent event;
            event.kind = interface.localPresent ? EventKind::LocalDeviceFound
                                                : EventKind::LocalDeviceLost;
            event.interfaceName = interface.name;
            event.mac = named.localMac;
            event.kindName = named.localKind;
            events.push_back(event);
        }
        last = interface;
    }

    std::set<std::string> listed;
    for (const DeviceSnapshot& device : snapshot.devices) {
        listed.insert(device.mac);
        if (!device.local) compareStation(device, events);
    }
    // Removed from the device list: forgotten, not left.
    std::erase_if(stations_, [&](const auto& entry) { return listed.count(entry.first) == 0; });

    compareFailure(EventKind::SaveFailed, snapshot.saveFailed, snapshot.saveError, saveFailing_,
                   events);
    return events;
}

void EventTracker::compareFailure(EventKind kind, bool failed, const std::string& reason,
                                  std::optional<std::string>& running,
                                  std::vector<MonitorEvent>& events) {
    if (failed && running != reason) {
        MonitorEvent event;
        event.kind = kind;
        event.reason = reason;
        events.push_back(event);
    }
    running = failed ? std::optional(reason) : std::nullopt;
}

void EventTracker::compareStation(const DeviceSnapshot& device, std::vector<MonitorEvent>& events) {
    StationState& state = stations_[device.mac];
    if (device.present && !state.present) {
        MonitorEvent event = stationEvent(EventKind::StationAppeared, device);
        event.rateMbps = device.txRateMbps;
        events.push_back(event);
        state.txBaseline = device.txRateMbps;
        state.rxBaseline = device.rxRateMbps;
    } else if (!device.present && state.present) {
        events.push_back(stationEvent(EventKind::StationLeft, device));
        state.txBaseline.reset();
        state.rxBaseline.reset();
    } else if (device.present) {
        compareRate(device, "tx", device.txRateMbps, state.txBaseline, events);
        compareRate(device, "rx", device.rxRateMbps, state.rxBaseline, events);
    }
    state.present = device.present;
}

void EventTracker::compareRate(const DeviceSnapshot& device, const char* direction,
                               std::optional<double> rate, std::optional<double>& baseline,
                               std::vector<MonitorEvent>& events) {
    // An unknown rate says nothing about the link; the first known one is the baseline.
    if (!rate) return;
    if (!baseline || *baseline <= 0) {
        baseline = rate;
        return;
    }
    if (std::fabs(*rate - *baseline) <= kRateChangeShare * *baseline) return;
    MonitorEvent event = stationEvent(EventKind::RateChanged, device);
    event.direction = direction;
    event.previousRateMbps = baseline;
    event.rateMbps = rate;
    events.push_back(event);
    baseline = rate;
}

std::string rfc3339(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    // Floor division: a time before 1970 still has its milliseconds in 0..999.
    const std::time_t seconds = std::time_t(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const int millis = int(ms - int64_t(seconds) * 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", millis);
    return text;
}

EventWriter::EventWriter(std::ostream& out, bool json, WallClock now)
    : out_(out), json_(json), now_(now ? std::move(now) : [] {
          return std::chrono::system_clock::now();
      }) {}

void EventWriter::write(const MonitorEvent& event) {
    const std::string time = rfc3339(now_());
    if (json_) {
        out_ << eventJson(event, time).dump(-1, ' ', false,
                                            nlohmann::ordered_json::error_handler_t::replace);
    } else {
        out_ << time << ' ' << eventText(event);
    }
    // A reader following the output (a pipe, the journal) sees each event as it happens.
    out_ << '\n' << std::flush;
}

}  // namespace corvel
