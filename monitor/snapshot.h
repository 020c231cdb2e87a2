// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "avcodec/link_health.h"
#include "core/tables.h"

// What one monitor cycle saw, copied out of the tables once the cycle's full scan has run: the
// metrics and the events are both made from it, so they always tell the same story, and tests
// can hand them a snapshot of their own.
namespace corvel {

struct InterfaceSnapshot {
    int index = 0;
    std::string name;  // the host interface ("eth0")
    bool localPresent = false;
    // Known while the local device is present: its address, kind name and firmware text (empty
    // when the scan read none, as for a plain 1.0 device or one on an unselected interface).
    std::string localMac;
    std::string localKind;
    std::string localFirmware;
};

// One device of the user's device list, as the scan sees it now.
struct DeviceSnapshot {
    std::string mac;
    std::string name;
    // Where it was seen (the interface of the station table or local device that holds it) and
    // its family ("HomePlug AV", "HomePlug 1.0 Turbo", "HomePlug 1.0"); empty when the tables
    // hold nothing about it.
    std::string interfaceName;
    std::string family;
    bool local = false;  // the local device of its interface, not a station
    bool present = false;
    // PHY rates in Mbit/s, only while present and known: the rate to the station (transmit) and
    // the rate from it (receive).
    std::optional<double> txRateMbps;
    std::optional<double> rxRateMbps;
    // Link quality on the word scale (0 offline .. 4 Excellent); stations only.
    std::optional<int> qualityLevel;
    // The station's link statistics, when they were read in this cycle.
    std::optional<LinkStatsConfirm> linkStats;
};

struct CycleSnapshot {
    std::vector<InterfaceSnapshot> interfaces;
    std::vector<DeviceSnapshot> devices;
    // The full scan found no local device on any interface, or could not capture; `failure`
    // says which.
    bool scanFailed = false;
    std::string failure;
    // Saving the device list failed in this cycle; `saveError` holds the path and the reason.
    bool saveFailed = false;
    std::string saveError;
    // Link statistics requests of this cycle that got no usable answer.
    int linkStatsFailures = 0;
    double durationSeconds = 0;
};

// Link statistics read this cycle, by station address text.
using LinkStatsByMac = std::map<std::string, LinkStatsConfirm>;

// The interfaces and the device list as the tables hold them now. Only the selected
// interface's station table is live: the others hold what the database kept, so their
// stations are never taken for present.
CycleSnapshot takeSnapshot(const LinkStatsByMac& linkStats = {});

}  // namespace corvel
