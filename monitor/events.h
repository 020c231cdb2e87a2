// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "monitor/snapshot.h"

// What changed from one monitor cycle to the next, as events a person or a script can follow:
// a station appeared or left, its rate moved by more than a tenth, a local device was lost or
// found, the scan or the save of the device list failed. Each is one line on standard output,
// as JSON or as text, written and flushed the moment it is known.
namespace corvel {

enum class EventKind {
    StationAppeared,
    StationLeft,
    RateChanged,
    LocalDeviceFound,
    LocalDeviceLost,
    ScanFailed,
    SaveFailed,
};

// "stationAppeared", "stationLeft", "rateChanged", "localDeviceFound", "localDeviceLost",
// "scanFailed", "saveFailed".
const char* eventName(EventKind kind);

struct MonitorEvent {
    EventKind kind = EventKind::StationAppeared;
    std::string interfaceName;
    // The station, or the local device of the interface.
    std::string mac;
    std::string name;    // stations: the name in the device list
    std::string family;  // stations
    std::string kindName;  // local devices: "HomePlug AV Device", ...
    // Stations: the PHY rate now in Mbit/s; a rate change also says the direction ("tx" to the
    // station, "rx" from it) and the rate it is compared with.
    std::optional<double> rateMbps;
    std::optional<double> previousRateMbps;
    std::string direction;
    // Failures: what went wrong.
    std::string reason;
};

// A rate change worth an event: more than this share of the rate last reported.
inline constexpr double kRateChangeShare = 0.10;

// Compares each snapshot with what the earlier ones showed. The first snapshot reports what is
// there: the stations present and the local devices found. A rate is compared with the one last
// reported for that station and direction (when it appeared, or at its last rate event), so a
// slow drift is reported once it adds up to a tenth. A run of failed scans or saves is reported
// when it starts, and again only if its reason changes.
class EventTracker {
public:
    std::vector<MonitorEvent> compare(const CycleSnapshot& snapshot);

private:
    struct StationState {
        bool present = false;
        std::optional<double> txBaseline;
        std::optional<double> rxBaseline;
    };
    void compareStation(const DeviceSnapshot& device, std::vector<MonitorEvent>& events);
    // A run of failures is told when it starts and when its reason changes; `running` holds
    // the reason of the run going on.
    static void compareFailure(EventKind kind, bool failed, const std::string& reason,
                               std::optional<std::string>& running,
                               std::vector<MonitorEvent>& events);
    void compareRate(const DeviceSnapshot& device, const char* direction,
                     std::optional<double> rate, std::optional<double>& baseline,
                     std::vector<MonitorEvent>& events);

    std::map<std::string, StationState> stations_;  // by MAC text
    std::map<std::string, InterfaceSnapshot> locals_;  // by interface name, as last seen
    std::optional<std::string> scanFailing_;
    std::optional<std::string> saveFailing_;
};

// Writes events as they come, one line each, flushed: JSON objects with a "time" in RFC 3339
// UTC ("2026-01-05T09:30:00.250Z") and an "event" name, or the same as a line of text.
class EventWriter {
public:
    using WallClock = std::function<std::chrono::system_clock::time_point()>;
    EventWriter(std::ostream& out, bool json, WallClock now = {});
    void write(const MonitorEvent& event);

private:
    std::ostream& out_;
    bool json_;
    WallClock now_;
};

// RFC 3339 in UTC with milliseconds.
std::string rfc3339(std::chrono::system_clock::time_point time);

}  // namespace corvel
